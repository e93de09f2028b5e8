// Windows-1251 through the system's code page tables.
#include "files/ArchiveText.h"
#include "files/Win32Text.h"

// A broken UTF-8 sequence becomes U+FFFD on the way in; it and every character the code page
// lacks become '?', never a look-alike.
std::string ToWindows1251(const std::string& utf8) {
  const std::wstring wide = WideFromUtf8(utf8);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0,
                                       "?", nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, wide.data(), length, out.data(), size, "?",
                      nullptr);
  return out;
}

std::string FromWindows1251(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(1251, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(1251, 0, text.data(), length, wide.data(), size);
  return Utf8FromWide(wide);
}
