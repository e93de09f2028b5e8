// What switching pages does, and what the pages' edits ask of the window: the edits of the page
// left are offered for writing, the new page is shown with fresh content and the polling of live
// pages follows the new page; the device settings page's own writes (clock and address), the
// relay test list that writes at once, and the reason a typed number was refused.
#pragma once

#include <QObject>

#include <cstdint>

class TJobControl;
class TMIP;
class TPageViews;
class TUnsavedEdits;
class TWindowSeam;

class TPageChange : public QObject {
  Q_OBJECT

 public:
  TPageChange(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobControl& jobs,
              TUnsavedEdits& unsaved, QObject* parent = nullptr);

  // Binds the pages' page controls and their requests to this object.
  void Wire();
  // Runs after the current page or sub-page has changed: offers to write the edits of the page
  // left, shows the new page and starts its polling.
  void PageChanged();
  // The job code of the page shown since the last page change.
  uint8_t RememberedPageJobCode() const { return rememberedPageJobCode_; }

 private:
  void PageJobRequested(uint8_t jobCode);
  void WaitBeforeRelayTest();
  void WriteRelayTest();

  TWindowSeam& seam_;
  TMIP& mip_;
  TPageViews& pages_;
  TJobControl& jobs_;
  TUnsavedEdits& unsaved_;
  uint8_t rememberedPageJobCode_ = 0;
};
