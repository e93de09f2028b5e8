// The fuzz programs that drive the instrument object give its channel the in-memory line: this
// definition takes the place of the platform's port for them.
#include "PortFactory.h"

TMemoryPort* LastMemoryPort = nullptr;

std::unique_ptr<TSerialPort> MakeSerialPort() {
  auto port = std::make_unique<TMemoryPort>();
  LastMemoryPort = port.get();
  return port;
}
