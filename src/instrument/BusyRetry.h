// Repeating an operation while the instrument answers that it is busy (exception 6).
#pragma once

#include "modbus/Modbusunit.h"

// Runs operation until it gives anything but RESULT_DEVICE_BUSY, at most attempts times in all;
// the last result.
template <class Operation>
TResult RetryWhileBusy(int attempts, Operation operation) {
  TResult result = RESULT_DEVICE_BUSY;
  for (int attempt = 0; attempt < attempts && result == RESULT_DEVICE_BUSY; ++attempt)
    result = operation();
  return result;
}
