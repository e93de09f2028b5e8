// Names for the cases of parameterised tests, so that every case has a readable name that stays
// the same from build to build (CTest lists the cases by these names).
#pragma once

#include <string>

// A case name from free text: letters and digits stay, a minus sign becomes "Minus", every other
// run of characters one "_"; "Empty" for no text.
std::string CaseName(const std::string& text);
