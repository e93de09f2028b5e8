// A configuration's values element by element, in the words of the pages that show them: what
// the comparison with a file and the configuration report list. Numbers take the decimal
// separator handed in, so that the window and the command line agree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instrument/ConfigBlock.h"
#include "instrument/Groups.h"

// One element of a group: a channel, a relay, a piece of a channel's logic or one setting.
struct TElementValue {
  std::string Element;  // "Канал 3", "Реле 5", "Канал 3, Фильтр реле", "Пароль"
  std::string Text;     // as its page shows it
  std::string Exact;    // what tells two values apart where the page's text may not
  std::string Precise;  // the value in full, for numbers whose page text hides a difference
  // No meaning the instrument knows: a code beyond its choice list, a number that is none.
  bool Unknown = false;
};

// A value of a configuration that the instrument knows no meaning of, and where it stands.
struct TUnknownValue {
  const TGroup* Group;
  std::string Element;  // as in TElementValue
  std::string Text;     // the code itself, or "NAN", "INF", "-INF"
};

// The groups a configuration file holds that are the instrument's settings, in table order:
// every parameter group but those of live pages (the relay test is a state, not a setting).
std::vector<const TGroup*> ConfigurationGroups();

// The elements of the group within the instrument's counts, in the page's order.
std::vector<TElementValue> GroupValues(const TGroup& group, const TConfigBlock& block,
                                       uint16_t channels, uint16_t relays,
                                       const std::string& separator);

// The configuration's codes that no choice list holds and its floats that are NaN or infinite,
// group by group and element by element within the counts: what is asked about before a
// configuration from a file is written.
std::vector<TUnknownValue> UnknownValues(const TConfigBlock& block, uint16_t channels,
                                         uint16_t relays, const std::string& separator);
