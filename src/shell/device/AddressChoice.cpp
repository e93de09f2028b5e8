#include "shell/device/AddressChoice.h"

#include "instrument/Mipunit.h"
#include "shell/settings/WorkingState.h"
#include "shell/window/AddressBar.h"
#include "views/ChoiceLists.h"

TAddressChoice::TAddressChoice(TAddressBar& bar, TMIP& mip, TWorkingState& state)
    : bar_(bar), mip_(mip), state_(state) {}

uint8_t TAddressChoice::CurrentAddress() const {
  if (state_.ManualAddressMode) return bar_.Typed();
  const int tab = bar_.Chosen();
  if (tab < 0 || tab >= MaxFoundDevices) return 1;
  return mip_.FoundDevices[tab].Address;
}

void TAddressChoice::SetCurrentAddress(uint8_t address) {
  if (state_.ManualAddressMode) {
    bar_.SetTyped(address);
    return;
  }
  const int tab = bar_.Chosen();
  if (tab >= 0 && tab < MaxFoundDevices) mip_.FoundDevices[tab].Address = address;
}

void TAddressChoice::RefreshFoundDevices() {
  QStringList names;
  for (int i = 0; i < mip_.FoundCount; ++i) {
    const TFoundDevice& device = mip_.FoundDevices[i];
    names << ChoiceLists::ModelName(device.ModelCode) + "Адрес " + QString::number(device.Address);
  }
  bar_.ShowFound(names);
  state_.ManualAddressMode = names.isEmpty();
  ShowMode();
}

void TAddressChoice::ShowMode() {
  bar_.ShowMode(state_.ManualAddressMode);
}
