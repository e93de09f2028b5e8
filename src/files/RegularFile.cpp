#include "files/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TFileKind FileKindOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return TFileKind::Missing;
  return S_ISREG(st.st_mode) ? TFileKind::Regular : TFileKind::Other;
}

int OpenRegularForReading(const std::string& path) {
  if (FileKindOf(path) == TFileKind::Other) {
    errno = EINVAL;
    return -1;
  }
  // The path may have been swapped for a FIFO since the look: the open must not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

void CloseRegularFile(int fd) {
  close(fd);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::FILE* CreateNewFile(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}
