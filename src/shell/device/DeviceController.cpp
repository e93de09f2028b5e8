#include "shell/device/DeviceController.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>

#include <utility>

#include "instrument/Groups.h"
#include "instrument/JobMessages.h"
#include "shell/device/AddressChoice.h"
#include "shell/device/ArchQwery.h"
#include "shell/device/ArchiveFeed.h"
#include "shell/device/JobControl.h"
#include "shell/device/PageChange.h"
#include "shell/device/ReconnectOffer.h"
#include "shell/settings/WorkingState.h"
#include "shell/window/AddressBar.h"
#include "shell/window/Dialogs.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteQuestions.h"
#include "views/PageViews.h"

namespace {

constexpr int MaxSearchAddress = 255;
constexpr int MaxArchiveRecord = 65535;

}  // namespace

TDeviceController::TDeviceController(TWindowSeam& seam, TMIP& mip, TPageViews& pages,
                                     TJobBridge& bridge, TUnsavedEdits& unsaved,
                                     TWorkingState& state, QObject* parent)
    : QObject(parent),
      seam_(seam),
      mip_(mip),
      pages_(pages),
      state_(state),
      addresses_(std::make_unique<TAddressChoice>(seam.Addresses(), mip, state)),
      feed_(new TArchiveFeed(pages, seam.Progress(), bridge, this)),
      reconnect_(new TReconnectOffer(seam, mip.Bus, this)) {
  setObjectName("DeviceController");
  jobs_ = new TJobControl(
      {seam, mip, pages, bridge, unsaved, state, *addresses_, *feed_, *reconnect_}, this);
  pageChange_ = new TPageChange(seam, mip, pages, *jobs_, unsaved, this);
}

TDeviceController::~TDeviceController() = default;

void TDeviceController::Build() {
  rangeDialog_ = new TArchQwery(seam_.Window());
  jobs_->BuildPollFailureCount();
  BuildContinueArchive();
}

// After the specified items of "Действие", and on the archive grid's context menu.
void TDeviceController::BuildContinueArchive() {
  continueArchiveItem_ = new QAction("Продолжить чтение архива", this);
  continueArchiveItem_->setObjectName("ContinueArchiveItem");
  continueArchiveItem_->setEnabled(false);
  QMenu* action = seam_.Item("N11")->menu();
  action->addSeparator();
  action->addAction(continueArchiveItem_);
  pages_.ArchiveGrid()->setContextMenuPolicy(Qt::ActionsContextMenu);
  pages_.ArchiveGrid()->addAction(continueArchiveItem_);
}

// Only the instrument the list came from can go on with it.
void TDeviceController::EnableContinueArchive() {
  continueArchiveItem_->setEnabled(mip_.ArchiveCanContinue() &&
                                   addresses_->CurrentAddress() == archiveAddress_);
}

void TDeviceController::Wire() {
  jobs_->RegisterCallbacks();
  WireCommands();
  pageChange_->Wire();
  WireAddressChoice();
}

void TDeviceController::WireCommands() {
  const std::pair<const char*, void (TDeviceController::*)()> buttons[] = {
      {"ToolButton8", &TDeviceController::ConnectCommand},
      {"ToolButton9", &TDeviceController::SearchCommand},
      {"ToolButton18", &TDeviceController::ManualAddressCommand},
      {"ToolButton10", &TDeviceController::ReadCurrentCommand},
      {"ToolButton11", &TDeviceController::ReadAllCommand},
      {"ToolButton12", &TDeviceController::WriteCurrentCommand}};
  for (const auto& [name, command] : buttons)
    connect(seam_.Button(name), &QAbstractButton::clicked, this, command);
  const std::pair<const char*, void (TDeviceController::*)()> items[] = {
      {"N12", &TDeviceController::ConnectCommand},
      {"N21", &TDeviceController::SearchCommand},
      {"N27", &TDeviceController::ManualAddressCommand},
      {"N14", &TDeviceController::ReadCurrentCommand},
      {"N15", &TDeviceController::ReadAllCommand},
      {"N16", &TDeviceController::WriteCurrentCommand},
      {"N17", &TDeviceController::WriteAllCommand},
      {"SilentAgainItem", &TDeviceController::SearchSilentAgainCommand}};
  for (const auto& [name, command] : items)
    connect(seam_.Item(name), &QAction::triggered, this, command);
  connect(seam_.Button("StopButton"), &QAbstractButton::clicked, this,
          &TDeviceController::StopCommand);
  connect(continueArchiveItem_, &QAction::triggered, this,
          &TDeviceController::ContinueArchiveCommand);
  connect(jobs_, &TJobs::JobEnded, this, &TDeviceController::EnableContinueArchive);
  connect(seam_.Item("N11")->menu(), &QMenu::aboutToShow, this,
          &TDeviceController::EnableContinueArchive);
  connect(seam_.Button("ReconnectButton"), &QAbstractButton::clicked, this, [this] {
    if (!mip_.Bus.IsOpen()) ConnectCommand();
  });
}

// Another address is another instrument: nothing read from the last one is known for it.
void TDeviceController::WireAddressChoice() {
  TAddressBar& bar = seam_.Addresses();
  connect(&bar, &TAddressBar::AddressTyped, this, [this](int value) {
    mip_.Address = static_cast<uint8_t>(value);
    jobs_->ForgetReadValues();
  });
  connect(&bar, &TAddressBar::FoundDeviceChosen, this, [this] { jobs_->ForgetReadValues(); });
}

void TDeviceController::ConnectCommand() {
  TModBus& bus = mip_.Bus;
  jobs_->ForgetPollFailures();
  if (bus.IsOpen()) {
    // The job under way ends because the user asked for it, however far it has got.
    StopCommand();
    jobs_->StopPolling();
    bus.ClosePort();
    pages_.MarkLiveValuesStale();
  } else if (!bus.OpenPort()) {
    seam_.PresentConnection(QString::fromStdString(
        OpenFailureText(bus.OpenFailure(), bus.LineName(), bus.OpenSystemError())));
    return;
  }
  seam_.PresentConnection();
  // Whichever way the port was opened, the offer to open it again is done with.
  ForgetReconnectOffer();
  if (bus.IsOpen()) jobs_->ForgetReadValues();
  jobs_->AutomaticReread();
}

void TDeviceController::SearchCommand() {
  rangeDialog_->Prepare("Поиск прибора", MaxSearchAddress, state_.AddressMin, state_.AddressMax);
  if (rangeDialog_->exec() != QDialog::Accepted) return;
  const auto [first, last] = rangeDialog_->Range();
  state_.AddressMin = static_cast<uint8_t>(first);
  state_.AddressMax = static_cast<uint8_t>(last);
  EnableSearch(false);
  StartSearch(state_.FastSearch ? TSearchMode::Fast : TSearchMode::Standard, first, last);
}

void TDeviceController::SearchSilentAgainCommand() {
  if (!state_.LastSearchFast) return;
  EnableSearch(false);
  StartSearch(TSearchMode::SilentAgain, state_.AddressMin, state_.AddressMax);
}

void TDeviceController::StartSearch(TSearchMode mode, int first, int last) {
  const bool started = jobs_->JobStart(JobSearch, [this, mode, first, last] {
    mip_.RangeFirst = static_cast<uint16_t>(first);
    mip_.RangeLast = static_cast<uint16_t>(last);
    mip_.SearchMode = mode;
  });
  if (!started)
    EnableSearch(true);
  else if (mode != TSearchMode::SilentAgain)
    state_.LastSearchFast = mode == TSearchMode::Fast;
}

// The search button and the manual address button wait for the search's end.
void TDeviceController::EnableSearch(bool on) {
  seam_.Button("ToolButton9")->setEnabled(on);
  seam_.Button("ToolButton18")->setEnabled(on);
}

void TDeviceController::ManualAddressCommand() {
  const bool wasOn = state_.ManualAddressMode;
  state_.ManualAddressMode = !wasOn;
  if (wasOn && mip_.FoundCount == 0) {
    state_.ManualAddressMode = true;
    if (seam_.Dialogs().Ask(seam_.Window(), "Поиск приборов", "Провести поиск приборов?"))
      SearchCommand();
  }
  addresses_->ShowMode();
}

void TDeviceController::ReadCurrentCommand() {
  const uint8_t job = pages_.PageJobCode();
  if (job != JobReadArchive) {
    jobs_->JobStart(job);
    return;
  }
  rangeDialog_->Prepare("Считывание архива", MaxArchiveRecord, state_.MinArch, state_.MaxArch);
  if (rangeDialog_->exec() != QDialog::Accepted) return;
  const auto [first, last] = rangeDialog_->Range();
  state_.MinArch = static_cast<uint16_t>(first);
  state_.MaxArch = static_cast<uint16_t>(last);
  jobs_->JobStart(JobReadArchive, [this, first, last] {
    mip_.RangeFirst = static_cast<uint16_t>(first);
    mip_.RangeLast = static_cast<uint16_t>(last);
    feed_->Begin(static_cast<uint32_t>(last - first + 1));
    archiveAddress_ = addresses_->CurrentAddress();
  });
}

void TDeviceController::ReadAllCommand() {
  jobs_->JobStart(JobReadAll);
}

// Only the parameter pages and the device settings page are written; live values and the
// archive are the instrument's own, and their groups have no write.
void TDeviceController::WriteCurrentCommand() {
  pages_.CommitEdits();
  const TGroup* group = GroupByCode(pages_.PageJobCode());
  if (!group || group->WriteCode == 0) {
    seam_.Dialogs().Message(seam_.Window(), QString(), "Текущее значения нельзя записывать!!!");
    return;
  }
  if (MayWriteFileValues(group->WriteCode)) jobs_->JobStart(group->WriteCode);
}

// Values from a file that the instrument knows no meaning of are written only when the user
// confirms them.
bool TDeviceController::MayWriteFileValues(uint8_t writeCode) {
  return MayWriteUnknownValues(seam_, seam_.Window(), mip_.Config, mip_.ChannelCount,
                               mip_.RelayCount, GroupsFromFile(mip_, writeCode),
                               WriteTargetText(mip_, addresses_->CurrentAddress()));
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
  if (seam_.Dialogs().Ask(seam_.Window(), "Запись всей конфигурации в прибор", question,
                          WriteTargetText(mip_, addresses_->CurrentAddress())) &&
      MayWriteFileValues(JobWriteAll))
    jobs_->JobStart(JobWriteAll);
}

// The read under way may be the one that would be gone on with: the command waits for its end.
void TDeviceController::ContinueArchiveCommand() {
  bool waited = false;
  if (!jobs_->WaitForIdleEngine(&waited)) return;
  EnableContinueArchive();
  if (!continueArchiveItem_->isEnabled()) {
    if (waited) jobs_->AutomaticReread();
    return;
  }
  jobs_->JobStart(JobReadArchive, [this] {
    mip_.ArchiveMode = TArchiveMode::Continue;
    feed_->Begin(mip_.ArchiveAskedLast - mip_.ArchiveNext + 1);
  });
}

void TDeviceController::StopCommand() {
  jobs_->StopCommand();
}

void TDeviceController::ForgetReconnectOffer() {
  reconnect_->Forget();
}
