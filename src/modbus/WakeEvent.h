// The wake-up of a POSIX line: an eventfd that Wake() signals from any thread, polled beside the
// line's own descriptor so that a wait on the line ends at once when the channel closes or stops.
#pragma once

#include "modbus/SerialPort.h"

class TWakeEvent {
 public:
  TWakeEvent();
  ~TWakeEvent();
  TWakeEvent(const TWakeEvent&) = delete;
  TWakeEvent& operator=(const TWakeEvent&) = delete;

  int Fd() const { return fd_; }
  void Signal() const;
  void Clear() const;

  // Waits until fd is ready for events, the wake-up is signalled, the line hangs up or
  // timeoutMs passes; an interrupted poll counts as a timeout, so the caller looks again.
  TWaitResult WaitFor(int fd, short events, int timeoutMs) const;

 private:
  int fd_;
};
