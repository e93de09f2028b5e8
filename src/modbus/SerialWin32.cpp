// Win32 serial backend: "\\.\COMn" opened not shared, in overlapped mode. A wait for the line is
// one overlapped ReadFile of a single byte, bounded by the port's total read timeout, under
// WaitForMultipleObjectsEx on the shutdown, abort and I/O events; the byte it brings is handed
// out by the next ReadSome, which takes what the driver holds without waiting. So the channel sees
// every byte as it comes and ends a reply by its length, as on POSIX.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "modbus/Modbusunit.h"

namespace {

constexpr DWORD kQueueSize = 1024;
// The driver's own timeout ends a waiting read; this bound is only for a driver that ignores it.
constexpr DWORD kDriverGraceMs = 500;

bool SameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
  return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
         a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
         a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
         a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
         a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// A read that the total timeout ended is no failure of the line.
bool IsTimeoutError(DWORD error) {
  return error == ERROR_SEM_TIMEOUT || error == ERROR_TIMEOUT || error == WAIT_TIMEOUT ||
         error == ERROR_COUNTER_TIMEOUT;
}

class TWin32SerialPort final : public TSerialPort {
 public:
  TWin32SerialPort()
      : shutdownEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        abortEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        ioEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

  ~TWin32SerialPort() override {
    SetEvent(shutdownEvent_);
    Close();
    CloseHandle(ioEvent_);
    CloseHandle(abortEvent_);
    CloseHandle(shutdownEvent_);
  }

  bool Open(const std::string& device) override {
    if (IsOpen()) return true;
    failure_ = TOpenFailure::None;
    error_ = 0;
    HANDLE port = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return Failed(GetLastError());
    // Timeouts belong to serial ports alone; the line state may be one the driver cannot report.
    COMMTIMEOUTS probe{};
    if (!GetCommTimeouts(port, &probe)) {
      error_ = static_cast<int>(GetLastError());
      CloseHandle(port);
      failure_ = TOpenFailure::NotSerial;
      return false;
    }
    SetupComm(port, kQueueSize, kQueueSize);
    timeouts_ = {5, 0, 5, 0, 0};
    SetCommTimeouts(port, &timeouts_);
    haveByte_ = false;
    writePending_ = false;
    writeDone_ = false;
    handle_.store(port);
    return true;
  }

  bool Close() override {
    HANDLE port = handle_.exchange(INVALID_HANDLE_VALUE);
    if (port == INVALID_HANDLE_VALUE) return true;
    CloseHandle(port);  // the channel closes only between transactions: nothing is pending
    return true;
  }

  bool IsOpen() const override { return handle_.load() != INVALID_HANDLE_VALUE; }
  TOpenFailure LastOpenFailure() const override { return failure_; }
  int LastOpenError() const override { return error_; }

  // From the driver's state: rate, 8 data bits, even parity, 2 stop bits, no flow control of
  // either kind, DTR and RTS held off. The driver's XON and XOFF characters stay, since a driver
  // refuses a state in which they are equal; a state it cannot report starts from the usual ones.
  bool Apply(const TLineSettings& settings) override {
    HANDLE port = handle_.load();
    if (port == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
      dcb = DCB{};
      dcb.DCBlength = sizeof dcb;
      dcb.XonChar = 0x11;
      dcb.XoffChar = 0x13;
    }
    dcb.BaudRate = settings.BaudRate;
    dcb.ByteSize = settings.ByteSize;
    dcb.Parity = settings.Parity;
    dcb.StopBits = settings.StopBits;
    dcb.fBinary = TRUE;  // Windows knows no other mode
    dcb.fParity = settings.fParity ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(port, &dcb) != 0;
  }

  void Purge() override {
    HANDLE port = handle_.load();
    haveByte_ = false;
    writeDone_ = false;
    if (port == INVALID_HANDLE_VALUE) return;
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(port, &errors, &status);
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }

  TWaitResult WaitReadable(int timeoutMs) override {
    HANDLE port = handle_.load();
    if (port == INVALID_HANDLE_VALUE) return TWaitResult::HangUp;
    if (haveByte_) return TWaitResult::Ready;
    if (WaitForSingleObject(abortEvent_, 0) == WAIT_OBJECT_0) return TWaitResult::Interrupted;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status)) return TWaitResult::HangUp;
    if (status.cbInQue > 0) return TWaitResult::Ready;
    if (timeoutMs <= 0) return TWaitResult::Timeout;  // a total of 0 would mean no limit at all
    if (!SetTimeouts(port, {0, 0, static_cast<DWORD>(timeoutMs), 0, 0})) return TWaitResult::HangUp;
    OVERLAPPED overlapped{};
    overlapped.hEvent = ioEvent_;
    ResetEvent(ioEvent_);
    DWORD got = 0;
    TWaitResult result = TWaitResult::Ready;
    if (!ReadFile(port, &byte_, 1, &got, &overlapped)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING)
        return IsTimeoutError(error) ? TWaitResult::Timeout : TWaitResult::HangUp;
      result = Finish(port, overlapped, static_cast<DWORD>(timeoutMs) + kDriverGraceMs, got);
    }
    haveByte_ = got == 1;
    if (result == TWaitResult::Ready && !haveByte_) return TWaitResult::Timeout;
    return result;
  }

  TWaitResult WaitWritable(int timeoutMs) override {
    HANDLE port = handle_.load();
    if (port == INVALID_HANDLE_VALUE) return TWaitResult::HangUp;
    if (!writePending_) return TWaitResult::Ready;
    writePending_ = false;
    DWORD sent = 0;
    const TWaitResult result =
        Finish(port, writeOverlapped_, static_cast<DWORD>(std::max(timeoutMs, 0)), sent);
    writeDone_ = result == TWaitResult::Ready;
    written_ = sent;
    return result;
  }

  long ReadSome(uint8_t* into, size_t capacity) override {
    HANDLE port = handle_.load();
    if (port == INVALID_HANDLE_VALUE || capacity == 0) return -1;
    long taken = 0;
    if (haveByte_) {
      into[taken++] = byte_;
      haveByte_ = false;
    }
    // Interval MAXDWORD with both totals 0: the read returns at once with what the driver holds.
    if (!SetTimeouts(port, {MAXDWORD, 0, 0, 0, 0})) return taken > 0 ? taken : -1;
    OVERLAPPED overlapped{};
    overlapped.hEvent = ioEvent_;
    ResetEvent(ioEvent_);
    DWORD got = 0;
    const auto want = static_cast<DWORD>(capacity - static_cast<size_t>(taken));
    if (want == 0) return taken;
    if (!ReadFile(port, into + taken, want, &got, &overlapped)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) {
        if (IsTimeoutError(error)) return taken;
        return taken > 0 ? taken : -1;
      }
      const TWaitResult result = Finish(port, overlapped, kDriverGraceMs, got);
      if (result == TWaitResult::HangUp) return taken > 0 ? taken : -1;
    }
    return taken + static_cast<long>(got);
  }

  // Starts an overlapped write of the bytes; a write that stays pending is finished by
  // WaitWritable, and its count is what the next call returns.
  long WriteSome(const uint8_t* bytes, size_t count) override {
    HANDLE port = handle_.load();
    if (port == INVALID_HANDLE_VALUE) return -1;
    if (writeDone_) {
      writeDone_ = false;
      return static_cast<long>(written_);
    }
    count = std::min(count, sizeof writeArea_);
    std::memcpy(writeArea_, bytes, count);
    if (!SetTimeouts(port, {timeouts_.ReadIntervalTimeout, timeouts_.ReadTotalTimeoutMultiplier,
                            timeouts_.ReadTotalTimeoutConstant, 0, 0}))
      return -1;
    writeOverlapped_ = OVERLAPPED{};
    writeOverlapped_.hEvent = ioEvent_;
    ResetEvent(ioEvent_);
    DWORD sent = 0;
    if (WriteFile(port, writeArea_, static_cast<DWORD>(count), &sent, &writeOverlapped_))
      return static_cast<long>(sent);
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    writePending_ = true;
    return 0;
  }

  void Wake() override { SetEvent(abortEvent_); }
  void ClearWake() override { ResetEvent(abortEvent_); }

 private:
  bool Failed(DWORD error) {
    error_ = static_cast<int>(error);
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_UNIT:
      case ERROR_DEV_NOT_EXIST:
        failure_ = TOpenFailure::NoDevice;
        break;
      case ERROR_ACCESS_DENIED:  // what Windows answers for a port another program holds
      case ERROR_SHARING_VIOLATION:
      case ERROR_BUSY:
        failure_ = TOpenFailure::InUse;
        break;
      default:
        failure_ = TOpenFailure::Other;
    }
    return false;
  }

  bool SetTimeouts(HANDLE port, const COMMTIMEOUTS& wanted) {
    if (SameTimeouts(wanted, timeouts_)) return true;
    COMMTIMEOUTS copy = wanted;
    if (!SetCommTimeouts(port, &copy)) return false;
    timeouts_ = wanted;
    return true;
  }

  // Waits for the pending operation of `overlapped`: Ready with its byte count when it ended,
  // Interrupted when ClosePort or destruction came first, Timeout when limitMs passed. Either of
  // the last two cancels the operation and waits for it, so no pending I/O outlives the call.
  TWaitResult Finish(HANDLE port, OVERLAPPED& overlapped, DWORD limitMs, DWORD& bytes) {
    HANDLE events[3] = {shutdownEvent_, abortEvent_, ioEvent_};
    for (;;) {
      const DWORD woke = WaitForMultipleObjectsEx(3, events, FALSE, limitMs, TRUE);
      if (woke == WAIT_IO_COMPLETION) continue;
      if (woke == WAIT_OBJECT_0 + 2) {
        if (GetOverlappedResult(port, &overlapped, &bytes, TRUE)) return TWaitResult::Ready;
        const DWORD error = GetLastError();
        if (IsTimeoutError(error) || error == ERROR_OPERATION_ABORTED) return TWaitResult::Ready;
        return TWaitResult::HangUp;
      }
      CancelIoEx(port, &overlapped);
      GetOverlappedResult(port, &overlapped, &bytes, TRUE);
      return woke == WAIT_TIMEOUT ? TWaitResult::Timeout : TWaitResult::Interrupted;
    }
  }

  std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
  HANDLE shutdownEvent_;
  HANDLE abortEvent_;
  HANDLE ioEvent_;
  COMMTIMEOUTS timeouts_{};
  uint8_t byte_ = 0;
  bool haveByte_ = false;
  OVERLAPPED writeOverlapped_{};
  uint8_t writeArea_[256] = {};
  bool writePending_ = false;
  bool writeDone_ = false;
  DWORD written_ = 0;
  TOpenFailure failure_ = TOpenFailure::None;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<TSerialPort> MakeSerialPort() {
  return std::make_unique<TWin32SerialPort>();
}

// COM10 and above exist only under the device namespace prefix; it serves the others as well.
std::string DefaultSerialDevice(uint8_t index) {
  return "\\\\.\\COM" + std::to_string(index + 1);
}

std::string SystemErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (length > 0) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr,
                        nullptr);
  }
  LocalFree(text);
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.'))
    utf8.pop_back();
  if (utf8.empty()) utf8 = "error " + std::to_string(error);
  return utf8;
}
