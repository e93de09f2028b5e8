// The journal of writes as CSV, the one form both the command line's `journal --csv` and the
// window's export give: UTF-8, comma-separated, one row per changed value with its record's
// columns repeated, the UTC time beside the local one.
#pragma once

#include <string>

#include "files/Journal.h"

// The header line, with its line end.
std::string JournalCsvHeader();
// The record's rows, each with its line end; a record without a changed value has a row of its
// own with the last three columns empty.
std::string JournalCsvRows(const TJournalRecord& record);
