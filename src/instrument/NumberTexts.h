// Numbers as texts, the same in the window, the files and the command line: UTF-8, without Qt
// and whatever the process's numeric locale.
#pragma once

#include <string>

// value rounded (half away from zero) to exactly `decimals` digits after the separator; beyond
// 15 digits before the separator, exponent notation with 15 significant digits.
std::string FixedText(double value, int decimals, const std::string& separator);
