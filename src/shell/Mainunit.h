// The main window: toolbar, menu, the pages, the found-instrument tabs and the status bar. It
// owns the instrument object, the event log and the controllers that carry out the device and
// file commands of its actions; it reads the settings at creation and writes them back when it
// is destroyed, and reports every outcome through one routine.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

#include "files/ConfigCompare.h"
#include "files/LiveCsv.h"
#include "instrument/Mipunit.h"
#include "shell/settings/Settings.h"
#include "shell/settings/WindowPlace.h"
#include "shell/window/EventLog.h"

class QAction;
class QLabel;
class TArchiveFeed;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabBar;
class QToolBar;
class QToolButton;
class TArchQwery;
class TCompareDialog;
class TDeviceController;
class TDialogs;
class TFileController;
class TIniFile;
class TJobBridge;
class TLogDialog;
class TPageViews;
class TFindPorts;
class TPortSettings;
class TStatusBar;
class TUnsavedEdits;
class TTrafficMonitor;
class TTrendWindow;

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
  const QStringList& EventLog() const { return eventLog_.Lines(); }
  // Reports made since the window was created; folded repeats count each.
  int ReportCount() const { return reportCount_; }

  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);

  // Commands of the toolbar and menu.
  void ToolTipsCommand();
  void ShowEventLog();
  void PortSettingsCommand();
  // "Найти порты" of the port settings dialog: lists the serial devices present and binds the
  // one chosen to a Com number, in the channel and at once in [PortDevices] of the settings file.
  void FindPortsCommand();
  void BindPortDevice(int index, const QString& path);
  // The device behind each of Com1..Com20.
  QStringList PortDeviceList() const;
  void VersionCommand();
  // The menu "Вид", after the others: the traffic monitor, and every polled set of current values
  // logged to a CSV file (the file name comes from the dialogs; a write failure stops the logging
  // with a message, never the polling).
  void ShowTrafficMonitor();
  void ShowLiveTrend();
  void ShowArchiveTrend();
  bool StartCsvLogging();
  void StopCsvLogging();
  bool CsvLogging() const;
  // The menu "Наладка", after "Вид": the instrument (read now when the port is open, else as last
  // read) against a configuration file, with the file's values of the groups the user picks
  // written and read back; and the configuration report as HTML or PDF.
  void CompareWithFileCommand();
  void ConfigurationReportCommand();
  // After them in "Наладка", for a whole line: the configuration to every instrument found
  // (enabled once a search has found some), the fast search and the second look at the silent
  // addresses (enabled after a fast search).
  void BatchWriteCommand();
  void PresentSetupItems();

  // The device commands (with the job start, the engine's handlers and the page change) and the
  // file commands belong to their controllers; the window's actions are wired to them.
  TDeviceController& Devices() { return *devices_; }
  TFileController& Files() { return *files_; }

  // A closing window starts no more jobs; a job start waiting for the engine gives up.
  bool Closing() const { return closing_; }
  TArchiveFeed& ArchiveFeed() { return *archiveFeed_; }
  // Shows whether the port is open on the connect button, its menu item and the status bar, and
  // reports it; a port that would not open gives the reason after "Порт закрыт.", no error box.
  void PresentConnection(const QString& whyClosed = QString());
  // The found-instrument tabs, the address box and the manual address button follow the mode.
  void ShowAddressMode();
  // The title names the configuration file last opened or saved.
  void ShowConfigurationFile(const QString& fileName);

  // Window state kept between commands.
  bool ManualAddressMode = true;
  uint8_t RememberedPageJobCode = 0;
  uint8_t AddressMin = 1;
  uint8_t AddressMax = 255;
  uint16_t MinArch = 1;
  uint16_t MaxArch = 100;
  // Pause between the polls of a live page in ms; 0 polls continuously.
  int PollInterval = 0;
  bool FastSearch = false;      // the search probes with the fast timeout
  bool LastSearchFast = false;  // the last search started was a fast one

  QToolBar* ToolBar1;
  QToolButton* ToolButton(int n) const;  // ToolButton1..ToolButton21 as the toolbar has them
  QSpinBox* CSpinEditAddress;
  QTabBar* TabSet1;
  TStatusBar* StatusBar;
  QLabel* ForMessage;
  QProgressBar* CGauge;
  QPushButton* StopButton;  // beside CGauge while a long job runs
  // "Соединиться снова": in the same place once the device of a port that went away is back
  QPushButton* ReconnectButton;
  QLabel* ImageStateConnect;
  QMenuBar* oxMenu1;
  QAction* MenuItem(int n) const;  // N2..N32 as the menu has them
  TLogDialog* LogDialog;
  TPortSettings* PortSettings;
  TFindPorts* FindPorts = nullptr;  // made when first asked for
  TArchQwery* ArchQwery;
  QMenu* ViewMenu = nullptr;
  TTrafficMonitor* TrafficMonitor = nullptr;  // made when first shown
  TTrendWindow* LiveTrend = nullptr;
  TTrendWindow* ArchiveTrend = nullptr;
  QAction* CsvLoggingItem = nullptr;
  QAction* CsvDecimalCommaItem = nullptr;
  QLabel* CsvLoggingLabel = nullptr;  // on the status bar while logging
  QMenu* SetupMenu = nullptr;
  QAction* CompareWithFileItem = nullptr;
  QAction* ConfigurationReportItem = nullptr;
  TCompareDialog* CompareDialog = nullptr;  // made when first shown
  QAction* BatchWriteItem = nullptr;
  QAction* FastSearchItem = nullptr;
  QAction* SilentAgainItem = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildMenu();
  void AddShortcuts();
  void BuildStatusBar();
  void BuildViewMenu();
  void BuildBatchItems();
  void ReadSetupSettings(const TIniFile& ini);
  void WriteSetupSettings(TIniFile& ini) const;
  void LogCurrentValues();
  void PlaceCsvLoggingLabel(int messagePanelWidth);
  void BuildSetupMenu();
  bool RunJobToEnd(uint8_t job);
  bool ReadConfigurationNow();
  void ShowComparison();
  void WriteGroupsFromFile(const QList<uint8_t>& groups);
  QToolButton* AddToolButton(int n, int image, const QString& hint);
  QAction* AddMenuItem(QMenu* menu, int n, const QString& caption, int image);

  bool IsStopKey(QObject* watched, QEvent* event) const;
  bool IsSwallowedEnter(QObject* watched, QEvent* event) const;
  void ReadSettings();
  void WriteSettings();
  void LayOutStatusBar();
  void PlaceStatusControls();
  void CenterOnDesktop();
  void PlaceWindow();
  void RestorePage();
  TWindowPlace CurrentPlace() const;

  // Declared before the instrument object: the job thread may be waiting in it until the
  // instrument object is gone.
  std::unique_ptr<TJobBridge> bridge_;
  std::unique_ptr<TLiveCsvLog> csvLog_;
  TLiveCsvForm csvForm_;
  std::unique_ptr<TMIP> mip_;
  std::unique_ptr<TDialogs> ownDialogs_;
  TDialogs* dialogs_;
  QString settingsPath_;
  bool settingsNotRegular_ = false;  // a FIFO or a device in place of the settings file
  bool settingsTooLarge_ = false;    // a settings file too large to be read is left alone
  // The window's place as the settings file had it. A window that was never shown has no place
  // of its own to keep and leaves the file as it found it.
  WindowPlace::TStored storedPlace_;
  bool placeInFile_ = false;
  bool shown_ = false;
  TPageViews* pages_;
  std::unique_ptr<TUnsavedEdits> unsaved_;
  TDeviceController* devices_;
  TFileController* files_;
  TEventLog eventLog_{EventLogLimit};
  int reportCount_ = 0;
  bool showHint_ = true;
  bool closing_ = false;
  QAction* addressAction_ = nullptr;     // shows and hides CSpinEditAddress on the toolbar
  TArchiveFeed* archiveFeed_ = nullptr;  // the records of an archive read as they arrive
  // The last comparison with a file, of the instrument at comparedAddress_.
  QString comparedFile_;
  TConfigBlock comparedBlock_{};
  std::optional<TComparison> comparison_;
  uint8_t comparedAddress_ = 0;
  TDateTime configurationReadAt_ = 0;  // the last read of the whole configuration
  QToolButton* toolButtons_[22] = {};
  QAction* menuItems_[33] = {};
};
