// The in-memory line behind every channel made in a fuzz program that links PortFactory.cpp.
#pragma once

#include <memory>

#include "MemoryPort.h"

// The port of the channel made last.
extern TMemoryPort* LastMemoryPort;
