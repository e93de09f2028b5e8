#include "shell/window/SettingAtOnce.h"

#include <QDir>
#include <QFileInfo>

#include "shell/settings/IniFile.h"
#include "shell/window/WindowSeam.h"

void SaveSettingAtOnce(TWindowSeam& seam, const QString& sentence,
                       const std::function<void(TIniFile&)>& change) {
  const QString settingsPath = seam.SettingsPath();
  TIniFile ini(settingsPath);
  change(ini);
  QDir().mkpath(QFileInfo(settingsPath).absolutePath());
  if (!ini.Save()) {
    seam.Report(sentence + QString(" Не удалось записать файл настроек %1.")
                               .arg(QDir::toNativeSeparators(settingsPath)),
                true);
    return;
  }
  seam.Report(sentence, false);
}
