// What the features see of the main window, and all they see of it: the one report routine, the
// dialogs seam, the progress of a job on the status line, the connection state and the address
// mode as the window presents them, the configuration file named in the title, the settings
// file's name and the journal of writes. The window's own menu items and toolbar buttons are
// reached by their objectNames, for the feature that carries them out to wire; a feature's own menu
// and toolbar button go after the window's. The window implements it; no feature includes the
// window's header.
#pragma once

#include <QString>

class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QToolButton;
class QWidget;
class TAddressBar;
class TDialogs;
class TProgress;
class TWriteJournal;

// Whether the settings file is written: a FIFO or a device in its place, or a file too large to be
// read, is left alone.
enum class TSettingsFileState { Kept, NotRegular, TooLarge };

class TWindowSeam {
 public:
  // The owner of the features' dialogs and windows.
  virtual QWidget* Window() = 0;
  // A closing window starts no more jobs; a job start waiting for the engine gives up.
  virtual bool Closing() const = 0;

  // Time-stamps the sentence, shows it in the status line, keeps it in the event log (newest
  // first) and, for an error, shows it in an error box, with the informative text under the
  // sentence when one is given. GUI thread only.
  virtual void Report(const QString& sentence, bool error,
                      const QString& informative = QString()) = 0;
  // An error reported as Report does, without the box: a poll failing again after the failure
  // the user has seen, or while nobody watches. Its repeats fold in the event log with the polls'
  // own lines.
  virtual void ReportWithoutBox(const QString& sentence) = 0;
  virtual TDialogs& Dialogs() = 0;
  virtual TProgress& Progress() = 0;

  // Shows whether the port is open on the connect button, its menu item and the status bar, and
  // reports it; a port that would not open gives the reason after "Порт закрыт.", no error box.
  virtual void PresentConnection(const QString& whyClosed = QString()) = 0;
  // The address box, the found-instrument tabs and the manual address button and item.
  virtual TAddressBar& Addresses() = 0;
  // The title names the configuration file last opened or saved.
  virtual void ShowConfigurationFile(const QString& fileName) = 0;
  virtual QString SettingsPath() const = 0;
  // The journal of writes that every write of the window's instrument object is recorded in.
  virtual TWriteJournal& Journal() = 0;
  virtual TSettingsFileState SettingsFileState() const = 0;

  // N2..N32 and ToolButton1..ToolButton21, the Stop and reconnect buttons, by their objectNames.
  virtual QAction* Item(const QString& name) const = 0;
  virtual QAbstractButton* Button(const QString& name) const = 0;
  // A menu after the window's menus, and a button after a separator at the end of the toolbar.
  virtual QMenu* AddMenu(const QString& caption, const QString& name) = 0;
  virtual QToolButton* AddToolButton(const QString& name) = 0;
  // A feature's label on the status line, over the end of the message panel while it is shown
  // (the one added first rightmost); the status line is laid out again whenever the label is
  // shown or hidden through it.
  virtual void AddStatusNote(QLabel* note) = 0;
  virtual void ShowStatusNote(QLabel* note, bool shown) = 0;

 protected:
  ~TWindowSeam() = default;
};
