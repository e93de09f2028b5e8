#include "instrument/NumberTexts.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr int SignificantDigits = 15;
constexpr double FixedLimit = 1e15;  // from here on more than 15 digits before the separator

// Adds one unit in the last place of a string of decimal digits (and at most one point).
void IncrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '.') continue;
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

// Whether the value lies exactly halfway between two numbers of `decimals` places: with the
// value m * 2^e (m an integer), value * 10^d * 2 = m * 5^d * 2^(e + 1 + d) must be an odd integer,
// that is m must hold exactly -(e + 1 + d) factors of two.
bool IsTie(double magnitude, int decimals) {
  if (magnitude == 0) return false;
  int exponent = 0;
  const double fraction = std::frexp(magnitude, &exponent);
  const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  const int twos = 53 - exponent - 1 - decimals;  // -(e + 1 + d) with e = exponent - 53
  return twos >= 0 && twos < 64 && std::countr_zero(mantissa) == twos;
}

// The exact value rounded half away from zero at `decimals` places. to_chars rounds the exact
// value correctly and writes a point whatever the process's numeric locale; only at an exact tie
// may it round to even instead, so a tie is taken up from its exact expansion.
std::string RoundedMagnitude(double magnitude, int decimals) {
  char buffer[384];
  const bool tie = IsTie(magnitude, decimals);
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                 std::chars_format::fixed, decimals + (tie ? 1 : 0))
                       .ptr;
  std::string text(buffer, end);
  if (!tie) return text;
  text.pop_back();                     // the 5 of the tie
  if (decimals == 0) text.pop_back();  // and the point before it
  IncrementDigits(text);
  return text;
}

std::string ExponentText(double value, int decimals, const std::string& separator) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                 std::chars_format::scientific, SignificantDigits - 1)
                       .ptr;
  std::string text(buffer, end);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const size_t e = text.find('E');
  std::string mantissa = text.substr(0, e);
  const char sign = text[e + 1];
  std::string exponent = text.substr(e + 2);
  exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
  const size_t width = static_cast<size_t>(std::max(decimals, 1));
  if (exponent.size() < width) exponent.insert(0, width - exponent.size(), '0');
  const size_t point = mantissa.find('.');
  if (point != std::string::npos) mantissa.replace(point, 1, separator);
  return mantissa + "E" + sign + exponent;
}

}  // namespace

std::string FixedText(double value, int decimals, const std::string& separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  decimals = std::clamp(decimals, 0, 18);
  if (std::fabs(value) >= FixedLimit) return ExponentText(value, decimals, separator);
  const std::string digits = RoundedMagnitude(std::fabs(value), decimals);
  bool zero = true;
  for (const char c : digits) zero = zero && (c == '0' || c == '.');
  std::string text;
  text.reserve(digits.size() + separator.size() + 1);
  if (std::signbit(value) && !zero) text += '-';
  for (const char c : digits) {
    if (c == '.')
      text += separator;
    else
      text += c;
  }
  return text;
}
