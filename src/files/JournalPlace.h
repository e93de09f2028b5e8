// What the journal needs of the platform besides DefaultJournalPath and LoginName (Journal.h):
// the time of a record. One file per platform: JournalPlacePosix.cpp, JournalPlaceWin32.cpp.
#pragma once

#include <ctime>

// Now, broken down in UTC and in the computer's local time.
void NowParts(std::tm& utc, std::tm& local);
