// Windows-1251 through iconv.
#include <iconv.h>

#include <cerrno>

#include "files/ArchiveText.h"

std::string ToWindows1251(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string out(utf8.size() + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  size_t written = 0;
  while (inLeft > 0) {
    char* outPtr = out.data() + written;
    size_t outLeft = out.size() - written;
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    written = static_cast<size_t>(outPtr - out.data());
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      // Skip the character the code page lacks (or a broken sequence) and mark it.
      if (written == out.size()) out.resize(out.size() * 2);
      out[written++] = '?';
      do {
        ++in;
        --inLeft;
      } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
  }
  iconv_close(cd);
  out.resize(written);
  return out;
}

std::string FromWindows1251(const std::string& text) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  // Every byte becomes at most three bytes of UTF-8.
  std::string out(3 * text.size() + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  while (inLeft > 0 && iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
    // The one byte the code page leaves undefined.
    *outPtr++ = '?';
    --outLeft;
    ++in;
    --inLeft;
  }
  iconv_close(cd);
  out.resize(static_cast<size_t>(outPtr - out.data()));
  return out;
}
