// The window's side of talking to an instrument: the device commands of the toolbar and menu,
// the job start and its waits, the three handlers of the job engine, the polling of live pages,
// the jobs the pages ask for (clock, address, relay test) and the page change. The window owns
// the controls; this object owns what the commands do with them.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

#include "instrument/Mipunit.h"

class QTimer;
class TDeviceReturn;
class TJobBridge;
class TMainForm;
class TPageViews;
class TUnsavedEdits;

class TDeviceController : public QObject {
  Q_OBJECT

 public:
  TDeviceController(TMainForm& form, TMIP& mip, TPageViews& pages, TJobBridge& bridge,
                    TUnsavedEdits& unsaved);

  // Binds the job engine's handlers to this object and the window's actions to the commands.
  void Wire();
  // Follows the address box and the found-instrument tabs; wired once the box shows the address
  // the settings gave.
  void WireAddressChoice();

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
  // The user's stop of the job under way (Stop button, Escape, disconnect): it ends with result
  // 13, reported without an error box.
  void StopCommand();

  // Runs after the current page or sub-page has changed: offers to write the edits of the page
  // left, shows the new page and starts its polling.
  void PageChange();

  // The address the next job goes to: the address box in manual address mode, else the selected
  // found instrument, 1 when none is selected.
  uint8_t CurrentAddress() const;
  void SetCurrentAddress(uint8_t address);
  // Waits, with the window still answering the user, until no job runs; then sets the current
  // address and starts the job, after prepare() has set what the job reads. False when the window
  // closes meanwhile.
  bool JobStart(uint8_t jobCode, const std::function<void()>& prepare = {});
  // The job thread writes the data image while a job runs. A command on the data image waits for
  // the job under way as a job start does; the job's end then starts no poll, and *waited tells
  // the command to start the polling again once it is done. False when the window closes.
  bool WaitForIdleEngine(bool* waited);
  // Starts the read of a live page again when the port is open; never waits.
  void AutomaticReread();
  // One tab per instrument the last search found; manual address mode when there is none.
  void RefreshFoundDevices();
  // Shows the current page now, or once the job under way that may be writing it has ended.
  void RenderCurrentPage();
  // What was read before belongs to another connection or another instrument: the current page
  // shows it as not read, and writing such a group reads it first.
  void ForgetReadValues();
  // The device of a port that went away is no longer watched, and "Соединиться снова" goes.
  void ForgetReconnectOffer();

 signals:
  // The current values were read; the data image holds them while the handlers run.
  void CurrentValuesRead();
  // A job's start and its end have been reported; result is its result code. The two come in the
  // order of the jobs: the end of a job before the start of the next.
  void JobStarted(uint8_t jobCode);
  void JobEnded(uint8_t jobCode, int result);

 private:
  // What the completion handler needs of a job, taken on the job thread when the job ends.
  struct TJobEnd {
    uint8_t JobCode;
    uint8_t CurrentOp;
    TResult Result;
    uint16_t ChannelCount;
    uint16_t RelayCount;
    int16_t DeviceException;  // the instrument's exception code when it gave the failure, else -1
  };

  void RegisterCallbacks();
  void WireCommands();
  void WirePages();
  void StartSearch(TSearchMode mode, int first, int last);
  void JobStartHandler(uint8_t jobCode);
  void CompletionHandler(const TJobEnd& end);
  QString ApplyJobEnd(const TJobEnd& end);
  bool WaitWhileBusy();
  void RereadAfterJob();
  void StartPoll();
  void RenderPendingPage();
  void PageJobRequested(uint8_t jobCode);
  void WaitBeforeRelayTest();
  void WriteRelayTest();
  void ClosePortGone();
  void OfferReconnect(const QString& device);

  TMainForm& form_;
  TMIP& mip_;
  TPageViews& pages_;
  TJobBridge& bridge_;
  TUnsavedEdits& unsaved_;
  QTimer* pollTimer_;            // the next poll when a poll interval is set
  TDeviceReturn* deviceReturn_;  // the device of a port that went away, until it is back
  bool rereadSkip_ = false;      // the end of the job a command waited for starts no re-read
  bool renderPending_ = false;   // the current page is shown once the job under way has ended
  bool userStop_ = false;        // the user has stopped the job under way
  uint8_t startedJob_ = 0;       // job thread only: the job code as the job started
};
