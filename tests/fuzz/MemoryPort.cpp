#include "MemoryPort.h"

#include <algorithm>
#include <cstring>

void TMemoryPort::Script(std::deque<TScriptedReply> replies) {
  replies_ = std::move(replies);
  pending_.clear();
  requests_ = 0;
}

bool TMemoryPort::Open(const std::string&) {
  open_ = true;
  return true;
}

bool TMemoryPort::Close() {
  open_ = false;
  pending_.clear();
  return true;
}

TWaitResult TMemoryPort::WaitReadable(int) {
  if (woken_) return TWaitResult::Interrupted;
  return pending_.empty() ? TWaitResult::HangUp : TWaitResult::Ready;
}

TWaitResult TMemoryPort::WaitWritable(int) {
  return woken_ ? TWaitResult::Interrupted : TWaitResult::Ready;
}

long TMemoryPort::ReadSome(uint8_t* into, size_t capacity) {
  if (!open_) return -1;
  size_t n = std::min(capacity, pending_.size());
  if (chunk_ > 0) n = std::min(n, chunk_);
  std::memcpy(into, pending_.data(), n);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
  return static_cast<long>(n);
}

long TMemoryPort::WriteSome(const uint8_t* bytes, size_t count) {
  if (!open_) return -1;
  ++requests_;
  pending_.clear();
  if (replies_.empty()) return static_cast<long>(count);
  TScriptedReply reply = std::move(replies_.front());
  replies_.pop_front();
  if (reply.Echo) pending_.assign(bytes, bytes + count);
  pending_.insert(pending_.end(), reply.Bytes.begin(), reply.Bytes.end());
  chunk_ = reply.Chunk;
  return static_cast<long>(count);
}

std::vector<uint8_t> TFuzzInput::Bytes(size_t count) {
  count = std::min(count, size_ - std::min(at_, size_));
  std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + count);
  at_ += count;
  return bytes;
}

std::deque<TScriptedReply> ScriptedReplies(TFuzzInput& input) {
  std::deque<TScriptedReply> replies;
  while (!input.AtEnd()) {
    const size_t length = input.Byte();
    const uint8_t flags = input.Byte();
    TScriptedReply reply;
    reply.Bytes = input.Bytes(length);
    if (flags & 1) reply.Bytes = WithCrc(std::move(reply.Bytes));
    reply.Echo = (flags & 2) != 0;
    reply.Chunk = flags >> 2;
    replies.push_back(std::move(reply));
  }
  return replies;
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = CalcCRC16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// What a success must have come from: the addressed instrument, the request's own function, a
// byte count that fits the data read, the echo of the registers or coils written.
bool ReplyAnswersRequest(const std::vector<uint8_t>& request, const TModBusFrame& reply) {
  if (reply.Length < 2 || reply.Length > sizeof reply.Data + 2) return false;
  if (reply.SlaveAddress != request[0] || reply.Function != request[1]) return false;
  const std::vector<uint8_t> bytes(reply.FrameBytes(), reply.FrameBytes() + reply.Length);
  switch (request[1]) {
    case 1:
    case 3:
    case 4:
      return reply.Length >= 3 && reply.Data[0] == reply.Length - 3;
    case 5:
    case 6:
      return bytes == request;
    default:
      return reply.Length == 6 && std::equal(request.begin(), request.begin() + 6, bytes.begin());
  }
}
