#include "cli/WriteJournal.h"

#include <cstdio>

#include "cli/JobRunner.h"

namespace cli {

WriteJournal::WriteJournal(const TModBus& bus)
    : journal_(DefaultJournalPath()),
      recorder_(journal_, bus, "k7104-cli", K7104_VERSION_TEXT, RegionalSeparator()) {
  recorder_.OnFailure = [this](TJournalError error, const std::string& detail) {
    std::fprintf(stderr, "k7104-cli: %s\n",
                 JournalErrorText(error, journal_.Path(), detail).c_str());
  };
}

}  // namespace cli
