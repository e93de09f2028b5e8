#include "files/ConfigFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/RegularFile.h"
#include "files/SafeWrite.h"
#include "instrument/DataImage.h"

static_assert(ConfigFileHeaderSize == 23);
static_assert(ConfigFileHeaderSize + ConfigBlockSize == ConfigFileSize);

namespace {

bool ReadExactly(int fd, uint8_t* into, size_t count) {
  while (count > 0) {
    const ssize_t n = read(fd, into, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    into += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, uint8_t (&bytes)[ConfigFileSize]) {
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_size == static_cast<off_t>(ConfigFileSize) &&
            ReadExactly(fd, bytes, ConfigFileSize);
  // The file must not have grown between the size check and the read.
  uint8_t extra = 0;
  if (ok) ok = read(fd, &extra, 1) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool SaveConfigFile(const std::string& path, const TConfigBlock& block) {
  uint8_t bytes[ConfigFileSize];
  std::memcpy(bytes, ConfigFileHeaderText, ConfigFileHeaderSize);
  std::memcpy(bytes + ConfigFileHeaderSize, &block, ConfigBlockSize);
  return WriteFileReplacing(path, bytes, ConfigFileSize);
}

bool LoadConfigFile(const std::string& path, TConfigBlock& block) {
  uint8_t bytes[ConfigFileSize];
  if (!ReadWholeFile(path, bytes)) return false;
  if (std::memcmp(bytes, ConfigFileHeaderText, ConfigFileHeaderSize) != 0) return false;
  std::memcpy(&block, bytes + ConfigFileHeaderSize, ConfigBlockSize);
  return true;
}

bool SaveConfiguration(const TDataImage& image, const std::string& path) {
  return SaveConfigFile(path, image.Config);
}

bool LoadConfiguration(TDataImage& image, const std::string& path) {
  if (!LoadConfigFile(path, image.Config)) return false;
  image.SetGroupSources(TGroupSource::Loaded);
  return true;
}
