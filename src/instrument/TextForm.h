// How numbers and date-times are written in the texts the program makes: the pages, the archive
// text, the configuration report and the live values CSV. The window and the command line fill it
// from the computer's regional settings, so that a file says a value as the page does.
#pragma once

#include <functional>
#include <string>

#include "instrument/DateTime.h"

// Both produce UTF-8; a file of another code page converts when it writes.
struct TTextForm {
  std::string DecimalSeparator = ".";
  // Empty for a text whose date-times have a form of their own (ISO 8601 in the CSV).
  std::function<std::string(TDateTime)> DateTimeText;
  // The way back from DateTimeText's text, for going on with a file written before; false for a
  // text it does not give.
  std::function<bool(const std::string&, TDateTime&)> DateTimeValue;
};
