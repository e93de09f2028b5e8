// Windows has no pseudo-terminal: a line there is reached over TCP only, and a terminal never
// opens.
#include "sim/Terminal.h"

#include <utility>

namespace k7104sim {

bool PseudoTerminal::Open() {
  return false;
}

void PseudoTerminal::Close() {}

void PseudoTerminal::Swap(PseudoTerminal& other) {
  std::swap(slavePath_, other.slavePath_);
}

int PseudoTerminal::PendingForClient() const {
  return 0;
}

uint32_t PseudoTerminal::ClientRate() const {
  return 0;
}

bool PlaceLink(const std::string& link, const std::string&, std::string& error) {
  error = link + ": no pseudo-terminal to link to on Windows";
  return false;
}

void RemoveLink(const std::string&) {}

}  // namespace k7104sim
