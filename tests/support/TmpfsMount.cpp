#include "TmpfsMount.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

TmpfsMount::TmpfsMount(const std::string& folder, int sizeKb, bool readOnly) : folder_(folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::string options = "size=" + std::to_string(sizeKb) + "k,mode=0777";
  if (mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
    why_ = "a tmpfs cannot be mounted here (needs root): " + std::string(std::strerror(errno));
    return;
  }
  mounted_ = true;
}

TmpfsMount::~TmpfsMount() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}

bool TmpfsMount::Fill() const {
  const std::string path = folder_ + "/filler";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::vector<char> block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  const bool full = errno == ENOSPC;
  // Bytes short of a whole block may still be free.
  while (write(fd, block.data(), 1) > 0) {
  }
  close(fd);
  return full;
}
