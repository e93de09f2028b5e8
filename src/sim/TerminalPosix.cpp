// Pseudo-terminals and links for the simulated line, on POSIX.
#include "sim/Terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace k7104sim {

bool PseudoTerminal::Open() {
  Close();
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return false;
  char name[PATH_MAX] = {};
  termios settings{};
  const bool ready = ptsname_r(master, name, sizeof name) == 0 && tcgetattr(slave, &settings) == 0;
  if (ready) {
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
  }
  if (!ready || fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
    close(master);
    close(slave);
    return false;
  }
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  master_ = master;
  slave_ = slave;
  slavePath_ = name;
  return true;
}

// The slave goes first: closing the master then hangs up every client that still has it open.
void PseudoTerminal::Close() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

void PseudoTerminal::Swap(PseudoTerminal& other) {
  std::swap(master_, other.master_);
  std::swap(slave_, other.slave_);
  std::swap(slavePath_, other.slavePath_);
}

int PseudoTerminal::PendingForClient() const {
  int pending = 0;
  if (slave_ < 0 || ioctl(slave_, FIONREAD, &pending) != 0) return 0;
  return pending;
}

uint32_t PseudoTerminal::ClientRate() const {
  return slave_ < 0 ? 0 : TerminalRate(slave_);
}

bool PlaceLink(const std::string& link, const std::string& target, std::string& error) {
  struct stat existing {};
  if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    error = link + " exists and is not a symbolic link";
    return false;
  }
  // A fresh link renamed over the old one, so a client never finds the name missing.
  const std::string fresh = link + ".new" + std::to_string(getpid());
  unlink(fresh.c_str());
  if (symlink(target.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), link.c_str()) != 0) {
    error = link + ": " + std::strerror(errno);
    unlink(fresh.c_str());
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link) {
  struct stat existing {};
  if (!link.empty() && lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
    unlink(link.c_str());
  }
}

}  // namespace k7104sim
