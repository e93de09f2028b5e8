#include "shell/Mainunit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "instrument/JobMessages.h"
#include "shell/device/DeviceController.h"
#include "shell/device/JobControl.h"
#include "shell/files/FileController.h"
#include "shell/port/PortController.h"
#include "shell/settings/IniFile.h"
#include "shell/settings/Settings.h"
#include "shell/setup/SetupController.h"
#include "shell/view/ViewController.h"
#include "shell/window/AddressBar.h"
#include "shell/window/CheckMark.h"
#include "shell/window/Dialogs.h"
#include "shell/window/JobBridge.h"
#include "shell/window/LogDialog.h"
#include "shell/window/Progress.h"
#include "shell/window/Showaboutunit.h"
#include "shell/window/StatusBar.h"
#include "shell/window/UnsavedEdits.h"
#include "shell/window/WriteJournal.h"
#include "views/Design.h"
#include "views/ImageLists.h"
#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

constexpr int DesignWidth = 584;
constexpr int DesignHeight = 407;
constexpr int ConnectIconSize = 32;

}  // namespace

TMainForm::TMainForm(const TMainFormOptions& options)
    : settingsPath_(options.SettingsPath.isEmpty()
                        ? Settings::DefaultFilePath(QApplication::applicationFilePath())
                        : options.SettingsPath) {
  if (options.Dialogs) {
    dialogs_ = options.Dialogs;
  } else {
    ownDialogs_ = std::make_unique<TQtDialogs>();
    dialogs_ = ownDialogs_.get();
  }
  setObjectName("MainForm");
  setWindowTitle(BaseTitle);
  setWindowIcon(ImageLists::Application());

  bridge_ = std::make_unique<TJobBridge>();
  mip_ = std::make_unique<TMIP>();
  journal_ = std::make_unique<TWriteJournal>(
      mip_->Bus, [this](const QString& sentence) { ReportWithoutBox(sentence); });
  mip_->SetWriteObserver(&journal_->Recorder());
  pages_ = new TPageViews(this, *mip_);
  BuildMenu();
  BuildToolBar();
  BuildPages();
  WireWindowCommands();
  LogDialog = new TLogDialog(this);
  qApp->installEventFilter(this);
  ReadSettings();
  BuildFeatures();
  PlaceStatusControls();
  SetShowHint(showHint_);
  pages_->SetFixedTexts(NowLocal());
  state_.ManualAddressMode = true;
  pages_->Modified = false;
  pages_->Render();
  Report("Программа загружена.", false);
  if (settingsNotRegular_)
    Report(QString("Файл настроек %1 не является обычным файлом: настройки взяты по умолчанию и "
                   "при выходе не записываются.")
               .arg(QDir::toNativeSeparators(settingsPath_)),
           false);
  if (settingsTooLarge_)
    Report(QString("Файл настроек %1 больше 1 МБ: он не прочитан, настройки взяты по умолчанию и "
                   "при выходе не записываются.")
               .arg(QDir::toNativeSeparators(settingsPath_)),
           false);

  PlaceWindow();
}

TMainForm::~TMainForm() {
  qApp->removeEventFilter(this);
  // From here no job's end reaches the controls, and a job thread waiting for one goes on.
  bridge_->Shutdown();
  WriteSettings();
  // The traffic monitor lets go of the channel while the channel is still there.
  delete view_;
  // Stops the job thread and closes the port before any control goes.
  mip_.reset();
}

// The features' controllers build their menus and items first, in the order of the menu bar,
// then each wires the items and buttons it carries out; the address box shows the address the
// settings gave before the device feature follows it.
void TMainForm::BuildFeatures() {
  addresses_ = new TAddressBar(CSpinEditAddress, addressAction_, TabSet1, toolButtons_[18],
                               menuItems_[27], this);
  addresses_->SetTyped(mip_->Address);
  unsaved_ = std::make_unique<TUnsavedEdits>();
  port_ = new TPortController(*this, *mip_, state_, this);
  devices_ = new TDeviceController(*this, *mip_, *pages_, *bridge_, *unsaved_, state_, this);
  TJobs& jobs = devices_->Jobs();
  files_ = new TFileController(*this, *mip_, *pages_, jobs, *unsaved_, this);
  view_ = new TViewController(*this, *mip_, jobs, this);
  setup_ = new TSetupController(*this, *mip_, *pages_, jobs, *unsaved_, state_, this);
  port_->Build();
  devices_->Build();
  view_->Build();
  setup_->Build();
  devices_->Wire();
  files_->Wire();
  view_->Wire();
  setup_->Wire();
  port_->Wire();
  connect(port_, &TPortController::PortDeviceChanged, devices_,
          &TDeviceController::ForgetReconnectOffer);
}

QAction* TMainForm::Item(const QString& name) const {
  return findChild<QAction*>(name);
}

QAbstractButton* TMainForm::Button(const QString& name) const {
  return findChild<QAbstractButton*>(name);
}

QMenu* TMainForm::AddMenu(const QString& caption, const QString& name) {
  QMenu* menu = oxMenu1->addMenu(caption);
  menu->setObjectName(name);
  return menu;
}

QToolButton* TMainForm::AddToolButton(const QString& name) {
  ToolBar1->addSeparator();
  auto* button = new QToolButton(ToolBar1);
  button->setObjectName(name);
  button->setAutoRaise(true);
  ToolBar1->addWidget(button);
  return button;
}

QToolButton* TMainForm::AddSpecifiedButton(int n, int image, const QString& hint) {
  auto* button = new QToolButton(ToolBar1);
  button->setObjectName(QString("ToolButton%1").arg(n));
  button->setIcon(ImageLists::Toolbar(image));
  button->setToolTip(hint);
  button->setAutoRaise(true);
  ToolBar1->addWidget(button);
  toolButtons_[n] = button;
  return button;
}

void TMainForm::BuildToolBar() {
  ToolBar1 = addToolBar("ToolBar1");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(Design::Px(16), Design::Px(16)));
  AddSpecifiedButton(1, 0, "Новый");
  AddSpecifiedButton(2, 1, "Открыть");
  AddSpecifiedButton(3, 2, "Сохранить");
  ToolBar1->addSeparator();
  AddSpecifiedButton(4, 3, "Настройки порта");
  ToolBar1->addSeparator();
  AddSpecifiedButton(6, 5, "Показывать подсказки")->setCheckable(true);
  AddSpecifiedButton(7, 6, "Просмотр событий");
  ToolBar1->addSeparator();
  AddSpecifiedButton(8, 7, "Соединиться")->setCheckable(true);
  ToolBar1->addSeparator();
  AddSpecifiedButton(10, 9, "Считать текущее");
  AddSpecifiedButton(11, 10, "Считать все");
  AddSpecifiedButton(12, 11, "Записать текущее");
  ToolBar1->addSeparator();
  AddSpecifiedButton(9, 8, "Поиск приборов");
  QToolButton* manual = AddSpecifiedButton(18, 13, "При нажатой кнопке адрес вводится вручную");
  manual->setCheckable(true);
  manual->setChecked(true);
  CSpinEditAddress = new QSpinBox(ToolBar1);
  CSpinEditAddress->setObjectName("CSpinEditAddress");
  CSpinEditAddress->setToolTip("Адрес прибора");
  CSpinEditAddress->setRange(1, 255);
  CSpinEditAddress->setValue(1);
  addressAction_ = ToolBar1->addWidget(CSpinEditAddress);
  ToolBar1->addSeparator();
  AddSpecifiedButton(21, 14, "Выход");
}

QAction* TMainForm::AddMenuItem(QMenu* menu, int n, const QString& caption, int image) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString("N%1").arg(n));
  if (image >= 0) action->setIcon(ImageLists::Toolbar(image));
  menuItems_[n] = action;
  return action;
}

void TMainForm::BuildMenu() {
  oxMenu1 = menuBar();
  oxMenu1->setObjectName("oxMenu1");
  auto addMenu = [this](int n, const QString& caption) {
    QMenu* menu = AddMenu(caption, QString("N%1").arg(n) + "Menu");
    menu->menuAction()->setObjectName(QString("N%1").arg(n));
    menuItems_[n] = menu->menuAction();
    return menu;
  };
  QMenu* file = addMenu(1, "Файл");
  AddMenuItem(file, 2, "Новый", 0);
  AddMenuItem(file, 3, "Открыть", 1);
  AddMenuItem(file, 4, "Сохранить", 2);
  file->addSeparator()->setObjectName("N5");
  AddMenuItem(file, 6, "Выход", 14);

  QMenu* service = addMenu(7, "Сервис");
  AddMenuItem(service, 8, "Настройки порта", 3);
  QAction* manual = AddMenuItem(service, 27, "Адрес вводиться вручную", 13);
  manual->setCheckable(true);
  manual->setChecked(true);
  manual->setIcon(CheckMark::WithCheckMark(manual->icon()));
  QAction* hints = AddMenuItem(service, 10, "Всплывающие подсказки", 5);
  hints->setCheckable(true);
  hints->setIcon(CheckMark::WithCheckMark(hints->icon()));
  AddMenuItem(service, 18, "Просмотр событий", 6);

  QMenu* action = addMenu(11, "Действие");
  QAction* connectItem = AddMenuItem(action, 12, "Соединиться", 7);
  connectItem->setCheckable(true);
  connectItem->setIcon(CheckMark::WithCheckMark(connectItem->icon()));
  action->addSeparator()->setObjectName("N13");
  AddMenuItem(action, 21, "Найти приборы", 8);
  action->addSeparator()->setObjectName("N19");
  AddMenuItem(action, 14, "Считать текущее", 9);
  AddMenuItem(action, 15, "Считать всё", 10);
  AddMenuItem(action, 16, "Записать текущее", 11);
  AddMenuItem(action, 17, "Записать всё", 12);

  QAction* version = oxMenu1->addAction("Версия");
  version->setObjectName("N32");
  menuItems_[32] = version;

  AddShortcuts();
}

// The window's own commands: hints, the event log, the version and the exit.
void TMainForm::WireWindowCommands() {
  connect(toolButtons_[6], &QToolButton::clicked, this, &TMainForm::ToolTipsCommand);
  connect(toolButtons_[7], &QToolButton::clicked, this, &TMainForm::ShowEventLog);
  connect(toolButtons_[21], &QToolButton::clicked, this, &TMainForm::close);
  connect(menuItems_[6], &QAction::triggered, this, &TMainForm::close);
  connect(menuItems_[10], &QAction::triggered, this, &TMainForm::ToolTipsCommand);
  connect(menuItems_[18], &QAction::triggered, this, &TMainForm::ShowEventLog);
  connect(menuItems_[32], &QAction::triggered, this, &TMainForm::VersionCommand);
}

// Every command has its menu item, and F10 opens the menu for the arrow keys; the frequent ones
// have keys of their own besides. The menu texts stay as they are, without mnemonics.
void TMainForm::AddShortcuts() {
  const std::pair<int, QKeySequence> keys[] = {
      {2, QKeySequence::New},         {3, QKeySequence::Open},
      {4, QKeySequence::Save},        {6, QKeySequence("Ctrl+Q")},
      {12, QKeySequence(Qt::Key_F9)}, {21, QKeySequence::Find},
      {14, QKeySequence(Qt::Key_F5)}, {15, QKeySequence("Shift+F5")},
      {16, QKeySequence(Qt::Key_F6)}, {17, QKeySequence("Shift+F6")},
      {18, QKeySequence("Ctrl+L")},   {32, QKeySequence(Qt::Key_F1)},
  };
  for (const auto& [n, key] : keys) menuItems_[n]->setShortcut(key);
  auto* openMenu = new QAction(this);
  openMenu->setObjectName("OpenMenuAction");
  openMenu->setShortcut(QKeySequence(Qt::Key_F10));
  addAction(openMenu);
  connect(openMenu, &QAction::triggered, this, [this] { oxMenu1->setActiveAction(menuItems_[1]); });
  // Ctrl+PgDown and Ctrl+PgUp step through the pages as clicks on their tabs do, around the end.
  const std::pair<QKeySequence, int> steps[] = {{QKeySequence("Ctrl+PgDown"), 1},
                                                {QKeySequence("Ctrl+PgUp"), -1}};
  for (const auto& [key, step] : steps) {
    auto* turn = new QAction(this);
    turn->setShortcut(key);
    addAction(turn);
    connect(turn, &QAction::triggered, this, [this, step = step] {
      TglPageControl* pages = pages_->PageControl();
      pages->SetCurrentIndex((pages->CurrentIndex() + step + pages->Count()) % pages->Count());
    });
  }
}

// The pages, the found-instrument tabs under them and the status bar.
void TMainForm::BuildPages() {
  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pages_->PageControl(), 1);
  TabSet1 = new QTabBar(central);
  TabSet1->setObjectName("TabSet1");
  TabSet1->setShape(QTabBar::RoundedSouth);
  TabSet1->setMinimumHeight(Design::Px(21));
  TabSet1->setEnabled(false);
  layout->addWidget(TabSet1);
  BuildStatusBar();
  layout->addWidget(StatusBar);
  setCentralWidget(central);
}

void TMainForm::BuildStatusBar() {
  StatusBar = new TStatusBar;
  StatusBar->SetPanelWidth(0, Design::Px(200));
  // The gauge's panel holds the count of the longest archive read whole.
  StatusBar->SetPanelWidth(
      1, std::max(Design::Px(70),
                  StatusBar->fontMetrics().horizontalAdvance("65535/65535") + Design::Px(16)));
  StatusBar->SetPanelWidth(2, Design::Px(70));
  StatusBar->SetPanelText(1, "Not Progress");
  StatusBar->SetPanelText(2, "OffLine");
  ForMessage = new QLabel(StatusBar);
  ForMessage->setObjectName("ForMessage");
  CGauge = new QProgressBar(StatusBar);
  CGauge->setObjectName("CGauge");
  CGauge->setRange(0, 100);
  CGauge->setValue(0);
  CGauge->setTextVisible(true);
  CGauge->hide();
  StopButton = new QPushButton("Стоп", StatusBar);
  StopButton->setObjectName("StopButton");
  StopButton->setToolTip("Остановить (Esc)");
  StopButton->setFocusPolicy(Qt::NoFocus);
  StopButton->hide();
  ReconnectButton = new QPushButton("Соединиться снова", StatusBar);
  ReconnectButton->setObjectName("ReconnectButton");
  ReconnectButton->setToolTip("Устройство порта снова подключено: открыть порт");
  ReconnectButton->setFocusPolicy(Qt::NoFocus);
  ReconnectButton->hide();
  ImageStateConnect = new QLabel(StatusBar);
  ImageStateConnect->setObjectName("ImageStateConnect");
  ImageStateConnect->setScaledContents(true);
  progress_ = std::make_unique<TProgress>(CGauge, StopButton, ForMessage);
  connect(StatusBar, &TStatusBar::Resized, this, &TMainForm::LayOutStatusBar);
}

// Gauge, message label and connection picture sit on the status bar, their height the bar's.
void TMainForm::PlaceStatusControls() {
  const int height = StatusBar->sizeHint().height() - 4;
  CGauge->setGeometry(0, 3, StatusBar->PanelWidth(1) - 4, height);
  StopButton->setGeometry(0, 2, StopButton->sizeHint().width(), height + 2);
  ReconnectButton->setGeometry(0, 2, ReconnectButton->sizeHint().width(), height + 2);
  ForMessage->setGeometry(2, 3, ForMessage->width(), height);
  ImageStateConnect->setGeometry(0, 3, height, height);
  ImageStateConnect->setPixmap(ImageLists::Connection(1, height));
  LayOutStatusBar();
}

void TMainForm::LayOutStatusBar() {
  const int client = StatusBar->width();
  const int panel0 = client - StatusBar->PanelWidth(1) - StatusBar->PanelWidth(2);
  StatusBar->SetPanelWidth(0, panel0);
  // The Stop button covers the end of the message panel, right beside the gauge; the message
  // ends before it.
  StopButton->move(panel0 - StopButton->width(), StopButton->y());
  const int messageEnd = StopButton->isHidden() ? panel0 : StopButton->x() - 2;
  ForMessage->resize(std::max(0, messageEnd - 2), ForMessage->height());
  CGauge->move(panel0 + 2, CGauge->y());
  ReconnectButton->move(panel0 - ReconnectButton->width(), ReconnectButton->y());
  PlaceStatusNotes(panel0);
  ImageStateConnect->move(client - 2 * ImageStateConnect->width(), ImageStateConnect->y());
}

void TMainForm::AddStatusNote(QLabel* note) {
  statusNotes_.append(note);
  note->setParent(StatusBar);
  note->hide();
}

void TMainForm::ShowStatusNote(QLabel* note, bool shown) {
  note->setVisible(shown);
  LayOutStatusBar();
}

// The notes shown cover the end of the message panel, side by side.
void TMainForm::PlaceStatusNotes(int messagePanelWidth) {
  int end = StopButton->isHidden() ? messagePanelWidth : StopButton->x();
  bool anyShown = false;
  for (QLabel* note : statusNotes_) {
    if (note->isHidden()) continue;
    anyShown = true;
    const int width = note->sizeHint().width() + 8;
    end -= width;
    note->setGeometry(end, ForMessage->y(), width, ForMessage->height());
    end -= 4;
  }
  if (anyShown) ForMessage->resize(std::max(0, end), ForMessage->height());
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayOutStatusBar();
  pages_->FitGridColumns();
}

// Edits neither written nor saved are asked about as New and Open ask; No keeps the window open.
// A closing window starts no more jobs; a job start waiting for the engine gives up.
void TMainForm::closeEvent(QCloseEvent* event) {
  if (!unsaved_->MayDiscard(*pages_, *this)) {
    event->ignore();
    return;
  }
  closing_ = true;
  QMainWindow::closeEvent(event);
}

void TMainForm::showEvent(QShowEvent* event) {
  shown_ = true;
  QMainWindow::showEvent(event);
}

void TMainForm::CenterOnDesktop() {
  const QScreen* screen = QApplication::primaryScreen();
  if (!screen) return;
  const QRect desktop = screen->availableGeometry();
  resize(size().boundedTo(desktop.size()));
  move(desktop.center() - rect().center());
}

// The place of the last run where it can still be used; what cannot be used (a damaged value, a
// screen that is gone) gives the default: the design size, centred on the desktop.
void TMainForm::PlaceWindow() {
  resize(qMax(Design::Px(DesignWidth), pages_->PreferredWidth()), Design::Px(DesignHeight));
  CenterOnDesktop();
  if (storedPlace_.Size) {
    resize(*storedPlace_.Size);
    CenterOnDesktop();
  }
  QList<QRect> screens;
  for (const QScreen* screen : QApplication::screens()) screens << screen->availableGeometry();
  if (storedPlace_.TopLeft) {
    const QRect wanted(*storedPlace_.TopLeft, size());
    if (WindowPlace::Reachable(wanted, screens, Design::Px(24))) setGeometry(wanted);
  }
  if (storedPlace_.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

TWindowPlace TMainForm::CurrentPlace() const {
  TWindowPlace place;
  const bool normal =
      !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
  place.Normal = normal ? geometry() : normalGeometry();
  place.Maximized = windowState() & Qt::WindowMaximized;
  return place;
}

void TMainForm::ReadSettings() {
  const TIniFile ini(settingsPath_);
  settingsNotRegular_ = ini.NotRegular();
  settingsTooLarge_ = ini.TooLarge();
  placeInFile_ = WindowPlace::InFile(ini);
  storedPlace_ = WindowPlace::Read(ini);
  const QStringList devices = Settings::ReadPortDevices(ini);
  for (int i = 0; i < devices.size(); ++i)
    if (!devices[i].isEmpty())
      mip_->Bus.SetPortDevice(static_cast<uint8_t>(i), devices[i].toStdString());
  const TAppSettings s = Settings::Read(ini);
  mip_->Bus.SetPortIndex(Settings::Low8(s.PortNumber));
  mip_->Bus.SetBaudIndex(Settings::Low8(s.BaudRate));
  mip_->Bus.SetWaitTime(Settings::Low16(s.WaitTime));
  mip_->Bus.SetLine(Settings::ReadNetwork(ini));
  mip_->Address = Settings::Low8(s.CurrentAddress);
  showHint_ = s.ShowHint;
  state_.AddressMin = Settings::Low8(s.AddressMin);
  state_.AddressMax = Settings::Low8(s.AddressMax);
  state_.MinArch = Settings::Low16(s.MinArch);
  state_.MaxArch = Settings::Low16(s.MaxArch);
  state_.PollInterval = Settings::ReadPollInterval(ini);
  mip_->SetReadRetries(static_cast<uint8_t>(Settings::ReadReadRetries(ini)));
  state_.FastSearch = Settings::ReadFastSearch(ini);
  journal_->SetRequired(Settings::ReadRequireJournal(ini));
  journal_->SetReportRecords(Settings::ReadJournalReportRecords(ini));
}

TSettingsFileState TMainForm::SettingsFileState() const {
  if (settingsNotRegular_) return TSettingsFileState::NotRegular;
  if (settingsTooLarge_) return TSettingsFileState::TooLarge;
  return TSettingsFileState::Kept;
}

void TMainForm::WriteSettings() {
  if (SettingsFileState() != TSettingsFileState::Kept) return;
  TIniFile ini(settingsPath_);
  TAppSettings s;
  s.PortNumber = mip_->Bus.PortIndex();
  s.BaudRate = mip_->Bus.GetBaudIndex();
  s.WaitTime = mip_->Bus.WaitTime();
  s.CurrentAddress = mip_->Address;
  s.ShowHint = showHint_;
  s.AddressMin = state_.AddressMin;
  s.AddressMax = state_.AddressMax;
  s.MinArch = state_.MinArch;
  s.MaxArch = state_.MaxArch;
  Settings::Write(ini, s);
  Settings::WritePollInterval(ini, state_.PollInterval);
  Settings::WriteReadRetries(ini, mip_->ReadRetries());
  Settings::WriteNetwork(ini, mip_->Bus.Line());
  if (placeInFile_ || shown_) WindowPlace::Write(ini, CurrentPlace());
  Settings::WriteFastSearch(ini, state_.FastSearch);
  Settings::WriteRequireJournal(ini, journal_->Required());
  Settings::WriteJournalReportRecords(ini, journal_->ReportRecords());
  QDir().mkpath(QFileInfo(settingsPath_).absolutePath());
  if (!ini.Save())
    dialogs_->Error(this, QApplication::applicationName(),
                    QString("Unable to write to %1").arg(QDir::toNativeSeparators(settingsPath_)));
}

void TMainForm::Report(const QString& sentence, bool error, const QString& informative) {
  ShowReport(sentence, error, error, informative);
}

// A failure without its box folds with the lines around it as an ordinary line does.
void TMainForm::ReportWithoutBox(const QString& sentence) {
  ShowReport(sentence, true, false, QString());
}

void TMainForm::ShowReport(const QString& sentence, bool error, bool box,
                           const QString& informative) {
  QString line = "[" + TextForms::DateTimeText(NowLocal()) + "] ";
  ++reportCount_;
  if (error) line += "Ошибка: ";
  line += sentence;
  ForMessage->setText(line);
  QPalette palette = ForMessage->palette();
  palette.setColor(QPalette::WindowText,
                   error ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::ButtonText));
  ForMessage->setPalette(palette);
  eventLog_.Add(line, (error ? "1" : "0") + sentence, box);
  if (box) dialogs_->Error(this, "Ошибка", sentence, informative);
}

void TMainForm::SetShowHint(bool on) {
  showHint_ = on;
  toolButtons_[6]->setChecked(on);
  menuItems_[10]->setChecked(on);
}

void TMainForm::ToolTipsCommand() {
  SetShowHint(!showHint_);
}

void TMainForm::ShowEventLog() {
  LogDialog->ShowLog(eventLog_.Lines());
}

void TMainForm::VersionCommand() {
  ShowAbout(this, *dialogs_, ProgramVersionInfo());
}

// Escape in this window while a long job runs stops the job.
bool TMainForm::IsStopKey(QObject* watched, QEvent* event) const {
  if (event->type() != QEvent::KeyPress || StopButton->isHidden()) return false;
  if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  return widget && widget->window() == this && !QApplication::activeModalWidget();
}

// With tool tips off, no control of this window shows its hint; Enter in the address box is
// swallowed.
bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (IsSwallowedEnter(watched, event)) return true;
  if (IsStopKey(watched, event)) {
    devices_->StopCommand();
    return true;
  }
  if (watched == StopButton && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
    LayOutStatusBar();
  if (event->type() == QEvent::ToolTip && !showHint_) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// A port that would not open shows as closed, the reason after "Порт закрыт.", and no error box.
void TMainForm::PresentConnection(const QString& whyClosed) {
  const bool open = mip_->Bus.IsOpen();
  const QString action = open ? "Разорвать связь" : "Соединиться";
  QToolButton* connectButton = toolButtons_[8];
  QAction* connectItem = menuItems_[12];
  connectButton->setChecked(open);
  connectButton->setToolTip(action);
  connectItem->setChecked(open);
  connectItem->setText(action);
  StatusBar->SetPanelText(2, open ? "OnLine" : "OffLine");
  // Where the connection goes: the Com number and its device, or a network line's host:port.
  const QString line = QString::fromStdString(LineCaption(mip_->Bus));
  StatusBar->setToolTip(line);
  ImageStateConnect->setToolTip(line);
  const int picture = open ? 0 : 1;
  ImageStateConnect->setPixmap(ImageLists::Connection(picture, ImageStateConnect->height()));
  // A network line is named on the status line, as a serial port is by its number elsewhere.
  const QString opened =
      mip_->Bus.IsNetworkLine() ? "Порт открыт. Сеть: " + line + "." : QString("Порт открыт.");
  Report(open ? opened : whyClosed.isEmpty() ? "Порт закрыт." : "Порт закрыт. " + whyClosed, false);
  // The connect button and its menu item carry the connection picture too.
  const QIcon icon(ImageLists::Connection(picture, ConnectIconSize));
  connectButton->setIcon(icon);
  connectItem->setIcon(CheckMark::WithCheckMark(icon));
  ImageStateConnect->update();
}

void TMainForm::ShowConfigurationFile(const QString& fileName) {
  setWindowFilePath(fileName);
  setWindowTitle(fileName.isEmpty() ? BaseTitle
                                    : BaseTitle + " - " + QFileInfo(fileName).fileName());
}

// Enter in the address box would otherwise travel on to the window.
bool TMainForm::IsSwallowedEnter(QObject* watched, QEvent* event) const {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
  return watched == CSpinEditAddress || watched->parent() == CSpinEditAddress;
}
