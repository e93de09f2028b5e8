#include "support/TestNames.h"

#include <cctype>

std::string CaseName(const std::string& text) {
  std::string name;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      name += c;
    } else if (c == '-') {
      name += "Minus";
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "Empty" : name;
}
