// The job path of the window: the job start that waits for a running job, the job engine's three
// handlers with the completion handler, the automatic re-read that keeps live pages polled, and
// the current page shown between jobs.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

#include "instrument/Mipunit.h"
#include "shell/window/Jobs.h"

class QAbstractButton;
class QLabel;
class QTimer;
class TAddressChoice;
class TArchiveFeed;
class TJobBridge;
class TPageViews;
class TReconnectOffer;
class TUnsavedEdits;
class TWindowSeam;
struct TWorkingState;

class TJobControl : public TJobs {
  Q_OBJECT

 public:
  struct TParts {
    TWindowSeam& Seam;
    TMIP& Mip;
    TPageViews& Pages;
    TJobBridge& Bridge;
    TUnsavedEdits& Unsaved;
    TWorkingState& State;
    TAddressChoice& Addresses;
    TArchiveFeed& Feed;
    TReconnectOffer& Reconnect;
  };

  explicit TJobControl(const TParts& parts, QObject* parent = nullptr);

  // Binds the job engine's handlers to this object.
  void RegisterCallbacks();

  bool JobStart(uint8_t jobCode, const std::function<void()>& prepare = {}) override;
  bool WaitForIdleEngine(bool* waited) override;
  uint8_t CurrentAddress() const override;
  void AutomaticReread() override;
  void RenderCurrentPage() override;
  void ForgetReadValues() override;
  void SetUnattendedPolling(bool on) override { unattendedPolling_ = on; }
  // Adds the count of failed polls to the status line, hidden while no poll has failed.
  void BuildPollFailureCount();
  // A run of failed polls is over: the user gave a command.
  void ForgetPollFailures();
  // Waits once for the job under way, whose end then starts no poll.
  void WaitWithoutReread();
  // The user's stop of the job under way (Stop button, Escape, disconnect): it ends with result
  // 13, reported without an error box.
  void StopCommand();
  // The next poll waits no more: the port is closing.
  void StopPolling();

 private:
  // What the completion handler needs of a job, taken on the job thread when the job ends.
  struct TJobEnd {
    uint8_t JobCode;
    uint8_t CurrentOp;
    TResult Result;
    uint16_t ChannelCount;
    uint16_t RelayCount;
    int16_t DeviceException;  // the instrument's exception code when it gave the failure, else -1
    bool JournalRefused;      // a write not started: the journal was required and not kept
  };

  bool WaitWhileBusy();
  void RereadAfterJob();
  void StartPoll();
  void JobStartHandler(uint8_t jobCode);
  void CompletionHandler(const TJobEnd& end);
  QString ApplyJobEnd(const TJobEnd& end);
  QString StoppedSearchSentence(const TJobEnd& end);
  QString RateSearchSentence(const TJobEnd& end) const;
  void RenderPendingPage();
  void ReportPollFailure(const TJobEnd& end, const QString& sentence, const QString& closed);

  TWindowSeam& seam_;
  TMIP& mip_;
  TPageViews& pages_;
  TJobBridge& bridge_;
  TUnsavedEdits& unsaved_;
  TWorkingState& state_;
  TAddressChoice& addresses_;
  TArchiveFeed& feed_;
  TReconnectOffer& reconnect_;
  QAbstractButton* searchButton_ = nullptr;  // enabled again at every job's end
  QAbstractButton* manualButton_ = nullptr;
  QTimer* pollTimer_;           // the next poll when a poll interval is set
  bool rereadSkip_ = false;     // the end of the job a command waited for starts no re-read
  bool renderPending_ = false;  // the current page is shown once the job under way has ended
  bool userStop_ = false;       // the user has stopped the job under way
  uint8_t startedJob_ = 0;      // job thread only: the job code as the job started
  bool pollUnderWay_ = false;   // the job under way was started by a poll, not by a command
  bool unattendedPolling_ = false;
  int pollFailures_ = 0;  // polls failed in a row since the last that succeeded or a command
  QLabel* pollFailureCount_ = nullptr;
};
