// What the journal needs of the platform besides DefaultJournalPath and LoginName (Journal.h):
// the time of a record. One file per platform: JournalPlacePosix.cpp, JournalPlaceWin32.cpp.
#pragma once

#include <string>

// Now as "YYYY-MM-DD HH:MM:SS" in UTC and in the computer's local time.
void NowTexts(std::string& utc, std::string& local);
