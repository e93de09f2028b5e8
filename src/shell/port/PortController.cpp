#include "shell/port/PortController.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"
#include "modbus/SerialDevices.h"
#include "shell/port/FindPorts.h"
#include "shell/port/PortSettings.h"
#include "shell/settings/IniFile.h"
#include "shell/settings/Settings.h"
#include "shell/settings/WorkingState.h"
#include "shell/window/SettingAtOnce.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteJournal.h"

TPortController::TPortController(TWindowSeam& seam, TMIP& mip, TWorkingState& state,
                                 QObject* parent)
    : QObject(parent), seam_(seam), mip_(mip), state_(state) {
  setObjectName("PortController");
}

void TPortController::Build() {
  portSettings_ = new TPortSettings(seam_.Window());
}

void TPortController::Wire() {
  connect(seam_.Button("ToolButton4"), &QAbstractButton::clicked, this,
          &TPortController::PortSettingsCommand);
  connect(seam_.Item("N8"), &QAction::triggered, this, &TPortController::PortSettingsCommand);
  connect(portSettings_->FindPortsButton, &QPushButton::clicked, this,
          &TPortController::FindPortsCommand);
}

void TPortController::PortSettingsCommand() {
  TModBus& bus = mip_.Bus;
  portSettings_->ShowDevices(PortDeviceList());
  portSettings_->CSpinEdit1->setValue(bus.WaitTime());
  portSettings_->ComboBox1->setCurrentIndex(bus.PortIndex());
  portSettings_->ComboBox2->setCurrentIndex(bus.GetBaudIndex());
  portSettings_->CSpinEditPoll->setValue(state_.PollInterval);
  portSettings_->CSpinEditRetries->setValue(mip_.ReadRetries());
  ShowLine(bus.Line());
  portSettings_->RequireJournalBox->setChecked(seam_.Journal().Required());
  const std::string device = bus.LineName();
  const bool wasOpen = bus.IsOpen();
  if (portSettings_->exec() == QDialog::Accepted) {
    state_.PollInterval = Settings::ClampPollInterval(portSettings_->CSpinEditPoll->value());
    mip_.SetReadRetries(static_cast<uint8_t>(portSettings_->CSpinEditRetries->value()));
    seam_.Journal().SetRequired(portSettings_->RequireJournalBox->isChecked());
    bus.SetWaitTime(static_cast<uint16_t>(portSettings_->CSpinEdit1->value()));
    bus.SetPortIndex(static_cast<uint8_t>(portSettings_->ComboBox1->currentIndex()));
    bus.SetBaudIndex(static_cast<uint8_t>(portSettings_->ComboBox2->currentIndex()));
    // A change of the line closes an open one and opens the new one.
    bus.SetLine(ChosenLine());
    // An open line moved to another port or server: the window shows where it stands now.
    if (wasOpen && bus.LineName() != device)
      seam_.PresentConnection(bus.IsOpen()
                                  ? QString()
                                  : QString::fromStdString(OpenFailureText(
                                        bus.OpenFailure(), bus.LineName(), bus.OpenSystemError())));
  }
  // An offer to open the port again was made for the device the port had.
  if (bus.LineName() != device) emit PortDeviceChanged();
}

void TPortController::ShowLine(const TLineDescription& line) {
  portSettings_->LineKindBox->setCurrentIndex(line.Kind == TLineKind::Network ? 1 : 0);
  portSettings_->HostEdit->setText(QString::fromStdString(line.Host));
  if (line.Port != 0) portSettings_->TcpPortSpin->setValue(line.Port);
  portSettings_->NetworkModeBox->setCurrentIndex(static_cast<int>(line.Mode));
}

TLineDescription TPortController::ChosenLine() const {
  TLineDescription line;
  line.Kind = portSettings_->NetworkChosen() ? TLineKind::Network : TLineKind::Serial;
  line.Host = portSettings_->HostEdit->text().trimmed().toStdString();
  line.Port = static_cast<uint16_t>(portSettings_->TcpPortSpin->value());
  line.Mode = static_cast<TNetworkMode>(portSettings_->NetworkModeBox->currentIndex());
  return line;
}

QStringList TPortController::PortDeviceList() const {
  QStringList devices;
  for (int i = 0; i < Settings::PortDeviceCount; ++i)
    devices << QString::fromStdString(mip_.Bus.PortDevice(static_cast<uint8_t>(i)));
  return devices;
}

void TPortController::FindPortsCommand() {
  if (!findPorts_) findPorts_ = new TFindPorts(portSettings_);
  findPorts_->Show(ListSerialDevices(SerialScanRootsFromEnvironment()),
                   portSettings_->ComboBox1->currentIndex());
  if (findPorts_->exec() != QDialog::Accepted) return;
  const QString path = findPorts_->ChosenPath();
  if (path.isEmpty()) return;
  const int index = findPorts_->ChosenIndex();
  BindPortDevice(index, path);
  portSettings_->ShowDevices(PortDeviceList());
  portSettings_->ComboBox1->setCurrentIndex(index);
}

// Written at once rather than at exit: a binding is the user's deliberate choice, and the other
// settings keep their own time.
void TPortController::BindPortDevice(int index, const QString& path) {
  if (index < 0 || index >= Settings::PortDeviceCount) return;
  TModBus& bus = mip_.Bus;
  const bool inUse = bus.IsOpen() && bus.PortIndex() == index;
  bus.SetPortDevice(static_cast<uint8_t>(index), path.toStdString());
  QString sentence = QString("Порту Com%1 назначено устройство %2.")
                         .arg(index + 1)
                         .arg(QDir::toNativeSeparators(path));
  if (inUse) sentence += " Порт открыт: назначение действует со следующего соединения.";
  if (const TSettingsFileState state = seam_.SettingsFileState();
      state != TSettingsFileState::Kept) {
    seam_.Report(
        sentence + (state == TSettingsFileState::TooLarge
                        ? " Файл настроек больше 1 МБ: назначение не записано."
                        : " Файл настроек не является обычным файлом: назначение не записано."),
        false);
    return;
  }
  SaveSettingAtOnce(seam_, sentence,
                    [&](TIniFile& ini) { Settings::WritePortDevice(ini, index, path); });
}
