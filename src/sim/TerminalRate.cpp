// The rate a client set on a terminal. termios2 lives in a header of its own that clashes with
// <termios.h>, hence a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace k7104sim {

uint32_t TerminalRate(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

}  // namespace k7104sim
