// What the pages' edits ask of the window: the device settings page's own writes (clock and
// address), the relay test list that writes at once, and the reason a typed number was refused.
#include "instrument/Groups.h"
#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "views/PageViews.h"

namespace {

constexpr uint8_t JobWriteRelayTest = GroupByCode(GroupRelayTest)->WriteCode;

}  // namespace

void TDeviceController::WirePages() {
  connect(&pages_, &TPageViews::JobRequested, this, &TDeviceController::PageJobRequested);
  connect(&pages_, &TPageViews::RelayTestChanged, this, &TDeviceController::WriteRelayTest);
  connect(&pages_, &TPageViews::NumberRefused, this,
          [this](const QString& sentence) { form_.Report(sentence, false); });
  pages_.BeforeRelayTest = [this] { WaitBeforeRelayTest(); };
  for (TglPageControl* control :
       {pages_.glPageControl1, pages_.glPageControl2, pages_.glPageControl3, pages_.glPageControl4,
        pages_.glPageControl5})
    connect(control, &TglPageControl::Changed, this, &TDeviceController::PageChange);
}

// The clock and the address are taken as the click left them: a read still running (the device
// settings page, read all) may store the instrument's own before this job gets the engine.
void TDeviceController::PageJobRequested(uint8_t jobCode) {
  const TDateTime clock = mip_.DeviceClock;
  const uint8_t address = mip_.InterfaceAddress;
  JobStart(jobCode, [this, clock, address] {
    mip_.DeviceClock = clock;
    mip_.InterfaceAddress = address;
  });
}

void TDeviceController::WaitBeforeRelayTest() {
  if (!mip_.Bus.IsOpen() || !mip_.Busy) return;
  rereadSkip_ = true;
  WaitWhileBusy();
}

// Written at once to the address the data image holds; with the port closed only the image
// changes.
void TDeviceController::WriteRelayTest() {
  if (mip_.Bus.IsOpen()) mip_.StartJob(JobWriteRelayTest);
}
