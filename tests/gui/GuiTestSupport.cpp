#include "GuiTestSupport.h"

#include <QAction>
#include <QFile>

bool TScriptedDialogs::Ask(QWidget* owner, const QString& caption, const QString& text,
                           const QString& informative) {
  Asked.append({"Ask", caption, text, QString(), owner, informative});
  return Answers.isEmpty() ? false : Answers.takeFirst();
}

bool TScriptedDialogs::Confirm(QWidget* owner, const QString& caption, const QString& text,
                               const QString& informative, const QString& details,
                               const QString& confirmButton) {
  Asked.append({"Confirm", caption, text, QString(), owner, informative, details, confirmButton});
  return Answers.isEmpty() ? false : Answers.takeFirst();
}

void TScriptedDialogs::Error(QWidget* owner, const QString& caption, const QString& text,
                             const QString& informative) {
  Asked.append({"Error", caption, text, QString(), owner, informative});
  if (WhileErrorShown) WhileErrorShown();
}

void TScriptedDialogs::Message(QWidget*, const QString& caption, const QString& text) {
  Asked.append({"Message", caption, text});
}

void TScriptedDialogs::About(QWidget*, const QString& title, const QString& text) {
  Asked.append({"About", title, text});
}

QString TScriptedDialogs::OpenFileName(QWidget* owner, const TFileRequest& request) {
  Asked.append({"Open", request.Title, request.Filter, request.DefaultExtension, owner, QString()});
  return FileNames.isEmpty() ? QString() : FileNames.takeFirst();
}

QString TScriptedDialogs::SaveFileName(QWidget* owner, const TFileRequest& request) {
  Asked.append({"Save", request.Title, request.Filter, request.DefaultExtension, owner, QString()});
  return FileNames.isEmpty() ? QString() : FileNames.takeFirst();
}

TFormFixture::TFormFixture(const QString& settingsText, bool writeFile, const QString& dataHome) {
  if (writeFile) WriteText(SettingsPath(), settingsText);
  const QByteArray home = QFile::encodeName(dataHome.isEmpty() ? dir_.path() : dataHome);
#ifdef _WIN32
  qputenv("APPDATA", home);
#else
  qputenv("XDG_DATA_HOME", home);
#endif
  TMainFormOptions options;
  options.SettingsPath = SettingsPath();
  options.Dialogs = &dialogs_;
  form_ = std::make_unique<TMainForm>(options);
}

TFormFixture::~TFormFixture() {
  Close();
}

void TFormFixture::Close() {
  form_.reset();
}

void TriggerItem(const QObject& window, const QString& name) {
  QAction* item = Item(window, name);
  if (!item) qFatal("the window has no menu item %s", qPrintable(name));
  item->trigger();
}

TDeviceController& Devices(const QObject& window) {
  return *Control<TDeviceController>(window, "DeviceController");
}

TViewController& View(const QObject& window) {
  return *Control<TViewController>(window, "ViewController");
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

void WriteText(const QString& path, const QString& text) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text.toUtf8());
}
