// The POSIX names of ports and system errors. They sit apart from the backend so that a program
// that gives the channel a line of its own (MakeSerialPort, as the fuzz targets do) links without
// the backend.
#include <cstring>
#include <string>

#include "modbus/SerialPort.h"

std::string DefaultSerialDevice(uint8_t index) {
  return "/dev/ttyS" + std::to_string(index);
}

std::string SystemErrorText(int error) {
  return std::strerror(error);
}
