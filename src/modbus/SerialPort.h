// The line behind the channel: a small interface, so that the transaction logic does not depend
// on the platform or on the kind of line. The POSIX serial backend lives in SerialPosix.cpp, the
// Win32 one in SerialWin32.cpp; a TCP connection (TcpPosix.cpp, TcpWin32.cpp) and the RFC 2217
// layer over it (Rfc2217Port.h) serve a line over Ethernet behind the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct TLineSettings;

enum class TWaitResult : uint8_t {
  Ready,        // the port can be read (or written)
  Timeout,      // the time ran out first
  Interrupted,  // Wake() was called
  HangUp,       // the device went away or reported an error
};

// Why a port would not open.
enum class TOpenFailure : uint8_t {
  None,          // it opened
  NoDevice,      // there is no such device
  NoPermission,  // the user may not open it
  InUse,         // another program holds it
  NotSerial,     // it is no serial port
  Other,         // SystemError says what
  // A network line:
  NoHost,           // the server's name is not known
  Refused,          // the server refused the connection
  ConnectTimeout,   // the server did not answer the connection in time
  Unreachable,      // no route to the server
  SettingsRefused,  // an RFC 2217 server would not take the rate or 8E2
};

class TSerialPort {
 public:
  virtual ~TSerialPort() = default;

  // Opens the device exclusively; false when it does not exist or someone else holds it.
  virtual bool Open(const std::string& device) = 0;
  // Why the last Open failed, and the system's error number for it (0 when it gave none).
  virtual TOpenFailure LastOpenFailure() const { return TOpenFailure::Other; }
  virtual int LastOpenError() const { return 0; }
  virtual bool Close() = 0;
  virtual bool IsOpen() const = 0;
  // Applies rate, data bits, parity, stop bits; no flow control. False when the driver refuses.
  virtual bool Apply(const TLineSettings& settings) = 0;
  // Discards everything in both directions and clears the error state.
  virtual void Purge() = 0;
  // Bytes received and not read yet, which Purge would throw away; 0 where the port cannot tell.
  virtual size_t PendingInput() const { return 0; }

  // Waits until the port can be read or written, up to timeoutMs, or until Wake().
  virtual TWaitResult WaitReadable(int timeoutMs) = 0;
  virtual TWaitResult WaitWritable(int timeoutMs) = 0;
  // Reads what is there without waiting: bytes read, 0 when nothing is waiting, -1 when the
  // device went away or failed.
  virtual long ReadSome(uint8_t* into, size_t capacity) = 0;
  // Writes what the driver takes without waiting: bytes written, 0 when it takes nothing now,
  // -1 on failure.
  virtual long WriteSome(const uint8_t* bytes, size_t count) = 0;

  // Makes a current or the next wait return Interrupted; safe from any thread.
  virtual void Wake() = 0;
  // Forgets a Wake() that no wait has seen.
  virtual void ClearWake() = 0;

  // A network line's round trip as the connection measures it, with room for its spread, in
  // microseconds; 0 for a serial port.
  virtual uint32_t RoundTripUs() const { return 0; }
};

std::unique_ptr<TSerialPort> MakeSerialPort();
// The platform's device behind port index i (COM<i+1>): /dev/ttyS<i>, or \\.\COM<i+1> on Windows.
std::string DefaultSerialDevice(uint8_t index);
// The platform's text for the error number a port's Open reported.
std::string SystemErrorText(int error);
