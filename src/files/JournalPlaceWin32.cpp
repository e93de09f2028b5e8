// The journal's place, the user and the time on Windows: beside the window's settings in
// %APPDATA%\k7104-configurator.
#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "files/Journal.h"
#include "files/JournalPlace.h"
#include "files/Win32Text.h"

std::string DefaultJournalPath() {
  const wchar_t* appData = _wgetenv(L"APPDATA");
  if (appData == nullptr || *appData == L'\0') return "";
  return Utf8FromWide(appData) + "\\k7104-configurator\\journal.sqlite";
}

std::string LoginName() {
  wchar_t name[256];
  DWORD size = 256;
  if (!GetUserNameW(name, &size)) return "";
  return Utf8FromWide(name);
}

void NowParts(std::tm& utc, std::tm& local) {
  const std::time_t now = std::time(nullptr);
  gmtime_s(&utc, &now);
  localtime_s(&local, &now);
}
