// The command line's platform services on Windows: the console in UTF-8, the arguments from the
// wide command line, the user's regional forms from GetLocaleInfoEx.
#include <windows.h>
// after windows.h, which it needs
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/JobRunner.h"
#include "cli/Platform.h"
#include "files/ArchiveText.h"
#include "files/Win32Text.h"

namespace cli {

namespace {

std::wstring LocaleText(LCTYPE what) {
  wchar_t buffer[128] = {};
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, buffer, 128);
  return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

// A letter of a Windows date or time pattern repeated `count` times, as a strftime conversion
// ("%#d" is the day without a leading zero); empty when the letter is no field.
std::string FieldConversion(wchar_t letter, size_t count) {
  switch (letter) {
    case L'd':
      return count == 1 ? "%#d" : count == 2 ? "%d" : count == 3 ? "%a" : "%A";
    case L'M':
      return count == 1 ? "%#m" : count == 2 ? "%m" : count == 3 ? "%b" : "%B";
    case L'y':
      return count <= 2 ? (count == 1 ? "%#y" : "%y") : "%Y";
    case L'H':
      return count == 1 ? "%#H" : "%H";
    case L'h':
      return count == 1 ? "%#I" : "%I";
    case L'm':
      return count == 1 ? "%#M" : "%M";
    case L's':
      return count == 1 ? "%#S" : "%S";
    case L't':
      return "%p";
    default:
      return {};
  }
}

// Appends the text quoted from pattern[at] on, where '' stands for a quote; a quote alone ('')
// outside a quoted text is one as well. Returns the index after the closing quote.
size_t QuotedText(const std::wstring& pattern, size_t at, std::wstring& literal) {
  if (at + 1 < pattern.size() && pattern[at + 1] == L'\'') {
    literal += L'\'';
    return at + 2;
  }
  size_t i = at + 1;
  while (i < pattern.size()) {
    if (pattern[i] != L'\'') {
      literal += pattern[i++];
    } else if (i + 1 < pattern.size() && pattern[i + 1] == L'\'') {
      literal += L'\'';
      i += 2;
    } else {
      return i + 1;
    }
  }
  return i;
}

}  // namespace

std::string StrftimeFormat(const std::wstring& pattern) {
  std::wstring literal;
  std::string format;
  auto flushLiteral = [&] {
    for (const char c : Utf8FromWide(literal)) {
      if (c == '%') format += '%';
      format += c;
    }
    literal.clear();
  };
  for (size_t i = 0; i < pattern.size();) {
    const wchar_t c = pattern[i];
    if (c == L'\'') {
      i = QuotedText(pattern, i, literal);
      continue;
    }
    size_t count = 1;
    while (i + count < pattern.size() && pattern[i + count] == c) ++count;
    const std::string field = FieldConversion(c, count);
    if (field.empty()) {
      literal.append(count, c);
    } else {
      flushLiteral();
      format += field;
    }
    i += count;
  }
  flushLiteral();
  return format;
}

void PrepareProcess(int& argc, char**& argv) {
  SetConsoleOutputCP(CP_UTF8);
  static std::vector<std::string> arguments;
  static std::vector<char*> pointers;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  for (auto& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  argc = count;
  argv = pointers.data();
}

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

std::string RegionalSeparator() {
  const std::string separator = Utf8FromWide(LocaleText(LOCALE_SDECIMAL));
  return separator.empty() ? "." : separator;
}

std::string RegionalDateTime(TDateTime value) {
  return DateTimeText(value, StrftimeFormat(LocaleText(LOCALE_SSHORTDATE)),
                      StrftimeFormat(LocaleText(LOCALE_STIMEFORMAT)));
}

bool RegionalDateTimeValue(const std::string& text, TDateTime& value) {
  return DateTimeOfText(text, StrftimeFormat(LocaleText(LOCALE_SSHORTDATE)),
                        StrftimeFormat(LocaleText(LOCALE_STIMEFORMAT)), value);
}

}  // namespace cli
