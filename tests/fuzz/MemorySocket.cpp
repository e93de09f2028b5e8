#include "MemorySocket.h"

#include <algorithm>
#include <cstring>

bool TMemorySocket::Open(const std::string&) {
  open_ = true;
  return true;
}

bool TMemorySocket::Close() {
  open_ = false;
  return true;
}

TWaitResult TMemorySocket::WaitReadable(int) {
  if (woken_) return TWaitResult::Interrupted;
  return at_ < fromServer_.size() ? TWaitResult::Ready : TWaitResult::HangUp;
}

TWaitResult TMemorySocket::WaitWritable(int) {
  return woken_ ? TWaitResult::Interrupted : TWaitResult::Ready;
}

long TMemorySocket::ReadSome(uint8_t* into, size_t capacity) {
  if (!open_ || at_ >= fromServer_.size()) return -1;
  const size_t n = std::min({capacity, piece_, fromServer_.size() - at_});
  std::memcpy(into, fromServer_.data() + at_, n);
  at_ += n;
  return static_cast<long>(n);
}

long TMemorySocket::WriteSome(const uint8_t* bytes, size_t count) {
  if (!open_) return -1;
  written_.insert(written_.end(), bytes, bytes + count);
  return static_cast<long>(count);
}
