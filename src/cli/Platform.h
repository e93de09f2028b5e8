// What the command line needs of the platform, apart from the serial port and the signals.
#pragma once

#include <string>

namespace cli {

// Takes the user's regional settings and, on Windows, a UTF-8 console and the arguments in UTF-8.
void PrepareProcess(int& argc, char**& argv);
// Progress is drawn on standard error only when it is a terminal.
bool StderrIsTerminal();

#ifdef _WIN32
// A Windows date or time pattern ("dd.MM.yyyy", "H:mm:ss", "h:mm:ss tt") as a strftime format.
std::string StrftimeFormat(const std::wstring& pattern);
#endif

}  // namespace cli
