// The main window: toolbar, menu, the pages, the found-instrument tabs and the status bar. It
// owns the instrument object and the event log, reads the settings at creation and writes them
// back when it is destroyed, and reports every outcome through one routine.
#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

#include "instrument/Mipunit.h"
#include "shell/Settings.h"

class QAction;
class QLabel;
class TArchiveFeed;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTimer;
class QSpinBox;
class QTabBar;
class QToolBar;
class QToolButton;
class TArchQwery;
class TDialogs;
class TJobBridge;
class TLogDialog;
class TPageViews;
class TPortSettings;
class TStatusBar;

struct TMainFormOptions {
  QString SettingsPath;         // empty: the place next to the program
  TDialogs* Dialogs = nullptr;  // not owned; empty: the Qt message boxes and file dialogs
};

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int EventLogLimit = 1000;
  // The window's title; the configuration file last opened or saved follows it.
  static inline const QString BaseTitle = "Конфигуратор К7104Т(С)1 К7104Е025";

  explicit TMainForm(const TMainFormOptions& options = {});
  ~TMainForm() override;

  TMIP& Mip() { return *mip_; }
  TPageViews& Pages() { return *pages_; }
  TDialogs& Dialogs() { return *dialogs_; }
  QString SettingsPath() const { return settingsPath_; }

  // Time-stamps the sentence, shows it in the status line, keeps it in the event log (newest
  // first, at most 1000 lines) and, for an error, shows it in an error box. GUI thread only.
  void Report(const QString& sentence, bool error);
  const QStringList& EventLog() const { return eventLog_; }
  // Reports made since the window was created; folded repeats count each.
  int ReportCount() const { return reportCount_; }

  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);

  // Commands of the toolbar and menu.
  void ToolTipsCommand();
  void ShowEventLog();
  void PortSettingsCommand();
  void VersionCommand();

  // Device commands: each turns into a job of the instrument object.
  void ConnectCommand();
  void SearchCommand();
  void ManualAddressCommand();
  void ReadCurrentCommand();
  void ReadAllCommand();
  void WriteCurrentCommand();
  void WriteAllCommand();

  // File commands: a configuration to and from a file; on the archive page Save exports the
  // archive as text instead.
  void NewCommand();
  void OpenCommand();
  void SaveCommand();

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
  // Starts the read of a live page again when the port is open; never waits.
  void AutomaticReread();
  // The user's stop of the job under way (Stop button, Escape, disconnect): it ends with result
  // 13, reported without an error box.
  void StopCommand();
  // One tab per instrument the last search found; manual address mode when there is none.
  void RefreshFoundDevices();

  // Window state kept between commands.
  bool ManualAddressMode = true;
  uint8_t RememberedPageJobCode = 0;
  uint8_t AddressMin = 1;
  uint8_t AddressMax = 255;
  uint16_t MinArch = 1;
  uint16_t MaxArch = 100;
  // Pause between the polls of a live page in ms; 0 polls continuously.
  int PollInterval = 0;

  QToolBar* ToolBar1;
  QToolButton* ToolButton(int n) const;  // ToolButton1..ToolButton21 as the toolbar has them
  QSpinBox* CSpinEditAddress;
  QTabBar* TabSet1;
  TStatusBar* StatusBar;
  QLabel* ForMessage;
  QProgressBar* CGauge;
  QPushButton* StopButton;  // beside CGauge while a long job runs
  QLabel* ImageStateConnect;
  QMenuBar* oxMenu1;
  QAction* MenuItem(int n) const;  // N2..N32 as the menu has them
  TLogDialog* LogDialog;
  TPortSettings* PortSettings;
  TArchQwery* ArchQwery;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildMenu();
  void BuildStatusBar();
  QToolButton* AddToolButton(int n, int image, const QString& hint);
  QAction* AddMenuItem(QMenu* menu, int n, const QString& caption, int image);

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
  void WireDeviceCommands();
  void WireFileCommands();
  void WirePageChange();
  void WireEditCommands();
  void PageJobRequested(uint8_t jobCode);
  void WaitBeforeRelayTest();
  void WriteRelayTest();
  void SaveConfigurationCommand();
  void NoteUnsavedEdits(uint8_t pageJobCode);
  void ForgetSavedEdits(uint8_t jobCode);
  bool HasUnsavedEdits();
  bool MayDiscardEdits();
  void ShowConfigurationFile(const QString& fileName);
  void ConfigurationReplaced(const QString& fileName);
  void SaveArchiveCommand();
  bool RunArchiveExport(const std::function<void()>& work, size_t total,
                        const std::function<size_t()>& done);
  bool WaitForIdleEngine(bool* waited);
  void RenderCurrentPage();
  void RenderPendingPage();
  void JobStartHandler(uint8_t jobCode);
  void CompletionHandler(const TJobEnd& end);
  QString ApplyJobEnd(const TJobEnd& end);
  void ShowDeviceState();
  bool WaitWhileBusy();
  void RereadAfterJob();
  void StartPoll();
  bool IsStopKey(QObject* watched, QEvent* event) const;
  void PresentConnection(const QString& whyClosed = QString());
  void ForgetReadValues();
  void ShowAddressMode();
  bool IsSwallowedEnter(QObject* watched, QEvent* event) const;
  void AddToEventLog(const QString& line, const QString& key, bool error);
  void ReadSettings();
  void WriteSettings();
  void LayOutStatusBar();
  void PlaceStatusControls();
  void CenterOnDesktop();

  // Declared before the instrument object: the job thread may be waiting in it until the
  // instrument object is gone.
  std::unique_ptr<TJobBridge> bridge_;
  std::unique_ptr<TMIP> mip_;
  std::unique_ptr<TDialogs> ownDialogs_;
  TDialogs* dialogs_;
  QString settingsPath_;
  bool settingsNotRegular_ = false;  // a FIFO or a device in place of the settings file
  TPageViews* pages_;
  QStringList eventLog_;
  int reportCount_ = 0;
  QSet<uint8_t> unsavedGroups_;  // page job codes whose edits are neither written nor saved
  // What each line of the event log stands for, for the folding of repeats.
  struct TLogEntry {
    QString Key;  // error flag and sentence
    int Count;
    bool Error;
  };
  QList<TLogEntry> logEntries_;
  bool pairFolding_ = false;  // the two newest lines fold as an alternating pair
  bool pairPending_ = false;  // the older of the pair has come again; the newer is due
  bool showHint_ = true;
  bool closing_ = false;
  bool rereadSkip_ = false;           // the end of the job a command waited for starts no re-read
  bool renderPending_ = false;        // the current page is shown once the job under way has ended
  bool userStop_ = false;             // the user has stopped the job under way
  QTimer* pollTimer_ = nullptr;       // the next poll when a poll interval is set
  uint8_t startedJob_ = 0;            // job thread only: the job code as the job started
  QAction* addressAction_ = nullptr;  // shows and hides CSpinEditAddress on the toolbar
  TArchiveFeed* archiveFeed_ = nullptr;  // the records of an archive read as they arrive
  bool exporting_ = false;               // an archive export is being written
  QToolButton* toolButtons_[22] = {};
  QAction* menuItems_[33] = {};
};
