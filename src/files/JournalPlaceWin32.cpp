// The journal's place, the user and the time on Windows: beside the window's settings in
// %APPDATA%\k7104-configurator.
#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "files/Journal.h"
#include "files/JournalPlace.h"
#include "files/Win32Text.h"

namespace {

std::string TimeText(const std::tm& parts) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

}  // namespace

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

void NowTexts(std::string& utc, std::string& local) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_s(&parts, &now);
  utc = TimeText(parts);
  localtime_s(&parts, &now);
  local = TimeText(parts);
}
