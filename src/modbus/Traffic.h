// What the channel did on the line, transaction by transaction, for a traffic monitor or a trace:
// the channel publishes a record of every transaction to a bounded log that another thread takes
// from. Publishing copies one record under a lock that the reader holds only for a swap, so a slow
// or stalled reader never slows the line; when the log is full the oldest records go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "modbus/Modbusunit.h"

struct TTrafficRecord {
  int64_t TimeMs = 0;       // wall clock at the start, milliseconds since 1970 (UTC)
  uint32_t DurationUs = 0;  // from the start of the request to the end of the reply
  uint8_t PortIndex = 0;
  uint32_t BaudRate = 0;
  bool Network = false;  // a line over Ethernet: Endpoint and Mode name it
  TNetworkMode Mode = TNetworkMode::RtuOverTcp;
  char Endpoint[72] = {};      // "host:port"
  uint16_t RoundTripMs = 0;    // what the reply timeout added for the network
  uint16_t RequestLength = 0;  // the request as written, with its CRC or its MBAP header
  uint8_t Request[TModBus::AreaSize] = {};
  bool Echo = false;         // the converter's echo of the request came back and was removed
  uint16_t ReplyLength = 0;  // what stayed of the reply after echo and other addresses' frames
  uint8_t Reply[TModBus::AreaSize] = {};
  int16_t GatewayException = -1;  // a Modbus TCP gateway's 10 or 11 in the instrument's place
  uint8_t ForeignFrames = 0;      // replies from other addresses that were dropped
  TReadEnd End = TReadEnd::None;
  TResult Result = RESULT_OK;
};

class TTrafficLog {
 public:
  static constexpr size_t DefaultCapacity = 10000;
  explicit TTrafficLog(size_t capacity = DefaultCapacity);

  void Publish(const TTrafficRecord& record);
  // Everything published since the last Take, oldest first.
  std::deque<TTrafficRecord> Take();
  // Records that were pushed out by newer ones before anyone took them.
  uint64_t Dropped() const;

 private:
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<TTrafficRecord> records_;
  uint64_t dropped_ = 0;
};

// Totals over records, as the monitor shows them since it was last cleared.
struct TTrafficCounters {
  uint64_t Requests = 0;
  uint64_t Replies = 0;  // a frame with a right CRC from the request's address
  uint64_t Timeouts = 0;
  uint64_t CrcErrors = 0;
  uint64_t OtherFailures = 0;
  void Count(const TTrafficRecord& record);
};

// A frame of a transaction as the monitor lists it: its direction ("→" request, "↩" echo, "←"
// reply), its bytes in hexadecimal and what it says.
struct TTrafficFrame {
  std::string Direction;
  std::string Bytes;
  std::string Summary;
};
std::vector<TTrafficFrame> TrafficFrames(const TTrafficRecord& record);
// "по длине, Выполнено без ошибок." and the like: how the reply ended and the result.
std::string TrafficOutcome(const TTrafficRecord& record);
// "12.34 мс"; on a network line with what the timeout added for it: "(тайм-аут +3 мс на сеть)".
std::string DurationText(const TTrafficRecord& record);
// Local time with milliseconds, "14:25:36.120".
std::string TrafficTimeText(const TTrafficRecord& record);

// One line per frame of the transaction: the request (→), the echo (↩) if any, the reply (←) if
// any bytes came. Each line: local time with milliseconds, port and rate (a network line's
// host:port and mode), the bytes in
// hexadecimal, what the frame says; the last line ends with how the reply ended, the duration and
// the result.
std::vector<std::string> TrafficLines(const TTrafficRecord& record);
// What a frame (address through CRC) says: address, function, first register and count, byte
// count or exception code.
std::string FrameSummary(const uint8_t* frame, size_t length, bool request);
const char* ReadEndText(TReadEnd end);
// Bytes as two-digit hexadecimal numbers separated by spaces.
std::string HexText(const uint8_t* bytes, size_t count);
