// How a flag array of the data image shows in a two-button line list, and what a pushed button
// stores. Button 1 stands for a non-zero flag; in a mirrored list (relay control, whose button 1
// is "Прибор") it stands for 0.
#pragma once

#include <cstdint>

#include "instrument/DataImage.h"
#include "views/AskListBox.h"

namespace FlagButtons {

using TState = TglAskListBox::TState;

inline TState LineState(uint8_t flag, bool mirrored) {
  const bool on = flag != 0;
  return on != mirrored ? TState::Button1 : TState::Button2;
}

// The for-all line shows the common value of all 32 flags, and nothing when they differ or the
// common value is neither 0 nor 1.
inline TState ForAllState(const uint8_t* flags, bool mirrored) {
  for (int i = 1; i < MaxChannels; ++i)
    if (flags[i] != flags[0]) return TState::None;
  if (flags[0] > 1) return TState::None;
  return LineState(flags[0], mirrored);
}

// The value a pushed button stores: button 1 stores 1, button 2 stores 0; mirrored the other way.
inline uint8_t Value(TState pushed, bool mirrored) {
  const bool first = pushed == TState::Button1;
  return first != mirrored ? 1 : 0;
}

}  // namespace FlagButtons
