// What the pages' edits ask of the window: the device settings page's own writes (clock and
// address), the relay test list that writes at once, the reason a typed number was refused, and
// taking over a number still being typed before the commands that write or save the data image.
#include "shell/Mainunit.h"
#include "views/PageViews.h"

namespace {

constexpr uint8_t JobWriteRelayTest = 150;

}  // namespace

void TMainForm::WireEditCommands() {
  connect(pages_, &TPageViews::JobRequested, this, &TMainForm::PageJobRequested);
  connect(pages_, &TPageViews::RelayTestChanged, this, &TMainForm::WriteRelayTest);
  connect(pages_, &TPageViews::NumberRefused, this,
          [this](const QString& sentence) { Report(sentence, false); });
  pages_->BeforeRelayTest = [this] { WaitBeforeRelayTest(); };
}

// The clock and the address are taken as the click left them: a read still running (the device
// settings page, read all) may store the instrument's own before this job gets the engine.
void TMainForm::PageJobRequested(uint8_t jobCode) {
  const TDateTime clock = mip_->DeviceClock;
  const uint8_t address = mip_->InterfaceAddress;
  JobStart(jobCode, [this, clock, address] {
    mip_->DeviceClock = clock;
    mip_->InterfaceAddress = address;
  });
}

void TMainForm::WaitBeforeRelayTest() {
  if (!mip_->Bus.IsOpen() || !mip_->Busy) return;
  rereadSkip_ = true;
  WaitWhileBusy();
}

// Written at once to the address the data image holds; with the port closed only the image
// changes.
void TMainForm::WriteRelayTest() {
  if (mip_->Bus.IsOpen()) mip_->StartJob(JobWriteRelayTest);
}
