// The device feature: the commands of the toolbar and the "Действие" menu (connecting, searching,
// choosing the instrument, reading and writing, stopping), with the job start and its end, the
// polling of live pages, the page change and the archive records as they arrive. The window owns
// the controls; this object owns what the commands do with them.
#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

#include "instrument/Mipunit.h"

class QAction;
class TAddressChoice;
class TArchQwery;
class TArchiveFeed;
class TJobBridge;
class TJobControl;
class TJobs;
class TPageChange;
class TPageViews;
class TReconnectOffer;
class TUnsavedEdits;
class TWindowSeam;
struct TWorkingState;

class TDeviceController : public QObject {
  Q_OBJECT

 public:
  TDeviceController(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobBridge& bridge,
                    TUnsavedEdits& unsaved, TWorkingState& state, QObject* parent = nullptr);
  ~TDeviceController() override;

  // Makes the range dialog of search and archive read.
  void Build();
  // Binds the job engine's handlers, the window's device items and buttons, the pages and the
  // address choice to the commands. The address choice is wired last, once the address box shows
  // the address the settings gave.
  void Wire();

  void ConnectCommand();
  void SearchCommand();
  // The addresses of the last search's range where nothing answered, probed again with the
  // standard timeout; what answers now joins the found instruments.
  void SearchSilentAgainCommand();
  void ManualAddressCommand();
  void ReadCurrentCommand();
  void ReadAllCommand();
  void WriteCurrentCommand();
  void WriteAllCommand();
  // Reads on from the record after the last one an archive read that failed or was stopped got
  // to the end of the range it asked, appending to the list.
  void ContinueArchiveCommand();
  void StopCommand();
  // The device of a port that went away is no longer watched, and "Соединиться снова" goes.
  void ForgetReconnectOffer();

  TJobControl& Jobs() { return *jobs_; }
  TAddressChoice& Addresses() { return *addresses_; }
  TPageChange& PageChange() { return *pageChange_; }

 private:
  void WireCommands();
  void WireAddressChoice();
  void StartSearch(TSearchMode mode, int first, int last);
  void EnableSearch(bool on);
  void BuildContinueArchive();
  void EnableContinueArchive();
  bool MayWriteFileValues(uint8_t writeCode);

  TWindowSeam& seam_;
  TMIP& mip_;
  TPageViews& pages_;
  TWorkingState& state_;
  std::unique_ptr<TAddressChoice> addresses_;
  TArchiveFeed* feed_;
  TReconnectOffer* reconnect_;
  TJobControl* jobs_;
  TPageChange* pageChange_;
  TArchQwery* rangeDialog_ = nullptr;
  QAction* continueArchiveItem_ = nullptr;
  uint8_t archiveAddress_ = 0;  // the instrument the archive list was read from
};
