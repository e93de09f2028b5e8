#include "files/ConfigFile.h"
#include "instrument/Mipunit.h"

bool TMIP::SaveConfiguration(const std::string& path) const {
  return SaveConfigFile(path, Config);
}

bool TMIP::LoadConfiguration(const std::string& path) {
  return LoadConfigFile(path, Config);
}
