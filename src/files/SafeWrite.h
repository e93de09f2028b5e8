// Replacing a file so that a failure never destroys what was there before.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a temporary file in the target's folder, flushes it to the disk and only
// then renames it over the target. False when any step fails; the target is then unchanged, the
// temporary file is gone and errno says why (ENOENT for an empty name or a missing folder, EISDIR
// for a folder or a name ending in a slash, ELOOP for links in a loop, EINVAL for something else
// than a regular file, ENOSPC, EROFS, ...). A symbolic link is followed: the file it names is
// replaced, or made when it does not exist yet, and the link stays.
bool WriteFileReplacing(const std::string& path, const void* bytes, size_t count);

// The same replacement for a file written in pieces: the pieces go to the temporary file, and
// the target is replaced only by Commit. Destroyed without a successful Commit, it removes the
// temporary file and leaves the target as it was.
class TFileReplacement {
 public:
  TFileReplacement() = default;
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  bool Open(const std::string& path);
  bool Write(const void* bytes, size_t count);
  bool Commit();

 private:
  void Discard();
  bool Refuse(int error);

  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool failed_ = false;
  int error_ = 0;  // of the write that failed
};
