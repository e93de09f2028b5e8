#include "support/HexCodec.h"

#include <cstdio>
#include <sstream>

std::vector<uint8_t> Hex(const std::string& text) {
  std::istringstream in(text);
  std::vector<uint8_t> bytes;
  std::string byte;
  while (in >> byte) bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return bytes;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[4];
  for (size_t k = 0; k < bytes.size(); ++k) {
    std::snprintf(digits, sizeof digits, k ? " %02X" : "%02X", bytes[k]);
    text += digits;
  }
  return text;
}

std::vector<std::string> HexFrames(const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<std::string> texts;
  for (const auto& frame : frames) texts.push_back(HexText(frame));
  return texts;
}
