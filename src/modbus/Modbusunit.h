// The Modbus channel: frame record, CRC-16, result codes and TModBus, which carries out one
// request/reply transaction at a time on one line: a serial port, or a line over Ethernet (RTU
// frames through a serial server, or Modbus TCP frames to a gateway).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "modbus/Crc.h"
#include "modbus/NetworkLine.h"
#include "modbus/SerialPort.h"

// Result of a transaction, an operation or a job: 0 success, 1..6 exception codes of the
// instrument, 7..17 failures of the channel, the register map and the job engine.
using TResult = uint8_t;

enum : TResult {
  RESULT_OK = 0,
  RESULT_ILLEGAL_FUNCTION = 1,
  RESULT_ILLEGAL_ADDRESS = 2,
  RESULT_ILLEGAL_DATA = 3,
  RESULT_DEVICE_BUSY = 6,
  RESULT_PORT_NOT_OPEN = 7,
  RESULT_PORT_BUSY = 8,
  RESULT_TIMEOUT = 9,
  RESULT_CRC = 10,
  RESULT_LENGTH = 11,
  RESULT_WRITE_FAILED = 12,
  RESULT_ABORTED = 13,
  RESULT_UNKNOWN = 14,
  RESULT_PARAMETER = 15,
  RESULT_ADDRESS_IN_USE = 16,
  RESULT_WRONG_DEVICE = 17,
};

// The user's text for a result code; codes beyond the table share one text.
const char* ResultMessage(TResult code);
// The result an exception reply with this code gives: the code itself, except that 0, which
// names no failure, is the unexpected fault 14 and never success.
TResult ExceptionResult(uint8_t code);
inline constexpr int ResultMessageCount = 18;

// A Modbus TCP gateway answers for the instrument behind it with exception 10 (no path to it) or
// 11 (it did not answer): the transaction then ends as a timeout, and this names it:
// "исключение 11 от шлюза: прибор не ответил". nullptr for other codes.
const char* GatewayExceptionText(int code);

// One Modbus RTU frame without its CRC. The bytes from SlaveAddress on are the frame exactly as
// it travels; multi-byte values inside Data are in wire order (high byte first).
struct TModBusFrame {
  uint16_t Length = 0;  // bytes from SlaveAddress through the last data byte
  uint8_t SlaveAddress = 0;
  uint8_t Function = 0;
  uint8_t Data[254] = {};

  void SetDataLength(uint16_t n) { Length = static_cast<uint16_t>(n + 2); }
  uint16_t DataLength() const { return static_cast<uint16_t>(Length - 2); }
  void SetAddress(uint8_t a) { SlaveAddress = a; }
  uint8_t GetAddress() const { return SlaveAddress; }
  void SetFunction(uint8_t f) { Function = f; }
  uint8_t GetFunction() const { return Function; }
  uint8_t* FrameBytes() {
    return reinterpret_cast<uint8_t*>(this) + offsetof(TModBusFrame, SlaveAddress);
  }
  const uint8_t* FrameBytes() const {
    return reinterpret_cast<const uint8_t*>(this) + offsetof(TModBusFrame, SlaveAddress);
  }
  uint8_t* FrameData() { return Data; }
  const uint8_t* FrameData() const { return Data; }
};
static_assert(offsetof(TModBusFrame, Function) == offsetof(TModBusFrame, SlaveAddress) + 1);
static_assert(offsetof(TModBusFrame, Data) == offsetof(TModBusFrame, SlaveAddress) + 2);

// Line settings handed to the port: 8 data bits, even parity, 2 stop bits, no flow control.
struct TLineSettings {
  uint32_t BaudRate = 9600;
  uint8_t ByteSize = 8;
  uint8_t Parity = 2;  // even
  uint8_t StopBits = 2;
  bool fParity = true;
};

inline constexpr int BaudRateCount = 15;
extern const uint32_t BaudRates[BaudRateCount];
inline constexpr int PortCount = 20;  // COM1..COM20
inline constexpr int DefaultBaudIndex = 6;

// How one read of a reply ended; kept so that tests and tools can see what the channel did.
enum class TReadEnd : uint8_t {
  None,     // no read took place
  Length,   // a complete reply with a right CRC was recognised by its length
  Silence,  // the line stayed quiet after the last byte
  Timeout,  // no byte arrived in time
  Budget,   // a reply kept arriving beyond the longest one the line can carry
  Full,     // the receive area is full
  HangUp,   // the device went away
  Abort,    // ClosePort or destruction interrupted the wait
};

struct TTransactionTrace {
  uint8_t Reads = 0;  // reads of the line: 2 after an echo that came alone, more
                      // after replies from other addresses
  TReadEnd FirstEnd = TReadEnd::None;
  TReadEnd SecondEnd = TReadEnd::None;
  uint16_t FirstBytes = 0;  // bytes received by each read
  uint16_t SecondBytes = 0;
  bool EchoRemoved = false;
  bool EchoTakenAsReply = false;  // a reply to 5 or 6 that repeats the request, nothing after it
  uint8_t ForeignFrames = 0;      // replies from other addresses that were dropped
  bool Answered = false;          // a frame with a right CRC came from the request's address
  int16_t Exception = -1;         // the code of an exception reply, else -1
  uint16_t BytesWritten = 0;
  uint16_t ReplyBytes = 0;  // left in the receive area once echo and other addresses' frames went
  // From the end of the request on the wire to the first byte of the reply (after an echo that
  // came alone: of what followed it); 0 when nothing came.
  uint32_t LatencyUs = 0;
  int16_t GatewayException = -1;  // 10 or 11 when a Modbus TCP gateway answered in its place
  uint16_t RoundTripMs = 0;       // what the reply timeout added for the network
  // Bytes that had come before the request went out and were thrown away: a late reply to the
  // transaction before, as far as the port can tell.
  uint16_t StaleBytes = 0;
};

class TTrafficLog;

// The channel. Transaction runs on one thread (the job thread); OpenPort, ClosePort, SetLine,
// SetPortIndex, SetBaudIndex and SetWaitTime may come from another thread at any time.
//
// On a network line a reply ends by its length (and its CRC in the RTU modes), never by a pause,
// since a server may split a reply into several segments or glue it to what follows; the reply
// timeout is the user's plus the reply's own time on the server's serial line plus the round
// trip the connection measures.
class TModBus {
 public:
  TModBus();
  // The port given serves every line, serial or network (for tests and the fuzz programs).
  explicit TModBus(std::unique_ptr<TSerialPort> port);
  ~TModBus();
  TModBus(const TModBus&) = delete;
  TModBus& operator=(const TModBus&) = delete;

  bool OpenPort();
  // Why the last OpenPort left the port closed (None after one that opened it), the system's
  // error number for it, and the result it means: 8 when another program holds the port, else 7.
  TOpenFailure OpenFailure() const { return openFailure_.load(); }
  int OpenSystemError() const { return openError_.load(); }
  TResult OpenFailureResult() const;
  bool ClosePort();
  bool IsOpen() const;
  void SetPortIndex(uint8_t index);
  uint8_t PortIndex() const { return portIndex_.load(); }
  // On an RFC 2217 line the new rate goes to the server before the next request; a server that
  // refuses it closes the line (OpenFailure says SettingsRefused).
  void SetBaudIndex(uint8_t index);
  uint8_t GetBaudIndex() const;
  uint32_t BaudRate() const { return baudRate_.load(); }
  TLineSettings Dcb() const;

  TResult Transaction();

  TModBusFrame& RequestFrame() { return request_; }
  TModBusFrame& ReplyFrame() { return reply_; }
  uint16_t WaitTime() const { return waitTime_.load(); }
  void SetWaitTime(uint16_t ms) { waitTime_.store(ms); }

  // The line: the serial port of PortIndex (the default), or a network line. A change closes an
  // open line and opens the new one.
  void SetLine(const TLineDescription& line);
  TLineDescription Line() const;
  bool IsNetworkLine() const { return network_.load(); }
  // The serial port's device path, or a network line's "host:port".
  std::string LineName() const;
  // What the reply timeout adds for the network now: the measured round trip with room for its
  // spread, in whole milliseconds; 0 on a serial port.
  uint32_t RoundTripAllowanceMs() const;

  // Device path behind each port index; index i defaults to DefaultSerialDevice(i).
  void SetPortDevice(uint8_t index, const std::string& path);
  std::string PortDevice(uint8_t index) const;
  std::string DefaultPortDevice(uint8_t index) const;

  // End a read as soon as it holds one complete reply, instead of waiting for the silence (a
  // network line always does).
  void SetFrameEndByLength(bool on) { frameEndByLength_.store(on); }
  bool FrameEndByLength() const { return frameEndByLength_.load(); }

  // Every transaction from now on is published to the log; nullptr stops it. The channel keeps
  // its own reference, so the log may be given up by the caller at any time.
  void SetTrafficLog(std::shared_ptr<TTrafficLog> log);

  // What the last transaction did on the line; read it between transactions.
  const TTransactionTrace& LastTrace() const { return trace_; }
  // The bytes of the last request as written (with CRC, or with the MBAP header) and of the last
  // read(s) as received.
  const uint8_t* TransmitArea() const { return tx_; }
  const uint8_t* ReceiveArea() const { return rx_; }

  // The quiet time that ends a reply at the current rate, and the time one character takes.
  static uint32_t SilenceMs(uint32_t baudRate);
  static double CharacterMs(uint32_t baudRate);

  // The transmit and receive areas: the longest RTU frame, or a Modbus TCP frame (MBAP header and
  // the longest PDU).
  static constexpr size_t AreaSize = 260;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct ReadOutcome {
    size_t bytes = 0;
    TReadEnd end = TReadEnd::None;
    TimePoint firstByte{};
  };
  TSerialPort* Port() const { return port_.load(); }
  TSerialPort* PortFor(const TLineDescription& line);
  bool ApplyLineSettings();
  TResult RunTransaction();
  TResult RunMbapTransaction(uint16_t waitMs);
  TResult ReadMbapReply(uint16_t transactionId, TimePoint firstByteBy, uint32_t restMs);
  TResult FinishMbapReply(size_t frameLength);
  double ReplyWireMs(uint32_t baudRate) const;
  size_t CompleteReplyLength(const uint8_t* bytes, size_t count) const;
  bool WriteRequest(size_t count, uint16_t waitMs, size_t& written);
  ReadOutcome ReadReply(uint8_t* into, TimePoint firstByteBy, const uint8_t* echo,
                        size_t echoLength);
  TWaitResult WaitUntil(TimePoint deadline, bool reading);
  bool HoldsCompleteReply(const uint8_t* bytes, size_t count, const uint8_t* echo,
                          size_t echoLength) const;
  bool IsCompleteReply(const uint8_t* bytes, size_t count) const;
  size_t LeadingForeignFrame(const uint8_t* bytes, size_t count) const;
  bool DropForeignFrames(size_t& received, TimePoint deadline);
  TResult FinishReply(size_t received, TimePoint deadline);
  TResult CheckAnswersRequest();
  void NoteLatency(TimePoint requestEnd, const ReadOutcome& read);
  TResult Failure(TResult code) const;
  void PublishTraffic(TTrafficLog& log, int64_t startMs, TimePoint started, TResult result) const;

  // The serial port, and the ports of the network modes made when first used; all are kept until
  // the end, so that a Wake() from another thread never meets a port that is gone.
  std::unique_ptr<TSerialPort> serialPort_;
  std::unique_ptr<TSerialPort> networkPorts_[NetworkModeCount];
  bool injected_ = false;
  std::atomic<TSerialPort*> port_{nullptr};  // the line's port
  mutable std::mutex portMutex_;             // held by a transaction and by opening and closing
  mutable std::mutex lineMutex_;             // opening, closing and applying line settings
  mutable std::mutex devicesMutex_;          // the device paths and the line description
  TLineDescription line_;
  std::atomic<bool> network_{false};
  std::atomic<bool> mbap_{false};
  std::atomic<bool> settingsPending_{false};  // an RFC 2217 server has yet to get the rate
  uint16_t transactionId_ = 0;
  uint32_t roundTripMs_ = 0;           // the allowance of the transaction under way
  std::atomic<int> closeRequests_{0};  // ClosePort calls under way
  std::atomic<bool> shutdown_{false};
  std::atomic<uint8_t> portIndex_{1};
  std::atomic<uint32_t> baudRate_{9600};
  std::atomic<uint16_t> waitTime_{1300};
  std::atomic<bool> frameEndByLength_{true};
  std::atomic<bool> tracing_{false};
  std::atomic<std::shared_ptr<TTrafficLog>> traffic_;
  std::atomic<TOpenFailure> openFailure_{TOpenFailure::None};
  std::atomic<int> openError_{0};
  std::string portDevices_[PortCount];
  bool hungUp_ = false;
  TTransactionTrace trace_;
  uint8_t tx_[AreaSize] = {};
  uint8_t rx_[AreaSize] = {};
  TModBusFrame request_;
  TModBusFrame reply_;
};
