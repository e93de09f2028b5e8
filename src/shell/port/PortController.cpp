// Binding serial devices to Com numbers from the window: "Найти порты" in the port settings dialog.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>

#include "modbus/SerialDevices.h"
#include "shell/Mainunit.h"
#include "shell/port/FindPorts.h"
#include "shell/port/PortSettings.h"
#include "shell/settings/IniFile.h"

QStringList TMainForm::PortDeviceList() const {
  QStringList devices;
  for (int i = 0; i < Settings::PortDeviceCount; ++i)
    devices << QString::fromStdString(mip_->Bus.PortDevice(static_cast<uint8_t>(i)));
  return devices;
}

void TMainForm::FindPortsCommand() {
  if (!FindPorts) FindPorts = new TFindPorts(PortSettings);
  FindPorts->Show(ListSerialDevices(SerialScanRootsFromEnvironment()),
                  PortSettings->ComboBox1->currentIndex());
  if (FindPorts->exec() != QDialog::Accepted) return;
  const QString path = FindPorts->ChosenPath();
  if (path.isEmpty()) return;
  const int index = FindPorts->ChosenIndex();
  BindPortDevice(index, path);
  PortSettings->ShowDevices(PortDeviceList());
  PortSettings->ComboBox1->setCurrentIndex(index);
}

// Written at once rather than at exit: a binding is the user's deliberate choice, and the other
// settings keep their own time.
void TMainForm::BindPortDevice(int index, const QString& path) {
  if (index < 0 || index >= Settings::PortDeviceCount) return;
  TModBus& bus = mip_->Bus;
  const bool inUse = bus.IsOpen() && bus.PortIndex() == index;
  bus.SetPortDevice(static_cast<uint8_t>(index), path.toStdString());
  QString sentence = QString("Порту Com%1 назначено устройство %2.")
                         .arg(index + 1)
                         .arg(QDir::toNativeSeparators(path));
  if (inUse) sentence += " Порт открыт: назначение действует со следующего соединения.";
  if (settingsNotRegular_ || settingsTooLarge_) {
    Report(sentence + (settingsTooLarge_
                           ? " Файл настроек больше 1 МБ: назначение не записано."
                           : " Файл настроек не является обычным файлом: назначение не записано."),
           false);
    return;
  }
  TIniFile ini(settingsPath_);
  Settings::WritePortDevice(ini, index, path);
  QDir().mkpath(QFileInfo(settingsPath_).absolutePath());
  if (!ini.Save()) {
    Report(sentence + QString(" Не удалось записать файл настроек %1.")
                          .arg(QDir::toNativeSeparators(settingsPath_)),
           true);
    return;
  }
  Report(sentence, false);
}
