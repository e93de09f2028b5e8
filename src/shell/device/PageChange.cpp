#include "shell/device/PageChange.h"

#include "instrument/Groups.h"
#include "instrument/Mipunit.h"
#include "shell/device/JobControl.h"
#include "shell/window/Dialogs.h"
#include "shell/window/UnsavedEdits.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteQuestions.h"
#include "views/PageViews.h"

namespace {

constexpr uint8_t JobWriteRelayTest = GroupByCode(GroupRelayTest)->WriteCode;

}  // namespace

TPageChange::TPageChange(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobControl& jobs,
                         TUnsavedEdits& unsaved, QObject* parent)
    : QObject(parent), seam_(seam), mip_(mip), pages_(pages), jobs_(jobs), unsaved_(unsaved) {}

void TPageChange::Wire() {
  connect(&pages_, &TPageViews::JobRequested, this, &TPageChange::PageJobRequested);
  connect(&pages_, &TPageViews::RelayTestChanged, this, &TPageChange::WriteRelayTest);
  connect(&pages_, &TPageViews::NumberRefused, this,
          [this](const QString& sentence) { seam_.Report(sentence, false); });
  pages_.BeforeRelayTest = [this] { WaitBeforeRelayTest(); };
  for (TglPageControl* control :
       {pages_.glPageControl1, pages_.glPageControl2, pages_.glPageControl3, pages_.glPageControl4,
        pages_.glPageControl5})
    connect(control, &TglPageControl::Changed, this, &TPageChange::PageChanged);
}

void TPageChange::PageChanged() {
  // A number still being typed on the page left counts as an edit of that page.
  pages_.CommitEdits();
  const uint8_t left = rememberedPageJobCode_;
  unsaved_.Note(left, pages_.Modified);
  // The group of the page left is written when it has a write: the parameter pages and the
  // device settings page.
  const TGroup* group = GroupByCode(left);
  if (pages_.Modified && mip_.Bus.IsOpen() && group && group->WriteCode != 0) {
    // Taken now: another page change while the write waits for the engine has nothing to offer.
    pages_.Modified = false;
    const QString target = WriteTargetText(mip_, jobs_.CurrentAddress());
    if (seam_.Dialogs().Ask(nullptr, "Запись в прибор", "Записать изменения в прибор?", target) &&
        MayWriteUnknownValues(seam_, nullptr, mip_.Config, mip_.ChannelCount, mip_.RelayCount,
                              GroupsFromFile(mip_, group->WriteCode), target))
      jobs_.JobStart(group->WriteCode);
  }
  jobs_.RenderCurrentPage();
  jobs_.AutomaticReread();
  pages_.Modified = false;
  rememberedPageJobCode_ = pages_.PageJobCode();
}

// The clock and the address are taken as the click left them: a read still running (the device
// settings page, read all) may store the instrument's own before this job gets the engine.
void TPageChange::PageJobRequested(uint8_t jobCode) {
  const TDateTime clock = mip_.DeviceClock;
  const uint8_t address = mip_.InterfaceAddress;
  jobs_.JobStart(jobCode, [this, clock, address] {
    mip_.DeviceClock = clock;
    mip_.InterfaceAddress = address;
  });
}

void TPageChange::WaitBeforeRelayTest() {
  if (!mip_.Bus.IsOpen() || !mip_.Busy) return;
  jobs_.WaitWithoutReread();
}

// Written at once to the address the data image holds; with the port closed only the image
// changes.
void TPageChange::WriteRelayTest() {
  if (mip_.Bus.IsOpen()) mip_.StartJob(JobWriteRelayTest);
}
