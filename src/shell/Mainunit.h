// The main window: toolbar, menu, the pages, the found-instrument tabs and the status bar. It
// owns the instrument object and the event log, reads the settings at creation and writes them
// back when it is destroyed, and reports every outcome through one routine.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>

#include "instrument/Mipunit.h"
#include "shell/Settings.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QSpinBox;
class QTabBar;
class QToolBar;
class QToolButton;
class TDialogs;
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

  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);

  // Commands of the toolbar and menu.
  void ToolTipsCommand();
  void ShowEventLog();
  void PortSettingsCommand();
  void VersionCommand();

  // Window state kept between commands.
  bool ManualAddressMode = true;
  uint8_t RememberedPageJobCode = 0;
  uint8_t AddressMin = 1;
  uint8_t AddressMax = 255;
  uint16_t MinArch = 1;
  uint16_t MaxArch = 100;

  QToolBar* ToolBar1;
  QToolButton* ToolButton(int n) const;  // ToolButton1..ToolButton21 as the toolbar has them
  QSpinBox* CSpinEditAddress;
  QTabBar* TabSet1;
  TStatusBar* StatusBar;
  QLabel* ForMessage;
  QProgressBar* CGauge;
  QLabel* ImageStateConnect;
  QMenuBar* oxMenu1;
  QAction* MenuItem(int n) const;  // N2..N32 as the menu has them
  TLogDialog* LogDialog;
  TPortSettings* PortSettings;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildMenu();
  void BuildStatusBar();
  QToolButton* AddToolButton(int n, int image, const QString& hint);
  QAction* AddMenuItem(QMenu* menu, int n, const QString& caption, int image);
  void RegisterCallbacks();
  void ReadSettings();
  void WriteSettings();
  void LayOutStatusBar();
  void PlaceStatusControls();
  void CenterOnDesktop();

  std::unique_ptr<TMIP> mip_;
  std::unique_ptr<TDialogs> ownDialogs_;
  TDialogs* dialogs_;
  QString settingsPath_;
  TPageViews* pages_;
  QStringList eventLog_;
  bool showHint_ = true;
  QToolButton* toolButtons_[22] = {};
  QAction* menuItems_[33] = {};
};
