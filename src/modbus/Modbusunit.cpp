// TModBus: one request/reply transaction at a time on one line.
#include "modbus/Modbusunit.h"
#include "modbus/Traffic.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

const char* const kResultMessages[ResultMessageCount] = {
    "Выполнено без ошибок.",
    "Прибор: Неподдерживаемая функция!!!",
    "Прибор: Неподдерживаемый адрес данных!!!",
    "Прибор: Неподдерживаемые данные!!!",
    "Неизвестная ошибка!!!",
    "Неизвестная ошибка!!!",
    "Прибор: Занят обработкой команды!!!",
    "Не открыт порт!!!",
    "Порт занят!!!",
    "Вышло время ожидания!!!",
    "Ошибка CRC!!!",
    "Ошибка длинны посылки!!!",
    "Ошибка при записи в порт!!!",
    "Прерванно пользователем!!!",
    "Неизвестная ошибка!!!",
    "Ошибка параметров!!!",
    "Прибор с таким адресом уже существует!!!",
    "Не подходящий тип прибора!!!",
};

// An instrument may answer with any exception code; those the table does not know get one text.
const char* const kUnknownDeviceError = "Прибор: Неизвестный код ошибки!!!";

constexpr size_t kAreaSize = 256;  // the longest RTU frame
constexpr uint32_t kMinSilenceMs = 50;
constexpr size_t kMbapHeader = 6;  // transaction id, protocol 0 and length, before the unit id

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

Clock::time_point After(double milliseconds) {
  return Clock::now() + std::chrono::microseconds(static_cast<long long>(milliseconds * 1000.0));
}

bool CrcMatches(const uint8_t* bytes, size_t count) {
  const uint16_t crc = CalcCRC16(bytes, count - 2);
  return bytes[count - 2] == (crc & 0xFF) && bytes[count - 1] == (crc >> 8);
}

}  // namespace

const uint32_t BaudRates[BaudRateCount] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                           19200, 38400, 56000, 57600, 115200, 128000, 256000};

const char* ResultMessage(TResult code) {
  return code < ResultMessageCount ? kResultMessages[code] : kUnknownDeviceError;
}

TResult ExceptionResult(uint8_t code) {
  return code == 0 ? TResult{RESULT_UNKNOWN} : code;
}

const char* GatewayExceptionText(int code) {
  if (code == 10) return "исключение 10 от шлюза: нет пути к прибору";
  if (code == 11) return "исключение 11 от шлюза: прибор не ответил";
  return nullptr;
}

double TModBus::CharacterMs(uint32_t baudRate) {
  return baudRate ? 12000.0 / baudRate : 0.0;  // 8 data bits, parity, 2 stop bits, start bit
}

// 50 ms, or three and a half characters when the line is so slow that one character takes longer.
uint32_t TModBus::SilenceMs(uint32_t baudRate) {
  const auto slow = static_cast<uint32_t>(std::ceil(3.5 * CharacterMs(baudRate)));
  return std::max(kMinSilenceMs, slow);
}

TModBus::TModBus() : serialPort_(MakeSerialPort()) {
  port_.store(serialPort_.get());
}

TModBus::TModBus(std::unique_ptr<TSerialPort> port)
    : serialPort_(std::move(port)), injected_(true) {
  port_.store(serialPort_.get());
}

TModBus::~TModBus() {
  shutdown_.store(true);
  ClosePort();
}

bool TModBus::OpenPort() {
  if (Port()->IsOpen()) return true;
  std::lock_guard lock(portMutex_);
  std::lock_guard line(lineMutex_);
  TSerialPort* port = Port();
  if (port->IsOpen()) return true;
  openFailure_.store(TOpenFailure::None);
  openError_.store(0);
  if (!port->Open(LineName())) {
    openFailure_.store(port->LastOpenFailure());
    openError_.store(port->LastOpenError());
    return false;
  }
  settingsPending_.store(false);
  if (!ApplyLineSettings()) return false;
  port->Purge();
  return true;
}

// A rate the serial driver refuses leaves the port open with its old settings; an RFC 2217 server
// that refuses rate or 8E2 would carry the frames wrongly, so its line is closed.
bool TModBus::ApplyLineSettings() {
  TSerialPort* port = Port();
  if (port->Apply(Dcb()) || !IsNetworkLine() || Line().Mode != TNetworkMode::Rfc2217) return true;
  port->Close();
  openFailure_.store(TOpenFailure::SettingsRefused);
  return false;
}

// Wakes a waiting transaction first, so that it gives up the port at once with result 13.
bool TModBus::ClosePort() {
  closeRequests_.fetch_add(1);
  Port()->Wake();
  {
    std::lock_guard lock(portMutex_);
    std::lock_guard line(lineMutex_);
    Port()->Close();
  }
  closeRequests_.fetch_sub(1);
  return !Port()->IsOpen();
}

TResult TModBus::OpenFailureResult() const {
  return openFailure_.load() == TOpenFailure::InUse ? TResult{RESULT_PORT_BUSY}
                                                    : TResult{RESULT_PORT_NOT_OPEN};
}

bool TModBus::IsOpen() const {
  return Port()->IsOpen();
}

void TModBus::SetPortIndex(uint8_t index) {
  if (index == portIndex_.load() || index >= PortCount) return;
  portIndex_.store(index);
  if (!IsNetworkLine() && IsOpen() && ClosePort()) OpenPort();
}

// An RFC 2217 server is told on the line itself, between transactions: the next one sends it.
void TModBus::SetBaudIndex(uint8_t index) {
  if (index < BaudRateCount) baudRate_.store(BaudRates[index]);
  if (IsNetworkLine() && Line().Mode == TNetworkMode::Rfc2217) {
    settingsPending_.store(true);
    return;
  }
  std::lock_guard line(lineMutex_);
  if (Port()->IsOpen()) Port()->Apply(Dcb());
}

void TModBus::SetLine(const TLineDescription& line) {
  if (Line() == line) return;
  const bool wasOpen = IsOpen();
  if (wasOpen) ClosePort();
  {
    std::lock_guard lock(portMutex_);
    std::lock_guard settings(lineMutex_);
    TSerialPort* port = PortFor(line);
    {
      std::lock_guard devices(devicesMutex_);
      line_ = line;
    }
    network_.store(line.Kind == TLineKind::Network);
    mbap_.store(line.Kind == TLineKind::Network && line.Mode == TNetworkMode::ModbusTcp);
    port_.store(port);
  }
  if (wasOpen) OpenPort();
}

TSerialPort* TModBus::PortFor(const TLineDescription& line) {
  if (injected_ || line.Kind == TLineKind::Serial) return serialPort_.get();
  std::unique_ptr<TSerialPort>& port = networkPorts_[static_cast<int>(line.Mode)];
  if (!port) port = MakeNetworkPort(line.Mode);
  return port.get();
}

TLineDescription TModBus::Line() const {
  std::lock_guard lock(devicesMutex_);
  return line_;
}

std::string TModBus::LineName() const {
  {
    std::lock_guard lock(devicesMutex_);
    if (line_.Kind == TLineKind::Network) return EndpointText(line_.Host, line_.Port);
  }
  return PortDevice(portIndex_.load());
}

uint32_t TModBus::RoundTripAllowanceMs() const {
  if (!IsNetworkLine()) return 0;
  return (Port()->RoundTripUs() + 999) / 1000;
}

uint8_t TModBus::GetBaudIndex() const {
  const uint32_t rate = baudRate_.load();
  for (uint8_t i = 0; i < BaudRateCount; ++i)
    if (BaudRates[i] == rate) return i;
  return DefaultBaudIndex;
}

TLineSettings TModBus::Dcb() const {
  TLineSettings settings;
  settings.BaudRate = baudRate_.load();
  return settings;
}

std::string TModBus::DefaultPortDevice(uint8_t index) const {
  return DefaultSerialDevice(index);
}

void TModBus::SetPortDevice(uint8_t index, const std::string& path) {
  if (index >= PortCount) return;
  std::lock_guard lock(devicesMutex_);
  portDevices_[index] = path;
}

std::string TModBus::PortDevice(uint8_t index) const {
  if (index >= PortCount) return {};
  std::lock_guard lock(devicesMutex_);
  return portDevices_[index].empty() ? DefaultPortDevice(index) : portDevices_[index];
}

TResult TModBus::Transaction() {
  std::lock_guard lock(portMutex_);
  trace_ = {};
  if (!Port()->IsOpen()) return RESULT_PORT_NOT_OPEN;
  Port()->ClearWake();
  hungUp_ = false;
  if (shutdown_.load() || closeRequests_.load() > 0) return RESULT_ABORTED;
  if (settingsPending_.exchange(false)) {
    std::lock_guard line(lineMutex_);
    if (!ApplyLineSettings()) return RESULT_PORT_NOT_OPEN;
  }
  // One relaxed load when no one listens.
  const std::shared_ptr<TTrafficLog> traffic =
      tracing_.load(std::memory_order_relaxed) ? traffic_.load() : nullptr;
  const int64_t startMs = traffic ? WallClockMs() : 0;
  const TimePoint started = Clock::now();
  TResult result = RESULT_UNKNOWN;
  try {
    result = RunTransaction();
  } catch (...) {
  }
  if (traffic) PublishTraffic(*traffic, startMs, started, result);
  return result;
}

void TModBus::SetTrafficLog(std::shared_ptr<TTrafficLog> log) {
  tracing_.store(log != nullptr);
  traffic_.store(std::move(log));
}

void TModBus::PublishTraffic(TTrafficLog& log, int64_t startMs, TimePoint started,
                             TResult result) const {
  TTrafficRecord record;
  record.TimeMs = startMs;
  record.DurationUs = static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count());
  record.PortIndex = portIndex_.load();
  record.BaudRate = baudRate_.load();
  if (IsNetworkLine()) {
    const TLineDescription line = Line();
    record.Network = true;
    record.Mode = line.Mode;
    const std::string endpoint = EndpointText(line.Host, line.Port);
    std::snprintf(record.Endpoint, sizeof record.Endpoint, "%s", endpoint.c_str());
    record.RoundTripMs = trace_.RoundTripMs;
    record.GatewayException = trace_.GatewayException;
  }
  record.RequestLength = std::min<uint16_t>(trace_.BytesWritten, sizeof record.Request);
  std::memcpy(record.Request, tx_, record.RequestLength);
  record.Echo = trace_.EchoRemoved && !trace_.EchoTakenAsReply;
  record.ReplyLength = std::min<uint16_t>(trace_.ReplyBytes, sizeof record.Reply);
  std::memcpy(record.Reply, rx_, record.ReplyLength);
  record.ForeignFrames = trace_.ForeignFrames;
  record.End = trace_.Reads >= 2 ? trace_.SecondEnd : trace_.FirstEnd;
  record.Result = result;
  log.Publish(record);
}

TResult TModBus::RunTransaction() {
  const uint16_t waitMs = waitTime_.load();
  roundTripMs_ = RoundTripAllowanceMs();
  trace_.RoundTripMs = static_cast<uint16_t>(std::min<uint32_t>(roundTripMs_, UINT16_MAX));
  if (mbap_.load()) return RunMbapTransaction(waitMs);
  const uint16_t length = request_.Length;
  // An RTU frame is at most 256 bytes with its CRC.
  if (length < 2 || length > kAreaSize - 2) return RESULT_PARAMETER;
  trace_.StaleBytes = static_cast<uint16_t>(std::min<size_t>(Port()->PendingInput(), UINT16_MAX));
  Port()->Purge();

  std::memcpy(tx_, request_.FrameBytes(), length);
  const uint16_t crc = CalcCRC16(tx_, length);
  tx_[length] = static_cast<uint8_t>(crc & 0xFF);
  tx_[length + 1] = static_cast<uint8_t>(crc >> 8);
  const size_t count = length + 2u;

  size_t written = 0;
  if (!WriteRequest(count, waitMs, written)) return RESULT_ABORTED;
  trace_.BytesWritten = static_cast<uint16_t>(written);
  if (written != count) return RESULT_WRITE_FAILED;
  if (request_.SlaveAddress == 0) return RESULT_OK;

  // The first reply byte cannot come before the request has left the wire. A server on a network
  // line may hold the reply back until all of it has come from its serial line, and the network
  // adds its round trip.
  const double requestWireMs = count * CharacterMs(baudRate_.load());
  const TimePoint requestEnd = After(requestWireMs);
  const double networkMs = IsNetworkLine() ? roundTripMs_ + ReplyWireMs(baudRate_.load()) : 0;
  TimePoint deadline = After(waitMs + std::ceil(requestWireMs + networkMs));
  const ReadOutcome first = ReadReply(rx_, deadline, tx_, count);
  NoteLatency(requestEnd, first);
  trace_.Reads = 1;
  trace_.FirstEnd = first.end;
  trace_.FirstBytes = static_cast<uint16_t>(first.bytes);
  if (first.end == TReadEnd::Abort) return RESULT_ABORTED;

  size_t received = first.bytes;
  trace_.ReplyBytes = static_cast<uint16_t>(received);
  if (received >= 1 && received <= 3) return Failure(RESULT_LENGTH);
  if (received >= count && std::memcmp(rx_, tx_, count) == 0) {
    trace_.EchoRemoved = true;
    received -= count;
    std::memmove(rx_, rx_ + count, received);
    if (received == 0) {
      deadline = After(waitMs + std::ceil(networkMs));
      const ReadOutcome second = ReadReply(rx_, deadline, nullptr, 0);
      NoteLatency(requestEnd, second);
      trace_.Reads = 2;
      trace_.SecondEnd = second.end;
      trace_.SecondBytes = static_cast<uint16_t>(second.bytes);
      if (second.end == TReadEnd::Abort) return RESULT_ABORTED;
      received = second.bytes;
      // Without a converter the reply to 5 or 6 repeats the request: what was taken for the
      // echo is the reply when nothing else comes.
      const uint8_t function = tx_[1];
      if (received == 0 && second.end == TReadEnd::Timeout && (function == 5 || function == 6) &&
          count == 8) {
        std::memcpy(rx_, tx_, count);
        received = count;
        trace_.EchoTakenAsReply = true;
      }
    }
  }
  return FinishReply(received, deadline);
}

void TModBus::NoteLatency(TimePoint requestEnd, const ReadOutcome& read) {
  if (read.bytes == 0) return;
  const auto us =
      std::chrono::duration_cast<std::chrono::microseconds>(read.firstByte - requestEnd).count();
  trace_.LatencyUs = static_cast<uint32_t>(std::clamp<long long>(us, 0, UINT32_MAX));
}

// Writes the request within WaitTime; false when ClosePort or destruction interrupted it.
bool TModBus::WriteRequest(size_t count, uint16_t waitMs, size_t& written) {
  const auto deadline = After(waitMs);
  while (written < count) {
    const long n = Port()->WriteSome(tx_ + written, count - written);
    if (n < 0) break;
    written += static_cast<size_t>(n);
    if (written == count) break;
    const TWaitResult wait = WaitUntil(deadline, false);
    if (wait == TWaitResult::Interrupted) return false;
    if (wait != TWaitResult::Ready) break;
  }
  return true;
}

// A reply from another address answers some earlier request, not this one: it is dropped and
// the wait goes on until the same deadline.
TResult TModBus::FinishReply(size_t received, TimePoint deadline) {
  const bool waited = DropForeignFrames(received, deadline);
  // Over the network what follows a complete reply in the same read belongs to no request.
  if (IsNetworkLine())
    if (const size_t reply = CompleteReplyLength(rx_, received)) received = reply;
  trace_.ReplyBytes = static_cast<uint16_t>(received);
  if (!waited) return RESULT_ABORTED;
  if (received == 0) return Failure(RESULT_TIMEOUT);
  if (received <= 3) return Failure(RESULT_LENGTH);
  if (!CrcMatches(rx_, received)) return Failure(RESULT_CRC);
  trace_.Answered = true;
  reply_.Length = static_cast<uint16_t>(received - 2);
  std::memcpy(reply_.FrameBytes(), rx_, received - 2);
  return CheckAnswersRequest();
}

// False when ClosePort or destruction interrupted the wait for more.
bool TModBus::DropForeignFrames(size_t& received, TimePoint deadline) {
  for (;;) {
    const size_t foreign = LeadingForeignFrame(rx_, received);
    if (foreign == 0) return true;
    if (trace_.ForeignFrames < UINT8_MAX) ++trace_.ForeignFrames;
    received -= foreign;
    std::memmove(rx_, rx_ + foreign, received);
    if (received > 0) continue;
    if (Clock::now() >= deadline) return true;
    const ReadOutcome more = ReadReply(rx_, deadline, nullptr, 0);
    if (trace_.Reads < UINT8_MAX) ++trace_.Reads;
    if (more.end == TReadEnd::Abort) return false;
    received = more.bytes;
  }
}

// The stored reply must be the instrument's answer to the request: its function or the
// exception to it, a byte count that fits the data, and for writes the echo of what was sent.
TResult TModBus::CheckAnswersRequest() {
  const uint8_t function = request_.Function;
  if (reply_.Function == (function | 0x80)) {
    // An exception reply without its code byte says nothing: report it as a wrong length.
    if (reply_.Length <= 2) return RESULT_LENGTH;
    trace_.Exception = reply_.Data[0];
    return ExceptionResult(reply_.Data[0]);
  }
  if (reply_.Function != function) return RESULT_LENGTH;
  const uint16_t dataLength = reply_.DataLength();
  switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
      return dataLength >= 1 && reply_.Data[0] == dataLength - 1 ? RESULT_OK : RESULT_LENGTH;
    case 5:
    case 6:
      return reply_.Length == request_.Length &&
                     std::memcmp(reply_.Data, request_.Data, request_.DataLength()) == 0
                 ? RESULT_OK
                 : RESULT_LENGTH;
    case 15:
    case 16:
      return dataLength == 4 && request_.DataLength() >= 4 &&
                     std::memcmp(reply_.Data, request_.Data, 4) == 0
                 ? RESULT_OK
                 : RESULT_LENGTH;
    default:
      return RESULT_OK;
  }
}

// A port that went away turns every failure of the reply into the unexpected-fault result.
TResult TModBus::Failure(TResult code) const {
  return hungUp_ ? TResult{RESULT_UNKNOWN} : code;
}

TWaitResult TModBus::WaitUntil(Clock::time_point deadline, bool reading) {
  for (;;) {
    const int ms = MillisecondsUntil(deadline);
    const TWaitResult wait = reading ? Port()->WaitReadable(ms) : Port()->WaitWritable(ms);
    if (wait != TWaitResult::Timeout || Clock::now() >= deadline) return wait;
  }
}

// Reads one reply: up to firstByteMs for its first byte, then until the line falls silent, the
// bytes form one complete reply, the receive area is full or the longest reply has had its time.
// A network line has no silence to go by: there the longest reply's time ends a read that never
// held a complete reply.
TModBus::ReadOutcome TModBus::ReadReply(uint8_t* into, TimePoint firstByteBy, const uint8_t* echo,
                                        size_t echoLength) {
  ReadOutcome outcome;
  switch (WaitUntil(firstByteBy, true)) {
    case TWaitResult::Ready:
      outcome.firstByte = Clock::now();
      break;
    case TWaitResult::Interrupted:
      outcome.end = TReadEnd::Abort;
      return outcome;
    case TWaitResult::Timeout:
      outcome.end = TReadEnd::Timeout;
      return outcome;
    case TWaitResult::HangUp:
      hungUp_ = true;
      outcome.end = TReadEnd::HangUp;
      return outcome;
  }
  const bool network = IsNetworkLine();
  const auto budgetEnd =
      After(kAreaSize * CharacterMs(baudRate_.load()) + SilenceMs(baudRate_.load()) + roundTripMs_);
  for (;;) {
    const long n = Port()->ReadSome(into + outcome.bytes, kAreaSize - outcome.bytes);
    if (n < 0) {
      hungUp_ = true;
      outcome.end = TReadEnd::HangUp;
      return outcome;
    }
    outcome.bytes += static_cast<size_t>(n);
    if (outcome.bytes >= kAreaSize) {
      outcome.end = TReadEnd::Full;
      return outcome;
    }
    if (n > 0 && (network || frameEndByLength_.load()) &&
        HoldsCompleteReply(into, outcome.bytes, echo, echoLength)) {
      outcome.end = TReadEnd::Length;
      return outcome;
    }
    const auto silenceEnd = After(SilenceMs(baudRate_.load()));
    const auto until = network ? budgetEnd : std::min(silenceEnd, budgetEnd);
    switch (WaitUntil(until, true)) {
      case TWaitResult::Ready:
        break;
      case TWaitResult::Interrupted:
        outcome.end = TReadEnd::Abort;
        return outcome;
      case TWaitResult::HangUp: {
        const long rest = Port()->ReadSome(into + outcome.bytes, kAreaSize - outcome.bytes);
        if (rest > 0) outcome.bytes += static_cast<size_t>(rest);
        hungUp_ = true;
        outcome.end = TReadEnd::HangUp;
        return outcome;
      }
      case TWaitResult::Timeout:
        if (network)
          outcome.end = TReadEnd::Timeout;
        else
          outcome.end =
              until == budgetEnd && silenceEnd > budgetEnd ? TReadEnd::Budget : TReadEnd::Silence;
        return outcome;
    }
  }
}

// The bytes after an echo of the request, or all bytes when they do not start with the echo,
// and after any replies from other addresses, form exactly one reply to the request with a right
// CRC. While the bytes could still be the echo, or a reply that repeats the request, they are no
// complete reply.
bool TModBus::HoldsCompleteReply(const uint8_t* bytes, size_t count, const uint8_t* echo,
                                 size_t echoLength) const {
  if (echo && std::memcmp(bytes, echo, std::min(count, echoLength)) == 0) {
    if (count <= echoLength) return false;
    bytes += echoLength;
    count -= echoLength;
  }
  while (const size_t foreign = LeadingForeignFrame(bytes, count)) {
    bytes += foreign;
    count -= foreign;
  }
  return IsCompleteReply(bytes, count);
}

// The length of a frame with a right CRC from another address than the request's at the start
// of the bytes, 0 when there is none. Its length follows from its own function where that has
// one; else it must be all the bytes.
size_t TModBus::LeadingForeignFrame(const uint8_t* bytes, size_t count) const {
  if (count < 4 || bytes[0] == tx_[0]) return 0;
  const uint8_t function = bytes[1];
  size_t length = 0;
  if (function & 0x80) {
    length = 5;
  } else if (function >= 1 && function <= 4) {
    length = 5u + bytes[2];
  } else if (function == 5 || function == 6 || function == 15 || function == 16) {
    length = 8;
  }
  if (length >= 4 && length <= count && CrcMatches(bytes, length)) return length;
  return CrcMatches(bytes, count) ? count : 0;
}

// Exactly one reply; on a network line one at the start of the bytes, glued to more.
bool TModBus::IsCompleteReply(const uint8_t* bytes, size_t count) const {
  const size_t length = CompleteReplyLength(bytes, count);
  return length > 0 && (length == count || IsNetworkLine());
}

// The length of the reply to the request with a right CRC that the bytes begin with; 0 when
// they do not begin with a whole one.
size_t TModBus::CompleteReplyLength(const uint8_t* bytes, size_t count) const {
  if (count < 4) return 0;
  const uint8_t function = tx_[1];
  size_t expected = 0;
  if (bytes[1] == (function | 0x80)) {
    expected = 5;
  } else if (bytes[1] != function) {
    return 0;
  } else if (function >= 1 && function <= 4) {
    expected = 5u + bytes[2];
  } else if (function == 5 || function == 6 || function == 15 || function == 16) {
    expected = 8;
  } else {
    return 0;
  }
  return count >= expected && CrcMatches(bytes, expected) ? expected : 0;
}

// The length of the reply a request calls for, on the wire with its CRC; the longest frame where
// that cannot be told.
double TModBus::ReplyWireMs(uint32_t baudRate) const {
  const uint8_t function = request_.Function;
  const size_t count = request_.DataLength() >= 4
                           ? static_cast<size_t>(request_.Data[2] << 8 | request_.Data[3])
                           : 0;
  size_t bytes = kAreaSize;
  if (function == 1 || function == 2)
    bytes = 5 + (count + 7) / 8;
  else if (function == 3 || function == 4)
    bytes = 5 + 2 * count;
  else if (function == 5 || function == 6 || function == 15 || function == 16)
    bytes = 8;
  return static_cast<double>(std::min(bytes, kAreaSize)) * CharacterMs(baudRate);
}

// Modbus TCP: the MBAP header (transaction id, protocol 0, length) and the unit id in place of the
// address, no CRC. The gateway does the serial timing itself, so there is neither echo nor pause;
// its wait for the instrument comes on top of the user's timeout.
TResult TModBus::RunMbapTransaction(uint16_t waitMs) {
  const uint16_t length = request_.Length;
  if (length < 2 || length + kMbapHeader > AreaSize) return RESULT_PARAMETER;
  Port()->Purge();
  const uint16_t id = ++transactionId_;
  const uint8_t header[kMbapHeader] = {
      static_cast<uint8_t>(id >> 8),     static_cast<uint8_t>(id),    0, 0,
      static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  std::memcpy(tx_, header, kMbapHeader);
  std::memcpy(tx_ + kMbapHeader, request_.FrameBytes(), length);
  const size_t count = kMbapHeader + length;
  size_t written = 0;
  if (!WriteRequest(count, waitMs, written)) return RESULT_ABORTED;
  trace_.BytesWritten = static_cast<uint16_t>(written);
  if (written != count) return RESULT_WRITE_FAILED;
  if (request_.SlaveAddress == 0) return RESULT_OK;
  const uint32_t baud = baudRate_.load();
  const double serialMs = (length + 2) * CharacterMs(baud) + ReplyWireMs(baud);
  return ReadMbapReply(id, After(waitMs + std::ceil(serialMs) + roundTripMs_),
                       SilenceMs(baud) + roundTripMs_);
}

// Reads frames until the one with the request's transaction id and unit id is whole; frames of
// other transactions or units are dropped as replies from other addresses are. After the first
// byte the frames have restMs more, unless firstByteBy is later.
TResult TModBus::ReadMbapReply(uint16_t transactionId, TimePoint firstByteBy, uint32_t restMs) {
  const TimePoint sent = Clock::now();
  TimePoint deadline = firstByteBy;
  size_t held = 0;
  trace_.Reads = 1;
  for (;;) {
    while (held >= kMbapHeader + 1) {
      const size_t length = static_cast<size_t>(rx_[4] << 8 | rx_[5]);
      // A header that makes no sense leaves no way to find the next frame in the stream.
      if (rx_[2] != 0 || rx_[3] != 0 || length < 2 || kMbapHeader + length > AreaSize) {
        trace_.FirstEnd = TReadEnd::Length;
        trace_.ReplyBytes = static_cast<uint16_t>(held);
        return RESULT_LENGTH;
      }
      const size_t frame = kMbapHeader + length;
      if (held < frame) break;
      if ((rx_[0] << 8 | rx_[1]) == transactionId && rx_[kMbapHeader] == tx_[kMbapHeader]) {
        trace_.FirstEnd = TReadEnd::Length;
        return FinishMbapReply(frame);
      }
      if (trace_.ForeignFrames < UINT8_MAX) ++trace_.ForeignFrames;
      held -= frame;
      std::memmove(rx_, rx_ + frame, held);
    }
    trace_.ReplyBytes = static_cast<uint16_t>(held);
    TWaitResult wait = WaitUntil(deadline, true);
    long n = 0;
    if (wait == TWaitResult::Ready) {
      n = Port()->ReadSome(rx_ + held, AreaSize - held);
      if (n < 0) wait = TWaitResult::HangUp;
    }
    switch (wait) {
      case TWaitResult::Ready:
        break;
      case TWaitResult::Interrupted:
        trace_.FirstEnd = TReadEnd::Abort;
        return RESULT_ABORTED;
      case TWaitResult::Timeout:
        trace_.FirstEnd = TReadEnd::Timeout;
        return Failure(held == 0 ? RESULT_TIMEOUT : RESULT_LENGTH);
      case TWaitResult::HangUp:
        hungUp_ = true;
        trace_.FirstEnd = TReadEnd::HangUp;
        return Failure(RESULT_TIMEOUT);
    }
    if (n > 0 && trace_.FirstBytes == 0) {
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent);
      trace_.LatencyUs = static_cast<uint32_t>(std::clamp<long long>(us.count(), 0, UINT32_MAX));
      deadline = std::max(deadline, After(restMs));
    }
    held += static_cast<size_t>(n);
    trace_.FirstBytes = static_cast<uint16_t>(std::min<size_t>(trace_.FirstBytes + n, UINT16_MAX));
  }
}

// The frame of the request's transaction: the gateway's own exceptions 10 and 11 say the
// instrument stayed silent; anything else is the instrument's reply.
TResult TModBus::FinishMbapReply(size_t frameLength) {
  trace_.ReplyBytes = static_cast<uint16_t>(frameLength);
  const size_t length = frameLength - kMbapHeader;
  reply_.Length = static_cast<uint16_t>(length);
  std::memcpy(reply_.FrameBytes(), rx_ + kMbapHeader, length);
  if (reply_.Function == (request_.Function | 0x80) && length >= 3 &&
      GatewayExceptionText(reply_.Data[0])) {
    trace_.GatewayException = reply_.Data[0];
    return RESULT_TIMEOUT;
  }
  trace_.Answered = true;
  return CheckAnswersRequest();
}
