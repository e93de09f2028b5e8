// Replacing a file on Windows: the bytes go to a new file beside the target, are flushed to the
// disk, and ReplaceFileW (which keeps the target's attributes and security) or MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH puts it in the target's place.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "files/SafeWrite.h"
#include "files/Win32Text.h"

namespace {

size_t LastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

std::string FolderOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool WriteAll(int fd, const void* bytes, size_t count) {
  const auto* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const unsigned chunk = count > (1u << 30) ? (1u << 30) : static_cast<unsigned>(count);
    const int n = _write(fd, p, chunk);
    if (n <= 0) return false;
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool MoveOver(const std::wstring& temp, const std::wstring& target, bool targetExists) {
  if (targetExists && ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  return MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const void* bytes, size_t count) {
  TFileReplacement file;
  return file.Open(path) && file.Write(bytes, count) && file.Commit();
}

TFileReplacement::~TFileReplacement() {
  Discard();
}

bool TFileReplacement::Open(const std::string& path) {
  Discard();
  if (path.empty() || IsSeparator(path.back())) return false;
  struct _stat64 existing {};
  const bool exists = _wstat64(WideFromUtf8(path).c_str(), &existing) == 0;
  if (exists && (existing.st_mode & _S_IFMT) != _S_IFREG) return false;

  const std::string stem = FolderOf(path) + "." + NameOf(path) + ".";
  const unsigned long process = GetCurrentProcessId();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = stem + std::to_string(process) + "-" +
                             std::to_string(GetTickCount64() % 100000) + "-" +
                             std::to_string(attempt);
    const int fd =
        _wopen(WideFromUtf8(temp).c_str(),
               _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      path_ = path;
      temp_ = temp;
      fd_ = fd;
      failed_ = false;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
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
  bool ok = _commit(fd_) == 0;
  ok = _close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) {
    struct _stat64 existing {};
    const std::wstring target = WideFromUtf8(path_);
    ok = MoveOver(WideFromUtf8(temp_), target, _wstat64(target.c_str(), &existing) == 0);
  }
  if (!ok) {
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

void TFileReplacement::Discard() {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
  if (!temp_.empty()) _wunlink(WideFromUtf8(temp_).c_str());
  temp_.clear();
}
