// Which instrument the next job goes to: the address typed in manual address mode, else the
// found instrument chosen by its tab.
#pragma once

#include <cstdint>

class TAddressBar;
class TMIP;
struct TWorkingState;

class TAddressChoice {
 public:
  TAddressChoice(TAddressBar& bar, TMIP& mip, TWorkingState& state);

  // The address box in manual address mode, else the chosen found instrument, 1 when none is
  // chosen.
  uint8_t CurrentAddress() const;
  void SetCurrentAddress(uint8_t address);
  // One tab per instrument the last search found; manual address mode when there is none.
  void RefreshFoundDevices();
  // The tabs, the box and the manual address button and item follow the working state's mode.
  void ShowMode();

 private:
  TAddressBar& bar_;
  TMIP& mip_;
  TWorkingState& state_;
};
