// The configuration of an instrument against a configuration file: group by group and element by
// element over the instrument's channels and relays, only the values that differ, each in the
// words of its page, and how many differ in each group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "instrument/ConfigBlock.h"

class TDataImage;

struct TDifference {
  uint8_t Group = 0;      // the code of the group's row
  std::string GroupName;  // as the messages name it
  std::string Element;
  std::string InstrumentValue;
  std::string FileValue;
};

struct TGroupComparison {
  uint8_t Group = 0;
  std::string GroupName;
  bool Compared = true;  // false: the instrument's values of the group are not known
  size_t Differences = 0;
};

struct TComparison {
  std::vector<TDifference> Differences;  // in group order, then in the page's order
  std::vector<TGroupComparison> Groups;  // every group of the configuration, in table order
  uint16_t Channels = 0;
  uint16_t Relays = 0;

  bool Equal() const { return Differences.empty(); }
  // Some groups could not be compared: equal differences then prove nothing about them.
  bool Complete() const;
  const TGroupComparison* GroupOf(uint8_t group) const;
};

// Compares the two blocks over the first channels and relays; known(group) says whether the
// instrument's values of a group are known (all are when it is not given).
TComparison CompareConfigurations(const TConfigBlock& instrument, const TConfigBlock& file,
                                  uint16_t channels, uint16_t relays, const std::string& separator,
                                  const std::function<bool(uint8_t group)>& known = {});

// The instrument's data image against a file's block: the groups of the image that were read
// from the instrument are compared, the others are listed as not compared.
TComparison CompareWithImage(const TDataImage& image, const TConfigBlock& file,
                             const std::string& separator);

// One difference as a line of text: group, element, instrument value and file value, separated
// by TABs; a TAB or line end inside a text becomes a blank.
std::string DifferenceLine(const TDifference& difference);

// Puts the file's values of one group into the data image as the user's edits, so that the
// group's write sends them and nothing else; false for a code that is no configuration group.
bool TakeGroupFromFile(TDataImage& image, const TConfigBlock& file, uint8_t group);
