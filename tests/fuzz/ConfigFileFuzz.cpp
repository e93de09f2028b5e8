// Configuration files of any content: a load takes a block only from a file of the right size
// and header, leaves the block untouched otherwise, and a block that was taken is saved back to
// the identical bytes.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "files/ConfigFile.h"
#include "instrument/Mipunit.h"

namespace {

// In memory where the system has it: saving flushes to the disk, which a disk makes slow.
std::string ScratchPath(const char* name) {
  const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return folder + "/k7104-fuzz-" + std::to_string(getpid()) + "-" + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = ScratchPath("in.prb"), out = ScratchPath("out.prb");
  {
    std::ofstream file(in, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TConfigBlock block;
  std::memset(&block, 0x5A, sizeof block);
  TConfigBlock untouched;
  std::memcpy(&untouched, &block, sizeof block);
  const bool loaded = LoadConfigFile(in, block);
  const bool valid =
      size == ConfigFileSize && std::memcmp(data, ConfigFileHeaderText, ConfigFileHeaderSize) == 0;
  if (loaded != valid) std::abort();
  if (!loaded) {
    if (std::memcmp(&block, &untouched, sizeof block) != 0) std::abort();
    return 0;
  }
  if (!SaveConfigFile(out, block)) std::abort();
  std::ifstream saved(out, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()};
  if (bytes.size() != size || std::memcmp(bytes.data(), data, size) != 0) std::abort();
  return 0;
}
