#include "files/ConfigFile.h"
#include "instrument/Mipunit.h"

bool TMIP::SaveConfiguration(const std::string& path) const {
  return SaveConfigFile(path, Config);
}

bool TMIP::LoadConfiguration(const std::string& path) {
  if (!LoadConfigFile(path, Config)) return false;
  SetGroupSources(TGroupSource::Loaded);
  return true;
}
