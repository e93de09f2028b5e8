// Replacing a file so that a failure never destroys what was there before.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a temporary file in the target's folder, flushes it to the disk and only
// then renames it over the target. False when any step fails; the target is then unchanged and
// the temporary file is gone.
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

  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool failed_ = false;
};
