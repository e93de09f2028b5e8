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

constexpr int kMaxLinkHops = 40;   // as the kernel's own limit: more is taken for a loop
constexpr size_t kTempSuffix = 8;  // "." before the name and ".XXXXXX" after it

// A link is replaced where it points, not turned into a plain file; a link to a file that does not
// exist yet makes that file. The path of the file meant, or false with errno set (ELOOP for a
// loop).
bool FollowLinks(const std::string& path, std::string& target) {
  std::string at = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = at;
      return true;
    }
    char link[PATH_MAX];
    const ssize_t length = readlink(at.c_str(), link, sizeof link);
    if (length < 0) return false;
    if (static_cast<size_t>(length) >= sizeof link) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string to(link, static_cast<size_t>(length));
    at = to.front() == '/' ? to : FolderOf(at) + "/" + to;
  }
  errno = ELOOP;
  return false;
}

// The temporary file's name beside the target: the target's name, shortened where it would
// otherwise pass the file system's limit (never within a UTF-8 character).
std::string TemporaryPattern(const std::string& path) {
  const std::string folder = FolderOf(path);
  std::string name = NameOf(path);
  const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
  const size_t longest = limit > static_cast<long>(kTempSuffix)
                             ? static_cast<size_t>(limit) - kTempSuffix
                             : static_cast<size_t>(NAME_MAX) - kTempSuffix;
  if (name.size() > longest) {
    size_t cut = longest;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return folder + "/." + name + ".XXXXXX";
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
    if (n == 0) errno = ENOSPC;  // a write that takes nothing: the disk is full
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
  // A name that is empty or ends in a slash names no file to write.
  if (requested.empty()) return Refuse(ENOENT);
  if (requested.back() == '/') return Refuse(EISDIR);
  std::string path;
  if (!FollowLinks(requested, path)) return Refuse(errno);
  if (path.back() == '/') return Refuse(EISDIR);
  struct stat existing {};
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return Refuse(EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) return Refuse(EINVAL);

  std::string pattern = TemporaryPattern(path);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return Refuse(errno);
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
  if (failed_) error_ = errno;
  return !failed_;
}

bool TFileReplacement::Commit() {
  if (fd_ < 0 || failed_) return Refuse(fd_ < 0 ? EBADF : error_);
  bool ok = fsync(fd_) == 0;
  int error = errno;
  if (close(fd_) != 0 && ok) {
    ok = false;
    error = errno;
  }
  fd_ = -1;
  if (ok && rename(temp_.c_str(), path_.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) return Refuse(error);
  temp_.clear();
  SyncFolder(FolderOf(path_));
  return true;
}

// Gives up: the temporary file goes, the target stays, and errno says why.
bool TFileReplacement::Refuse(int error) {
  Discard();
  errno = error;
  return false;
}

void TFileReplacement::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}
