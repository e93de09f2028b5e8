// The POSIX serial backend and the line configuration it hands to the driver.
#pragma once

#include <cstdint>

#include "modbus/SerialPort.h"

// The termios2 fields the backend sets, in the kernel's own flag values.
struct TPosixLineConfig {
  uint32_t iflag = 0;
  uint32_t oflag = 0;
  uint32_t cflag = 0;
  uint32_t lflag = 0;
  uint32_t ispeed = 0;
  uint32_t ospeed = 0;
};

// What the backend applies for the given settings: raw, receiver on, modem lines ignored, no flow
// control, any rate through BOTHER.
TPosixLineConfig BuildPosixLineConfig(const TLineSettings& settings, uint32_t currentCflag = 0);
// What an error number of opening or locking a port means for the user.
TOpenFailure OpenFailureOf(int error);
// Reads the driver's current settings of an open terminal; false when fd is no terminal.
bool ReadPosixLineConfig(int fd, TPosixLineConfig& config);
