#include "files/SafeWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A link is replaced where it points, not turned into a plain file.
std::string ResolveLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// The mode a newly created file would get: the process's umask applied to 0666.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Umask:") {
      std::string octal;
      status >> octal;
      return static_cast<mode_t>(0666 & ~std::strtoul(octal.c_str(), nullptr, 8));
    }
  }
  return 0644;
}

bool WriteAll(int fd, const void* bytes, size_t count) {
  const auto* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t n = write(fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const void* bytes, size_t count) {
  TFileReplacement file;
  return file.Open(path) && file.Write(bytes, count) && file.Commit();
}

TFileReplacement::~TFileReplacement() {
  Discard();
}

bool TFileReplacement::Open(const std::string& requested) {
  Discard();
  if (requested.empty() || requested.back() == '/') return false;
  const std::string path = ResolveLink(requested);
  struct stat existing {};
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return false;

  std::string temp = FolderOf(path) + "/." + NameOf(path) + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return false;
  const mode_t mode = exists ? (existing.st_mode & 07777) : NewFileMode();
  // A file system without modes still takes the data, so a refused fchmod is no failure.
  (void)fchmod(fd, mode);
  path_ = path;
  temp_ = name.data();
  fd_ = fd;
  failed_ = false;
  return true;
}

bool TFileReplacement::Write(const void* bytes, size_t count) {
  if (fd_ < 0 || failed_) return false;
  failed_ = !WriteAll(fd_, bytes, count);
  return !failed_;
}

bool TFileReplacement::Commit() {
  if (fd_ < 0 || failed_) {
    Discard();
    return false;
  }
  bool ok = fsync(fd_) == 0;
  ok = close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = rename(temp_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    Discard();
    return false;
  }
  temp_.clear();
  SyncFolder(FolderOf(path_));
  return true;
}

void TFileReplacement::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}
