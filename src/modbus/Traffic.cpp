#include "modbus/Traffic.h"

#include <cstdio>
#include <ctime>
#include <utility>

TTrafficLog::TTrafficLog(size_t capacity) : capacity_(capacity ? capacity : 1) {}

void TTrafficLog::Publish(const TTrafficRecord& record) {
  std::lock_guard lock(mutex_);
  if (records_.size() == capacity_) {
    records_.pop_front();
    ++dropped_;
  }
  records_.push_back(record);
}

// The reader swaps the whole queue out: the channel waits at most for that swap.
std::deque<TTrafficRecord> TTrafficLog::Take() {
  std::deque<TTrafficRecord> taken;
  std::lock_guard lock(mutex_);
  taken.swap(records_);
  return taken;
}

uint64_t TTrafficLog::Dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void TTrafficCounters::Count(const TTrafficRecord& record) {
  ++Requests;
  if (record.Result == RESULT_OK || (record.Result >= 1 && record.Result <= 6)) ++Replies;
  if (record.Result == RESULT_TIMEOUT)
    ++Timeouts;
  else if (record.Result == RESULT_CRC)
    ++CrcErrors;
  else if (record.Result != RESULT_OK)
    ++OtherFailures;
}

std::string HexText(const uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 3);
  for (size_t i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
  }
  return text;
}

const char* ReadEndText(TReadEnd end) {
  switch (end) {
    case TReadEnd::None:
      return "без ответа";
    case TReadEnd::Length:
      return "по длине";
    case TReadEnd::Silence:
      return "по паузе";
    case TReadEnd::Timeout:
      return "по тайм-ауту";
    case TReadEnd::Budget:
      return "ответ слишком длинный";
    case TReadEnd::Full:
      return "приёмный буфер полон";
    case TReadEnd::HangUp:
      return "порт пропал";
    case TReadEnd::Abort:
      return "прервано";
  }
  return "";
}

namespace {

uint16_t Word(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

std::string Format(const char* format, auto... values) {
  char text[96];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string RequestSummary(const uint8_t* frame, size_t length) {
  const uint8_t function = frame[1];
  std::string text = Format("адрес %u, функция %u", frame[0], function);
  if (length < 8) return text;
  const uint16_t first = Word(frame + 2);
  const uint16_t second = Word(frame + 4);
  if (function == 5 || function == 6)
    return text + Format(", регистр %u, значение %u", first, second);
  if ((function >= 1 && function <= 4) || function == 15 || function == 16)
    return text + Format(", регистр %u, количество %u", first, second);
  return text;
}

std::string ReplySummary(const uint8_t* frame, size_t length) {
  if (length < 4) return Format("%zu байт, неполный кадр", length);
  const uint8_t function = frame[1];
  if (function & 0x80)
    return Format("адрес %u, исключение %u на функцию %u", frame[0], frame[2], function & 0x7F);
  std::string text = Format("адрес %u, функция %u", frame[0], function);
  if (function >= 1 && function <= 4) return text + Format(", байт данных %u", frame[2]);
  return text;
}

std::string LocalTimeText(int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return Format("%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms % 1000));
}

}  // namespace

std::string FrameSummary(const uint8_t* frame, size_t length, bool request) {
  if (length < 2) return Format("%zu байт", length);
  return request ? RequestSummary(frame, length) : ReplySummary(frame, length);
}

namespace {

constexpr size_t kMbapHeader = 6;

// A Modbus TCP frame: its transaction id, then what the unit id and the PDU say, read as an RTU
// frame whose CRC is left out.
std::string MbapSummary(const uint8_t* frame, size_t length, bool request) {
  if (length <= kMbapHeader) return Format("%zu байт, неполный кадр", length);
  return Format("транзакция %u, ", Word(frame)) +
         FrameSummary(frame + kMbapHeader, length - kMbapHeader + 2, request);
}

std::string Summary(const TTrafficRecord& record, const uint8_t* frame, size_t length,
                    bool request) {
  if (record.Network && record.Mode == TNetworkMode::ModbusTcp)
    return MbapSummary(frame, length, request);
  return FrameSummary(frame, length, request);
}

std::string LineText(const TTrafficRecord& record) {
  if (!record.Network) return Format("COM%u %u", record.PortIndex + 1u, record.BaudRate);
  std::string text = std::string(record.Endpoint) + " " + NetworkModeCaption(record.Mode);
  if (record.Mode != TNetworkMode::ModbusTcp) text += Format(" %u", record.BaudRate);
  return text;
}

}  // namespace

std::string TrafficTimeText(const TTrafficRecord& record) {
  return LocalTimeText(record.TimeMs);
}

std::vector<TTrafficFrame> TrafficFrames(const TTrafficRecord& record) {
  std::vector<TTrafficFrame> frames;
  frames.push_back({"→", HexText(record.Request, record.RequestLength),
                    Summary(record, record.Request, record.RequestLength, true)});
  if (record.Echo) frames.push_back({"↩", frames.front().Bytes, "эхо"});
  if (record.ReplyLength > 0)
    frames.push_back({"←", HexText(record.Reply, record.ReplyLength),
                      Summary(record, record.Reply, record.ReplyLength, false)});
  return frames;
}

std::string TrafficOutcome(const TTrafficRecord& record) {
  std::string outcome = ReadEndText(record.End);
  outcome += ", ";
  outcome += ResultMessage(record.Result);
  if (const char* gateway = GatewayExceptionText(record.GatewayException))
    outcome += std::string(" (") + gateway + ")";
  if (record.ForeignFrames > 0)
    outcome += Format(" (отброшено кадров других адресов: %u)", record.ForeignFrames);
  return outcome;
}

std::string DurationText(const TTrafficRecord& record) {
  if (record.Network)
    return Format("%.2f мс (тайм-аут +%u мс на сеть)", record.DurationUs / 1000.0,
                  record.RoundTripMs);
  return Format("%.2f мс", record.DurationUs / 1000.0);
}

std::vector<std::string> TrafficLines(const TTrafficRecord& record) {
  const std::string head = TrafficTimeText(record) + " " + LineText(record) + " ";
  std::vector<std::string> lines;
  for (const TTrafficFrame& frame : TrafficFrames(record))
    lines.push_back(head + frame.Direction + " " + frame.Bytes + "  [" + frame.Summary + "]");
  lines.back() += "  " + DurationText(record) + ", " + TrafficOutcome(record);
  return lines;
}
