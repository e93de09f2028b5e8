// POSIX serial backend: non-blocking descriptor, exclusive by TIOCEXCL and flock, termios2 for
// every rate, poll() on the port and an eventfd that ClosePort and destruction signal.
#include "modbus/SerialPosix.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "modbus/Modbusunit.h"
#include "modbus/WakeEvent.h"

namespace {

uint32_t DataBitsFlag(uint8_t byteSize) {
  switch (byteSize) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

uint32_t ParityFlags(uint8_t parity) {
  switch (parity) {
    case 1:
      return PARENB | PARODD;
    case 2:
      return PARENB;
    default:
      return 0;
  }
}

constexpr unsigned kPtySlaveFirstMajor = 136;  // Unix98 pseudo-terminal slaves: majors 136..143
constexpr unsigned kPtySlaveLastMajor = 143;

// The program's own controlling terminal answers TIOCGSID; any other terminal but a master
// refuses it.
bool IsOwnTerminal(int fd) {
  pid_t session = 0;
  return ioctl(fd, TIOCGSID, &session) == 0;
}

// A serial line: a port the serial driver knows (a UART, a USB converter) or a pseudo-terminal,
// as the simulator and socat-style bridges are; a console or the user's own terminal is none.
bool IsSerialLine(int fd) {
  struct stat st {};
  if (!isatty(fd) || fstat(fd, &st) != 0 || IsOwnTerminal(fd)) return false;
  const unsigned deviceMajor = major(st.st_rdev);
  if (deviceMajor >= kPtySlaveFirstMajor && deviceMajor <= kPtySlaveLastMajor) return true;
  serial_struct serial{};
  return ioctl(fd, TIOCGSERIAL, &serial) == 0;
}

class TPosixSerialPort final : public TSerialPort {
 public:
  TPosixSerialPort() = default;
  ~TPosixSerialPort() override { Close(); }

  bool Open(const std::string& device) override {
    if (IsOpen()) return true;
    failure_ = TOpenFailure::None;
    error_ = 0;
    // A socket, a FIFO or a plain file is refused before an open that could wait or take it over.
    struct stat st {};
    if (stat(device.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) return NotSerial();
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed(errno);
    if (!IsSerialLine(fd)) {
      close(fd);
      return NotSerial();
    }
    // TIOCEXCL keeps other users out; flock also keeps out root, whom TIOCEXCL does not stop.
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      return Failed(error);
    }
    int modemLines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &modemLines);  // DTR and RTS held off; a pty refuses, which is harmless
    foundKept_ = ioctl(fd, TCGETS2, &found_) == 0;
    fd_.store(fd);
    return true;
  }

  // The line is left with the settings it had when it was opened.
  bool Close() override {
    const int fd = fd_.exchange(-1);
    if (fd < 0) return true;
    if (foundKept_) ioctl(fd, TCSETS2, &found_);
    ioctl(fd, TIOCNXCL);
    close(fd);  // Linux releases the descriptor even when close reports an error
    return true;
  }

  bool IsOpen() const override { return fd_.load() >= 0; }
  TOpenFailure LastOpenFailure() const override { return failure_; }
  int LastOpenError() const override { return error_; }

  bool Apply(const TLineSettings& settings) override {
    const int fd = fd_.load();
    struct termios2 tio {};
    if (fd < 0 || ioctl(fd, TCGETS2, &tio) != 0) return false;
    const TPosixLineConfig config = BuildPosixLineConfig(settings, tio.c_cflag);
    tio.c_iflag = config.iflag;
    tio.c_oflag = config.oflag;
    tio.c_cflag = config.cflag;
    tio.c_lflag = config.lflag;
    tio.c_ispeed = config.ispeed;
    tio.c_ospeed = config.ospeed;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio) == 0;
  }

  void Purge() override {
    const int fd = fd_.load();
    if (fd >= 0) ioctl(fd, TCFLSH, TCIOFLUSH);
  }

  size_t PendingInput() const override {
    int pending = 0;
    const int fd = fd_.load();
    if (fd < 0 || ioctl(fd, FIONREAD, &pending) != 0 || pending < 0) return 0;
    return static_cast<size_t>(pending);
  }

  TWaitResult WaitReadable(int timeoutMs) override { return Wait(POLLIN, timeoutMs); }
  TWaitResult WaitWritable(int timeoutMs) override { return Wait(POLLOUT, timeoutMs); }

  long ReadSome(uint8_t* into, size_t capacity) override {
    const ssize_t n = read(fd_.load(), into, capacity);
    if (n > 0) return n;
    if (n == 0) return -1;  // end of file on a terminal: the other side hung up
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  }

  long WriteSome(const uint8_t* bytes, size_t count) override {
    const ssize_t n = write(fd_.load(), bytes, count);
    if (n >= 0) return n;
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  }

  void Wake() override { wake_.Signal(); }

  void ClearWake() override { wake_.Clear(); }

 private:
  bool Failed(int error) {
    failure_ = OpenFailureOf(error);
    error_ = error;
    return false;
  }

  bool NotSerial() {
    failure_ = TOpenFailure::NotSerial;
    return false;
  }

  TWaitResult Wait(short events, int timeoutMs) {
    return wake_.WaitFor(fd_.load(), events, timeoutMs);
  }

  std::atomic<int> fd_{-1};
  TWakeEvent wake_;
  TOpenFailure failure_ = TOpenFailure::None;
  int error_ = 0;
  struct termios2 found_ {};
  bool foundKept_ = false;
};

}  // namespace

TOpenFailure OpenFailureOf(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return TOpenFailure::NoDevice;
    case EACCES:
    case EPERM:
    case EROFS:
      return TOpenFailure::NoPermission;
    case EBUSY:
    case EWOULDBLOCK:
      return TOpenFailure::InUse;
    case ENOTTY:
      return TOpenFailure::NotSerial;
    default:
      return TOpenFailure::Other;
  }
}

TPosixLineConfig BuildPosixLineConfig(const TLineSettings& settings, uint32_t currentCflag) {
  TPosixLineConfig config;
  config.iflag = settings.fParity && settings.Parity != 0 ? INPCK : 0;
  config.oflag = 0;
  config.lflag = 0;
  uint32_t cflag = currentCflag & ~(CBAUD | CBAUDEX | CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS |
                                    HUPCL | (CIBAUD));
  cflag |= BOTHER | CREAD | CLOCAL | DataBitsFlag(settings.ByteSize) | ParityFlags(settings.Parity);
  if (settings.StopBits >= 1) cflag |= CSTOPB;  // 1 is one and a half, 2 is two stop bits
  config.cflag = cflag;
  config.ispeed = settings.BaudRate;
  config.ospeed = settings.BaudRate;
  return config;
}

bool ReadPosixLineConfig(int fd, TPosixLineConfig& config) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  config.iflag = tio.c_iflag;
  config.oflag = tio.c_oflag;
  config.cflag = tio.c_cflag;
  config.lflag = tio.c_lflag;
  config.ispeed = tio.c_ispeed;
  config.ospeed = tio.c_ospeed;
  return true;
}

std::unique_ptr<TSerialPort> MakeSerialPort() {
  return std::make_unique<TPosixSerialPort>();
}
