// What the window tests share: a scripted TDialogs that records every box and file dialog the
// window asks for and answers from a script, a main window on a settings file of the test's own,
// the window's controls and feature controllers by their objectNames, and a way to act on a modal
// dialog once it is up.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

#include "shell/Mainunit.h"
#include "shell/device/AddressChoice.h"
#include "shell/device/DeviceController.h"
#include "shell/device/JobControl.h"
#include "shell/device/PageChange.h"
#include "shell/view/ViewController.h"
#include "shell/window/Dialogs.h"

struct TAskedDialog {
  QString Kind;       // "Ask", "Confirm", "Error", "Message", "About", "Open", "Save"
  QString Caption;    // Open and Save: the title
  QString Text;       // Open and Save: the filter
  QString Extension;  // Open and Save: the default extension
  const QWidget* Owner = nullptr;
  QString Informative;  // Ask, Confirm and Error: the text under the sentence
  QString Details;      // Confirm
  QString Button;       // Confirm: the confirming button's caption
};

class TScriptedDialogs : public TDialogs {
 public:
  bool Ask(QWidget* owner, const QString& caption, const QString& text,
           const QString& informative = QString()) override;
  bool Confirm(QWidget* owner, const QString& caption, const QString& text,
               const QString& informative, const QString& details,
               const QString& confirmButton) override;
  void Error(QWidget* owner, const QString& caption, const QString& text,
             const QString& informative = QString()) override;
  void Message(QWidget* owner, const QString& caption, const QString& text) override;
  void About(QWidget* owner, const QString& title, const QString& text) override;
  QString OpenFileName(QWidget* owner, const TFileRequest& request) override;
  QString SaveFileName(QWidget* owner, const TFileRequest& request) override;

  QList<TAskedDialog> Asked;
  QList<bool> Answers;                    // for Ask and Confirm, in order; No when run out
  std::function<void()> WhileErrorShown;  // runs inside Error, as a modal box's own loop would
  QList<QString> FileNames;               // for Open and Save, in order; cancelled when run out
};

// A main window whose settings file lives in a folder of its own; the settings text, when given,
// is written there first. Its journal of writes goes to XDG_DATA_HOME (%APPDATA% on Windows), by
// default that folder too.
class TFormFixture {
 public:
  explicit TFormFixture(const QString& settingsText = QString(), bool writeFile = false,
                        const QString& dataHome = QString());
  ~TFormFixture();

  TMainForm& Form() { return *form_; }
  TScriptedDialogs& Dialogs() { return dialogs_; }
  QString SettingsPath() const { return dir_.filePath("k7104-configurator.ini"); }
  QString Folder() const { return dir_.path(); }
  // The journal of writes of the window, with the default data folder.
  QString JournalPath() const { return dir_.filePath("k7104-configurator/journal.sqlite"); }
  // Destroys the window as the program's exit does; the settings file is written then.
  void Close();

 private:
  QTemporaryDir dir_;
  TScriptedDialogs dialogs_;
  std::unique_ptr<TMainForm> form_;
};

// The window's controls as the tests reach them: by their objectNames (ToolButton8, N14,
// CGauge …), never through the window's insides. Null when the window has no such control (yet).
template <typename T>
T* Control(const QObject& window, const QString& name) {
  return window.findChild<T*>(name);
}
inline QToolButton* Button(const QObject& window, const QString& name) {
  return Control<QToolButton>(window, name);
}
inline QAction* Item(const QObject& window, const QString& name) {
  return Control<QAction>(window, name);
}
// Chooses the menu item as the user does.
void TriggerItem(const QObject& window, const QString& name);
// The feature controllers, for what no control shows: the job start, the address a job goes to.
TDeviceController& Devices(const QObject& window);
TViewController& View(const QObject& window);

// The device the window puts behind COM<index+1> by default.
inline QString DefaultDevice(int index) {
#ifdef _WIN32
  return QString("\\\\.\\COM%1").arg(index + 1);
#else
  return QString("/dev/ttyS%1").arg(index);
#endif
}

QString ReadText(const QString& path);
void WriteText(const QString& path, const QString& text);

// Runs action on the next modal dialog of type T once it is shown (from inside its exec()); gives
// up after about five seconds.
template <typename T>
void WhenModalShown(std::function<void(T*)> action, int attemptsLeft = 500) {
  QTimer::singleShot(10, [action, attemptsLeft] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      action(dialog);
      return;
    }
    if (attemptsLeft > 0) WhenModalShown<T>(action, attemptsLeft - 1);
  });
}

// A Qt Test main that fixes the regional settings to Russian, as the window tests expect
// (decimal comma, dd.MM.yyyy).
#define K7104_GUI_TEST_MAIN(TestClass)                               \
  int main(int argc, char** argv) {                                  \
    QApplication app(argc, argv);                                    \
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); \
    QApplication::setApplicationName("К7104Т(С)1 - Конфигуратор");   \
    TestClass test;                                                  \
    return QTest::qExec(&test, argc, argv);                          \
  }
