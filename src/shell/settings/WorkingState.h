// What the window's commands keep between them: whether the address is typed or a found
// instrument is chosen, the address range of the search and the record range of the archive read
// last asked for, the pause between polls, whether the search is a fast one and whether the last
// search was. Owned by the window, read and written by the features; the ranges, the poll interval
// and the fast search are kept in the settings file.
#pragma once

#include <cstdint>

class TIniFile;

struct TWorkingState {
  bool ManualAddressMode = true;
  uint8_t AddressMin = 1;
  uint8_t AddressMax = 255;
  uint16_t MinArch = 1;
  uint16_t MaxArch = 100;
  // Pause between the polls of a live page in ms; 0 polls continuously.
  int PollInterval = 0;
  bool FastSearch = false;      // the search probes with the fast timeout
  bool LastSearchFast = false;  // the last search started was a fast one
};
