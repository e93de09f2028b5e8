#include "shell/window/Showaboutunit.h"

#include "shell/window/Dialogs.h"

TVersionInfo ProgramVersionInfo() {
  TVersionInfo info;
  info.FileDescription = "Конфигуратор приборов К7104Т1, К7104С1, К7104Е025";
  info.CompanyName = "Разработчики k7104-configurator";
  info.FileVersion[0] = K7104_VERSION_MAJOR;
  info.FileVersion[1] = K7104_VERSION_MINOR;
  info.FileVersion[2] = K7104_VERSION_PATCH;
  info.FileVersion[3] = K7104_VERSION_TWEAK;
  return info;
}

QString AboutApplicationText(const TVersionInfo& info) {
  return QString("%1# %2").arg(info.FileDescription, info.CompanyName);
}

QString AboutAdditionalText(const TVersionInfo& info) {
  return QString("Версия Файла: %1.%2.%3.%4\n")
      .arg(info.FileVersion[0])
      .arg(info.FileVersion[1])
      .arg(info.FileVersion[2])
      .arg(info.FileVersion[3]);
}

void ShowAbout(QWidget* owner, TDialogs& dialogs, const TVersionInfo& info) {
  if (!info.Valid()) return;
  const QString application = AboutApplicationText(info);
  const int hash = static_cast<int>(application.indexOf('#'));
  const QString title = application.left(hash);
  const QString firstLine = application.mid(hash + 1).trimmed();
  dialogs.About(owner, title, title + "\n" + firstLine + "\n\n" + AboutAdditionalText(info));
}
