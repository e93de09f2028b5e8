// The device commands of the toolbar and the "Действие" menu: connecting, searching, choosing the
// instrument, reading and writing.
#include <QAction>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <utility>

#include "instrument/Groups.h"
#include "instrument/JobMessages.h"
#include "shell/Mainunit.h"
#include "shell/device/ArchQwery.h"
#include "shell/device/ArchiveFeed.h"
#include "shell/device/DeviceController.h"
#include "shell/window/Dialogs.h"
#include "views/ChoiceLists.h"
#include "views/PageViews.h"

namespace {

constexpr int MaxSearchAddress = 255;
constexpr int MaxArchiveRecord = 65535;

}  // namespace

void TDeviceController::WireCommands() {
  const std::pair<int, void (TDeviceController::*)()> buttons[] = {
      {8, &TDeviceController::ConnectCommand},
      {9, &TDeviceController::SearchCommand},
      {18, &TDeviceController::ManualAddressCommand},
      {10, &TDeviceController::ReadCurrentCommand},
      {11, &TDeviceController::ReadAllCommand},
      {12, &TDeviceController::WriteCurrentCommand}};
  for (const auto& [n, command] : buttons)
    connect(form_.ToolButton(n), &QToolButton::clicked, this, command);
  const std::pair<int, void (TDeviceController::*)()> items[] = {
      {12, &TDeviceController::ConnectCommand},       {21, &TDeviceController::SearchCommand},
      {27, &TDeviceController::ManualAddressCommand}, {14, &TDeviceController::ReadCurrentCommand},
      {15, &TDeviceController::ReadAllCommand},       {16, &TDeviceController::WriteCurrentCommand},
      {17, &TDeviceController::WriteAllCommand}};
  for (const auto& [n, command] : items)
    connect(form_.MenuItem(n), &QAction::triggered, this, command);
  connect(form_.ReconnectButton, &QPushButton::clicked, this, [this] {
    if (!mip_.Bus.IsOpen()) ConnectCommand();
  });
}

void TDeviceController::WireAddressChoice() {
  // Another address is another instrument: nothing read from the last one is known for it.
  connect(form_.CSpinEditAddress, &QSpinBox::valueChanged, this, [this](int value) {
    mip_.Address = static_cast<uint8_t>(value);
    ForgetReadValues();
  });
  connect(form_.TabSet1, &QTabBar::currentChanged, this, [this] { ForgetReadValues(); });
}

uint8_t TDeviceController::CurrentAddress() const {
  if (form_.ManualAddressMode) return static_cast<uint8_t>(form_.CSpinEditAddress->value());
  const int tab = form_.TabSet1->currentIndex();
  if (tab < 0 || tab >= MaxFoundDevices) return 1;
  return mip_.FoundDevices[tab].Address;
}

void TDeviceController::SetCurrentAddress(uint8_t address) {
  if (form_.ManualAddressMode) {
    form_.CSpinEditAddress->setValue(address);
    return;
  }
  const int tab = form_.TabSet1->currentIndex();
  if (tab >= 0 && tab < MaxFoundDevices) mip_.FoundDevices[tab].Address = address;
}

void TDeviceController::RefreshFoundDevices() {
  QTabBar* tabs = form_.TabSet1;
  while (tabs->count() > 0) tabs->removeTab(0);
  const int found = mip_.FoundCount;
  for (int i = 0; i < found; ++i) {
    const TFoundDevice& device = mip_.FoundDevices[i];
    tabs->addTab(ChoiceLists::ModelName(device.ModelCode) + "Адрес " +
                 QString::number(device.Address));
  }
  if (found > 0) tabs->setCurrentIndex(0);
  form_.ManualAddressMode = found == 0;
  form_.ShowAddressMode();
}

void TDeviceController::ConnectCommand() {
  TModBus& bus = mip_.Bus;
  if (bus.IsOpen()) {
    // The job under way ends because the user asked for it, however far it has got.
    StopCommand();
    pollTimer_->stop();
    bus.ClosePort();
  } else if (!bus.OpenPort()) {
    const std::string device = bus.PortDevice(bus.PortIndex());
    form_.PresentConnection(
        QString::fromStdString(OpenFailureText(bus.OpenFailure(), device, bus.OpenSystemError())));
    return;
  }
  form_.PresentConnection();
  // Whichever way the port was opened, the offer to open it again is done with.
  ForgetReconnectOffer();
  if (bus.IsOpen()) ForgetReadValues();
  AutomaticReread();
}

void TDeviceController::SearchCommand() {
  TArchQwery* range = form_.ArchQwery;
  range->Prepare("Поиск прибора", MaxSearchAddress, form_.AddressMin, form_.AddressMax);
  if (range->exec() != QDialog::Accepted) return;
  const auto [first, last] = range->Range();
  form_.AddressMin = static_cast<uint8_t>(first);
  form_.AddressMax = static_cast<uint8_t>(last);
  form_.ToolButton(9)->setEnabled(false);
  form_.ToolButton(18)->setEnabled(false);
  StartSearch(form_.FastSearch ? TSearchMode::Fast : TSearchMode::Standard, first, last);
}

void TDeviceController::SearchSilentAgainCommand() {
  if (!form_.LastSearchFast) return;
  form_.ToolButton(9)->setEnabled(false);
  form_.ToolButton(18)->setEnabled(false);
  StartSearch(TSearchMode::SilentAgain, form_.AddressMin, form_.AddressMax);
}

void TDeviceController::StartSearch(TSearchMode mode, int first, int last) {
  const bool started = JobStart(JobSearch, [this, mode, first, last] {
    mip_.RangeFirst = static_cast<uint16_t>(first);
    mip_.RangeLast = static_cast<uint16_t>(last);
    mip_.SearchMode = mode;
  });
  if (!started) {
    form_.ToolButton(9)->setEnabled(true);
    form_.ToolButton(18)->setEnabled(true);
  } else if (mode != TSearchMode::SilentAgain) {
    form_.LastSearchFast = mode == TSearchMode::Fast;
  }
}

void TDeviceController::ManualAddressCommand() {
  const bool wasOn = form_.ManualAddressMode;
  form_.ManualAddressMode = !wasOn;
  if (wasOn && mip_.FoundCount == 0) {
    form_.ManualAddressMode = true;
    if (form_.Dialogs().Ask(&form_, "Поиск приборов", "Провести поиск приборов?")) SearchCommand();
  }
  form_.ShowAddressMode();
}

void TDeviceController::ReadCurrentCommand() {
  const uint8_t job = pages_.PageJobCode();
  if (job != JobReadArchive) {
    JobStart(job);
    return;
  }
  TArchQwery* range = form_.ArchQwery;
  range->Prepare("Считывание архива", MaxArchiveRecord, form_.MinArch, form_.MaxArch);
  if (range->exec() != QDialog::Accepted) return;
  const auto [first, last] = range->Range();
  form_.MinArch = static_cast<uint16_t>(first);
  form_.MaxArch = static_cast<uint16_t>(last);
  JobStart(JobReadArchive, [this, first, last] {
    mip_.RangeFirst = static_cast<uint16_t>(first);
    mip_.RangeLast = static_cast<uint16_t>(last);
    form_.ArchiveFeed().Begin(static_cast<uint32_t>(last - first + 1));
  });
}

void TDeviceController::ReadAllCommand() {
  JobStart(JobReadAll);
}

// Only the parameter pages and the device settings page are written; live values and the
// archive are the instrument's own, and their groups have no write.
void TDeviceController::WriteCurrentCommand() {
  pages_.CommitEdits();
  const TGroup* group = GroupByCode(pages_.PageJobCode());
  if (!group || group->WriteCode == 0) {
    form_.Dialogs().Message(&form_, QString(), "Текущее значения нельзя записывать!!!");
    return;
  }
  JobStart(group->WriteCode);
}

// After New the whole configuration is the user's deliberate reset; the question says so.
void TDeviceController::WriteAllCommand() {
  pages_.CommitEdits();
  QString question = "Вы уверены, что вы хотите записать всю конфигурацию в прибор?";
  if (mip_.AnyGroupFrom(TGroupSource::Reset))
    question =
        "Конфигурация сброшена командой «Новый»: в прибор будут записаны нулевые значения "
        "вместо его настроек.\n" +
        question;
  if (form_.Dialogs().Ask(&form_, "Запись всей конфигурации в прибор", question))
    JobStart(JobWriteAll);
}

void TDeviceController::ForgetReadValues() {
  mip_.ForgetReadGroups();
  RenderCurrentPage();
}
