// Frames as the tests write and compare them: two-digit hexadecimal bytes separated by spaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "01 03 00 00" -> the bytes.
std::vector<uint8_t> Hex(const std::string& text);
// The bytes -> "01 03 00 00"; empty for no bytes.
std::string HexText(const std::vector<uint8_t>& bytes);
std::vector<std::string> HexFrames(const std::vector<std::vector<uint8_t>>& frames);
