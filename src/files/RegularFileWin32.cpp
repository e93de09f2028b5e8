// Regular files on Windows: folders and devices (NUL, CON, COM1...) are refused; files are read
// in binary mode, so that no byte is translated.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "files/RegularFile.h"
#include "files/Win32Text.h"

TFileKind FileKindOf(const std::string& path) {
  struct _stat64 st {};
  if (path.empty() || _wstat64(WideFromUtf8(path).c_str(), &st) != 0) return TFileKind::Missing;
  return (st.st_mode & _S_IFMT) == _S_IFREG ? TFileKind::Regular : TFileKind::Other;
}

int OpenRegularForReading(const std::string& path) {
  if (FileKindOf(path) == TFileKind::Other) {
    errno = EINVAL;
    return -1;
  }
  const int fd = _wopen(WideFromUtf8(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  struct _stat64 st {};
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    _close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

void CloseRegularFile(int fd) {
  _close(fd);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}

std::FILE* CreateNewFile(const std::string& path) {
  const int fd =
      _wopen(WideFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
             _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}
