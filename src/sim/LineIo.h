// What a simulated line needs of the system, on POSIX or on Winsock: a wake-up that ends the
// line thread's waits, one wait on several descriptors at once, and reads and writes that never
// block.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace k7104sim {

// A pseudo-terminal's master or a socket; a Winsock SOCKET fits it as well.
using Descriptor = std::intptr_t;
constexpr Descriptor kNoDescriptor = -1;

// One descriptor to wait for, and what the wait found.
struct Watch {
  Descriptor handle = kNoDescriptor;
  bool forWriting = false;  // room to write instead of bytes to read
  bool ready = false;
  bool hungUp = false;  // closed by the other side, failed or not valid
};

// Ends the line thread's waits from any thread; once signalled it stays signalled.
class WakeUp {
 public:
  WakeUp() = default;
  ~WakeUp() { Close(); }
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  bool Open();
  void Close();
  void Signal() const;
  Descriptor Get() const { return handle_; }

 private:
  Descriptor handle_ = kNoDescriptor;
#ifdef _WIN32
  Descriptor sender_ = kNoDescriptor;
#endif
};

// Waits until a watched descriptor is ready or hung up, the wake-up is signalled or the timeout
// passes (none: no limit). False when the wait itself failed.
bool WaitFor(std::vector<Watch>& watched, const WakeUp& wake,
             std::optional<std::chrono::nanoseconds> timeout);

// Bytes read or written (> 0); 0 when none can be now; -1 when the descriptor failed or, for a
// read, the other side closed it.
long ReadSome(Descriptor handle, uint8_t* bytes, size_t count);
long WriteSome(Descriptor handle, const uint8_t* bytes, size_t count, bool socket);

// Reads what the other side sent but was not read, so that the close is no reset that could take
// the last bytes sent to it away; then shuts the connection down and closes it.
void CloseSocket(Descriptor socket);

// The system's sockets made ready for use; false when they cannot be.
bool SocketsReady();

// Timed waits of the calling thread end as close to their time as the system allows: wake-ups to
// the microsecond keep fast rates on schedule.
void SharpenTimers();

}  // namespace k7104sim
