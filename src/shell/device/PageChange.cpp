// What switching pages does: the edits of the page left are offered for writing, the new page is
// shown with fresh content and the polling of live pages follows the new page.
#include "instrument/Groups.h"
#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "shell/window/Dialogs.h"
#include "shell/window/UnsavedEdits.h"
#include "views/PageViews.h"

void TDeviceController::PageChange() {
  // A number still being typed on the page left counts as an edit of that page.
  pages_.CommitEdits();
  const uint8_t left = form_.RememberedPageJobCode;
  unsaved_.Note(left, pages_.Modified);
  // The group of the page left is written when it has a write: the parameter pages and the
  // device settings page.
  const TGroup* group = GroupByCode(left);
  if (pages_.Modified && mip_.Bus.IsOpen() && group && group->WriteCode != 0) {
    // Taken now: another page change while the write waits for the engine has nothing to offer.
    pages_.Modified = false;
    if (form_.Dialogs().Ask(nullptr, "Запись в прибор", "Записать изменения в прибор?"))
      JobStart(group->WriteCode);
  }
  RenderCurrentPage();
  AutomaticReread();
  pages_.Modified = false;
  form_.RememberedPageJobCode = pages_.PageJobCode();
}

// A running job may be writing what the page shows, so the page waits for the job's end. The
// archive read writes nothing but the archive: every other page is shown during it at once.
void TDeviceController::RenderCurrentPage() {
  const bool archiveReadRuns = mip_.JobCode == JobReadArchive;
  if (mip_.Busy && (!archiveReadRuns || pages_.PageJobCode() == JobReadArchive)) {
    renderPending_ = true;
    return;
  }
  renderPending_ = false;
  pages_.Render();
}

// Called at every job's end, while the job thread waits: the data image holds still.
void TDeviceController::RenderPendingPage() {
  if (!renderPending_) return;
  renderPending_ = false;
  pages_.Render();
}
