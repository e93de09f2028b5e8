// What switching pages does: the edits of the page left are offered for writing, the new page is
// shown with fresh content and the polling of live pages follows the new page.
#include "shell/Dialogs.h"
#include "shell/Mainunit.h"
#include "views/PageViews.h"

namespace {

constexpr uint8_t WriteJobOffset = 128;
// Pages whose group is written when left: the parameter pages and the device settings page.
constexpr uint8_t FirstWritablePage = 2;
constexpr uint8_t LastWritablePage = 30;

}  // namespace

void TMainForm::WirePageChange() {
  for (TglPageControl* control :
       {pages_->glPageControl1, pages_->glPageControl2, pages_->glPageControl3,
        pages_->glPageControl4, pages_->glPageControl5})
    connect(control, &TglPageControl::Changed, this, &TMainForm::PageChange);
}

void TMainForm::PageChange() {
  // A number still being typed on the page left counts as an edit of that page.
  pages_->CommitEdits();
  const uint8_t left = RememberedPageJobCode;
  NoteUnsavedEdits(left);
  if (pages_->Modified && mip_->Bus.IsOpen() && left >= FirstWritablePage &&
      left <= LastWritablePage) {
    // Taken now: another page change while the write waits for the engine has nothing to offer.
    pages_->Modified = false;
    if (dialogs_->Ask(nullptr, "Запись в прибор", "Записать изменения в прибор?"))
      JobStart(static_cast<uint8_t>(left + WriteJobOffset));
  }
  RenderCurrentPage();
  AutomaticReread();
  pages_->Modified = false;
  RememberedPageJobCode = pages_->PageJobCode();
}

// A running job may be writing what the page shows, so the page waits for the job's end. The
// archive read writes nothing but the archive: every other page is shown during it at once.
void TMainForm::RenderCurrentPage() {
  const bool archiveReadRuns = mip_->JobCode == JobReadArchive;
  if (mip_->Busy && (!archiveReadRuns || pages_->PageJobCode() == JobReadArchive)) {
    renderPending_ = true;
    return;
  }
  renderPending_ = false;
  pages_->Render();
}

// Called at every job's end, while the job thread waits: the data image holds still.
void TMainForm::RenderPendingPage() {
  if (!renderPending_) return;
  renderPending_ = false;
  pages_->Render();
}
