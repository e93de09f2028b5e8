// --trace: every transaction on the line printed on stderr as it happens, one line per frame.
#pragma once

#include "modbus/Modbusunit.h"

namespace cli {

// The bus publishes its transactions to the trace from now on; the first call starts the thread
// that prints them.
void StartTrace(TModBus& bus);
// Prints what is waiting now, so that it comes before what the caller prints next.
void FlushTrace();
// Prints what is still waiting and stops the printing thread; the program calls it before it
// exits. Nothing happens when no trace was started.
void StopTrace();

}  // namespace cli
