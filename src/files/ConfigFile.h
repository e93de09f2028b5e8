// The configuration file: a 23-byte header followed by the configuration block, 1738 bytes.
#pragma once

#include <cstddef>
#include <string>

struct TConfigBlock;
class TDataImage;

inline constexpr char ConfigFileHeaderText[] = "TPK Vostrelin Kx7104t1";
inline constexpr size_t ConfigFileHeaderSize = sizeof ConfigFileHeaderText;  // with its zero
inline constexpr size_t ConfigFileSize = 1738;

// Writes header and block; an existing file is replaced only once the whole new file is on the
// disk, so a failed save leaves it as it was.
bool SaveConfigFile(const std::string& path, const TConfigBlock& block);
// Takes the block only from a file of exactly 1738 bytes with the right header; otherwise, or
// when the file cannot be read, false with the block untouched.
bool LoadConfigFile(const std::string& path, TConfigBlock& block);

// The configuration block of the data image to a file, and back; the groups of a loaded block
// count as loaded.
bool SaveConfiguration(const TDataImage& image, const std::string& path);
bool LoadConfiguration(TDataImage& image, const std::string& path);
