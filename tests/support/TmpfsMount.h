// A small tmpfs mounted for a test: a disk that fills up after a few kilobytes, or one that is
// read-only. Mounting needs root (CAP_SYS_ADMIN); a test that cannot mount is skipped with Why().
#pragma once

#include <string>

class TmpfsMount {
 public:
  // Mounts a tmpfs of sizeKb kilobytes on folder, which is made when missing.
  TmpfsMount(const std::string& folder, int sizeKb, bool readOnly = false);
  ~TmpfsMount();  // unmounts it, even while something still has a file open there
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  const std::string& Folder() const { return folder_; }
  // Takes up every free byte with one file; false when the disk did not fill.
  bool Fill() const;

 private:
  std::string folder_;
  std::string why_;
  bool mounted_ = false;
};
