// The main window: toolbar, menus, the pages, the found-instrument tabs and the status bar, with
// the object names the tests and the documentation know them by. It owns the instrument object, the
// event log, the working state and one controller per feature (device, files, setup, view, port),
// which build their own menu items and wire the window's to their commands; they reach the window
// only through the seam it implements (window/WindowSeam.h). It reads the settings at creation and
// writes them back when it is destroyed, and reports every outcome through one routine.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <memory>

#include "instrument/Mipunit.h"
#include "shell/settings/WindowPlace.h"
#include "shell/settings/WorkingState.h"
#include "shell/window/EventLog.h"
#include "shell/window/WindowSeam.h"

class QLabel;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabBar;
class QToolBar;
class QToolButton;
class TDeviceController;
class TFileController;
class TJobBridge;
class TLogDialog;
class TPageViews;
class TPortController;
class TSetupController;
class TStatusBar;
class TUnsavedEdits;
class TViewController;
class TWriteJournal;

struct TMainFormOptions {
  QString SettingsPath;         // empty: the place next to the program
  TDialogs* Dialogs = nullptr;  // not owned; empty: the Qt message boxes and file dialogs
};

class TMainForm : public QMainWindow, public TWindowSeam {
  Q_OBJECT

 public:
  static constexpr int EventLogLimit = 1000;
  // The window's title; the configuration file last opened or saved follows it.
  static inline const QString BaseTitle = "Конфигуратор К7104Т(С)1 К7104Е025";

  explicit TMainForm(const TMainFormOptions& options = {});
  ~TMainForm() override;

  TMIP& Mip() { return *mip_; }
  TPageViews& Pages() { return *pages_; }
  TWorkingState& State() { return state_; }
  // The event log's lines, newest first, at most 1000; reports made since the window was
  // created, folded repeats counting each.
  const QStringList& EventLog() const { return eventLog_.Lines(); }
  int ReportCount() const { return reportCount_; }
  bool ShowHint() const { return showHint_; }

  // The seam.
  QWidget* Window() override { return this; }
  bool Closing() const override { return closing_; }
  void Report(const QString& sentence, bool error, const QString& informative = QString()) override;
  void ReportWithoutBox(const QString& sentence) override;
  TDialogs& Dialogs() override { return *dialogs_; }
  TProgress& Progress() override { return *progress_; }
  void PresentConnection(const QString& whyClosed = QString()) override;
  TAddressBar& Addresses() override { return *addresses_; }
  void ShowConfigurationFile(const QString& fileName) override;
  QString SettingsPath() const override { return settingsPath_; }
  TWriteJournal& Journal() override { return *journal_; }
  TSettingsFileState SettingsFileState() const override;
  QAction* Item(const QString& name) const override;
  QAbstractButton* Button(const QString& name) const override;
  QMenu* AddMenu(const QString& caption, const QString& name) override;
  QToolButton* AddToolButton(const QString& name) override;
  void AddStatusNote(QLabel* note) override;
  void ShowStatusNote(QLabel* note, bool shown) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildMenu();
  void AddShortcuts();
  void BuildPages();
  void BuildStatusBar();
  void BuildFeatures();
  QToolButton* AddSpecifiedButton(int n, int image, const QString& hint);
  QAction* AddMenuItem(QMenu* menu, int n, const QString& caption, int image);
  void WireWindowCommands();
  void SetShowHint(bool on);
  void ToolTipsCommand();
  void ShowEventLog();
  void VersionCommand();

  bool IsStopKey(QObject* watched, QEvent* event) const;
  bool IsSwallowedEnter(QObject* watched, QEvent* event) const;
  void ReadSettings();
  void WriteSettings();
  void LayOutStatusBar();
  void PlaceStatusControls();
  void PlaceStatusNotes(int messagePanelWidth);
  void ShowReport(const QString& sentence, bool error, bool box, const QString& informative);
  void CenterOnDesktop();
  void PlaceWindow();
  TWindowPlace CurrentPlace() const;

  // Declared before the instrument object: the job thread may be waiting in it until the
  // instrument object is gone.
  std::unique_ptr<TJobBridge> bridge_;
  std::unique_ptr<TMIP> mip_;
  // Told of the writes on the job thread: gone only after the instrument object.
  std::unique_ptr<TWriteJournal> journal_;
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
  TWorkingState state_;
  TEventLog eventLog_{EventLogLimit};
  int reportCount_ = 0;
  bool showHint_ = true;
  bool closing_ = false;

  TPageViews* pages_;
  QToolBar* ToolBar1;
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
  TLogDialog* LogDialog;
  QList<QLabel*> statusNotes_;        // the features' labels over the end of the message panel
  QAction* addressAction_ = nullptr;  // shows and hides CSpinEditAddress on the toolbar
  QToolButton* toolButtons_[22] = {};
  QAction* menuItems_[33] = {};
  std::unique_ptr<TProgress> progress_;
  TAddressBar* addresses_ = nullptr;

  std::unique_ptr<TUnsavedEdits> unsaved_;
  TDeviceController* devices_ = nullptr;
  TFileController* files_ = nullptr;
  TViewController* view_ = nullptr;
  TSetupController* setup_ = nullptr;
  TPortController* port_ = nullptr;
};
