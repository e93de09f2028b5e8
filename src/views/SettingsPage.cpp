#include "views/SettingsPage.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "instrument/JobMessages.h"
#include "instrument/ValueTexts.h"
#include "views/ChoiceLists.h"
#include "views/Design.h"
#include "views/ImageLists.h"
#include "views/SpinEdit.h"
#include "views/TextForms.h"

namespace {

QGroupBox* GroupBox(const QString& name, const QString& title) {
  auto* box = new QGroupBox(title);
  box->setObjectName(name);
  return box;
}

void SelectItem(QComboBox* combo, unsigned code) {
  const QSignalBlocker blocker(combo);
  combo->setCurrentIndex(code < static_cast<unsigned>(combo->count()) ? static_cast<int>(code)
                                                                      : -1);
}

// The instrument's identity text is single-byte Windows-1251; Russian letters and Ё/ё are mapped,
// anything else outside ASCII shows as a replacement character.
QString FromWindows1251(const char* text, size_t capacity) {
  QString result;
  for (size_t i = 0; i < capacity && text[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x80)
      result += QChar(byte);
    else if (byte >= 0xC0)
      result += QChar(0x0410 + (byte - 0xC0));
    else if (byte == 0xA8)
      result += QChar(0x0401);
    else if (byte == 0xB8)
      result += QChar(0x0451);
    else
      result += QChar(0xFFFD);
  }
  return result;
}

}  // namespace

TSettingsPage::TSettingsPage(TPageContext& context, QObject* parent, const TGroup& group)
    : TPage(context, parent, group) {
  auto* content = new QWidget;
  auto* page = new QGridLayout(content);
  page->addWidget(BuildClock(), 0, 0);
  page->addWidget(BuildPasswords(), 1, 0);
  page->addWidget(BuildInterface(), 2, 0);
  page->addWidget(BuildPeriods(), 0, 1, 2, 1);
  page->addWidget(BuildState(), 2, 1);
  page->addWidget(BuildConfiguration(), 0, 2, 3, 1);
  page->setRowStretch(3, 1);
  page->setColumnStretch(3, 1);

  auto* scroll = new QScrollArea;
  scroll->setObjectName("TabSheet14Scroll");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(content);
  MakeSheet("TabSheet14")->addWidget(scroll);
  WireEdits();
}

QLabel* TSettingsPage::MakeLabel(int n, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString("Label%1").arg(n));
  labels_[n] = label;
  return label;
}

QGroupBox* TSettingsPage::BuildClock() {
  QGroupBox* clock = GroupBox("GroupBox1", "Дата и время");
  auto* layout = new QGridLayout(clock);
  DateTimePicker1 = new QDateEdit(clock);
  DateTimePicker1->setObjectName("DateTimePicker1");
  DateTimePicker1->setCalendarPopup(true);
  DateTimePicker1->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  DateTimePicker2 = new QTimeEdit(clock);
  DateTimePicker2->setObjectName("DateTimePicker2");
  DateTimePicker2->setDisplayFormat("HH:mm:ss");
  Button1 = new QPushButton("Записать", clock);
  Button1->setObjectName("Button1");
  Button2 = new QPushButton("Записать системное", clock);
  Button2->setObjectName("Button2");
  layout->addWidget(DateTimePicker1, 0, 0);
  layout->addWidget(DateTimePicker2, 0, 1);
  layout->addWidget(Button1, 1, 0);
  layout->addWidget(Button2, 1, 1);
  return clock;
}

QGroupBox* TSettingsPage::BuildPasswords() {
  QGroupBox* passwords = GroupBox("GroupBox2", "Пароли");
  auto* layout = new QGridLayout(passwords);
  CSpinEdit2 = new TCSpinEdit("CSpinEdit2", 0, 9999, passwords);
  layout->addWidget(MakeLabel(3, "Общий:", passwords), 0, 0);
  layout->addWidget(CSpinEdit2, 0, 1);
  layout->setColumnStretch(2, 1);
  return passwords;
}

QGroupBox* TSettingsPage::BuildInterface() {
  QGroupBox* interface = GroupBox("GroupBox3", "Интерфейс");
  auto* layout = new QGridLayout(interface);
  CSpinEdit3 = new TCSpinEdit("CSpinEdit3", 1, 255, interface);
  SpeedButton1 = new QToolButton(interface);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setIcon(ImageLists::WriteAddress());
  SpeedButton1->setToolTip("Записать");
  SpeedButton1->setAutoRaise(true);
  ComboBox2 = new QComboBox(interface);
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->addItems(ChoiceLists::Protocols());
  ComboBox3 = new QComboBox(interface);
  ComboBox3->setObjectName("ComboBox3");
  ComboBox3->addItems(ChoiceLists::Speeds());
  layout->addWidget(MakeLabel(4, "Адрес:", interface), 0, 0);
  layout->addWidget(CSpinEdit3, 0, 1);
  layout->addWidget(SpeedButton1, 0, 2);
  layout->addWidget(MakeLabel(5, "Протокол:", interface), 1, 0);
  layout->addWidget(ComboBox2, 1, 1, 1, 2);
  layout->addWidget(MakeLabel(6, "Скорость:", interface), 2, 0);
  layout->addWidget(ComboBox3, 2, 1, 1, 2);
  return interface;
}

QGroupBox* TSettingsPage::BuildPeriods() {
  QGroupBox* periods = GroupBox("GroupBox5", "Периоды измерения и архивации");
  auto* layout = new QGridLayout(periods);
  Edit1 = new QLineEdit(periods);
  Edit1->setObjectName("Edit1");
  CSpinEdit1 = new TCSpinEdit("CSpinEdit1", 0, 65535, periods);
  Edit1->setMaximumWidth(Design::Px(72));
  CSpinEdit1->setMaximumWidth(Design::Px(72));
  layout->addWidget(MakeLabel(1, QString(), periods), 0, 0, 1, 3);
  layout->addWidget(MakeLabel(2, "Период измерения:", periods), 1, 0);
  layout->addWidget(Edit1, 1, 1);
  layout->addWidget(MakeLabel(23, "0 - номинальный", periods), 1, 2);
  layout->addWidget(MakeLabel(10, "Период архивации:", periods), 2, 0);
  layout->addWidget(CSpinEdit1, 2, 1);
  layout->addWidget(MakeLabel(24, "(в периодах изм.)", periods), 2, 2);
  layout->addWidget(MakeLabel(25, QString(), periods), 3, 1, 1, 2);
  return periods;
}

QGroupBox* TSettingsPage::BuildState() {
  QGroupBox* state = GroupBox("GroupBox6", "Состояние");
  auto* layout = new QGridLayout(state);
  Image1 = new QLabel(state);
  Image1->setObjectName("Image1");
  Image1->setFixedSize(ImageLists::StateImageSize, ImageLists::StateImageSize);
  layout->addWidget(Image1, 0, 0);
  layout->addWidget(MakeLabel(7, QString(), state), 0, 1);
  layout->addWidget(MakeLabel(8, "Текущая архивная запись", state), 1, 0, 1, 2);
  layout->addWidget(MakeLabel(9, QString(), state), 1, 2);
  layout->setColumnStretch(1, 1);
  return state;
}

QGroupBox* TSettingsPage::BuildConfiguration() {
  QGroupBox* configuration = GroupBox("GroupBox4", "Конфигурация");
  auto* layout = new QGridLayout(configuration);
  const int pairs[][2] = {{21, 22}, {19, 20}, {17, 18}, {11, 14}, {12, 15}, {13, 16}};
  const char* captions[] = {
      "ID:", "Имя прибора:", "Версия ПО:", "Кол-во каналов:", "Кол-во реле:", "Глубина архива:"};
  for (int i = 0; i < 6; ++i) {
    layout->addWidget(MakeLabel(pairs[i][0], captions[i], configuration), i, 0);
    layout->addWidget(MakeLabel(pairs[i][1], QString(), configuration), i, 1);
  }
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(6, 1);
  return configuration;
}

// The settings group not read: the entry fields are empty and the identity is not shown.
void TSettingsPage::Render() {
  const TDataImage& image = Image();
  const TConfigBlock& c = image.Config;
  constexpr int group = SettingsGroup;
  const bool known = image.GroupKnown(group);
  const QDateTime clock = TextForms::ToQDateTime(image.DeviceClock);
  {
    // The pickers' change handler combines both; setting one at a time must not reach it.
    const QSignalBlocker dateBlocker(DateTimePicker1);
    const QSignalBlocker timeBlocker(DateTimePicker2);
    DateTimePicker1->setDate(clock.date());
    DateTimePicker2->setTime(clock.time());
  }
  // A stored value outside a spin edit's range is taken over as the spin edit shows it, limited to
  // the range, so that what is written is what the page shows; that is no edit of the user's.
  if (ShowSpin(CSpinEdit2, c.Password.Get(), image.Shows(group, &c.Password, 2)) &&
      CSpinEdit2->value() != c.Password.Get())
    PasswordEdited(CSpinEdit2->value());
  if (known) addressTyped_ = false;
  if (ShowSpin(CSpinEdit3, image.InterfaceAddress, known || addressTyped_) &&
      CSpinEdit3->value() != image.InterfaceAddress)
    AddressEdited(CSpinEdit3->value());
  SelectItem(ComboBox2, known ? c.Protocol : 0xFFu);
  ShowNotRead(ComboBox2, !known);
  const bool speedShown = image.Shows(group, &c.InterfaceSpeed, 1);
  SelectItem(ComboBox3, speedShown ? c.InterfaceSpeed : 0xFFu);
  ShowNotRead(ComboBox3, !speedShown);
  labels_[1]->setText(
      known ? "Номинальный " + TextForms::FixedText(image.NominalPeriod, 3) + " сек." : QString());
  const bool periodShown = image.Shows(group, &c.MeasurePeriod, sizeof c.MeasurePeriod);
  Edit1->setText(periodShown
                     ? TextForms::FixedText(c.MeasurePeriod.Get(), ValueTexts::PeriodDecimals)
                     : QString());
  ShowNotRead(Edit1, !periodShown);
  ShowSpin(CSpinEdit1, c.ArchivePeriod.Get(), image.Shows(group, &c.ArchivePeriod, 2));
  labels_[25]->setText(ArchivePeriodText());
  ShowDeviceState();
  RenderIdentity(known);
}

void TSettingsPage::ShowDeviceState() {
  labels_[7]->setText(ChoiceLists::StateText(Image().DeviceState));
  Image1->setPixmap(ImageLists::State(StatePicture(Image().DeviceState)));
  labels_[9]->setText(QString::number(Image().ArchiveCurrent));
}

void TSettingsPage::RenderIdentity(bool known) {
  const TDataImage& image = Image();
  labels_[22]->setText(known ? FromWindows1251(image.DeviceId, sizeof image.DeviceId) : QString());
  labels_[20]->setText(known ? ChoiceLists::ModelName(image.ModelCode) : QString());
  labels_[18]->setText(
      known ? QString("%1.%2").arg(image.FirmwareVersion >> 8).arg(image.FirmwareVersion & 0xFF)
            : QString());
  labels_[14]->setText(known ? QString::number(image.DeviceChannels) : QString());
  labels_[15]->setText(known ? QString::number(image.DeviceRelays) : QString());
  labels_[16]->setText(known ? QString::number(image.ArchiveDepth) : QString());
}

// A spin edit shows a known value, or nothing on grey; true when it shows the value.
bool TSettingsPage::ShowSpin(QSpinBox* spin, int value, bool shown) {
  const QSignalBlocker blocker(spin);
  ShowNotRead(spin, !shown);
  // The blank stands for the minimum only while nothing is known.
  spin->setSpecialValueText(shown ? QString() : QString(" "));
  spin->setValue(shown ? value : spin->minimum());
  return shown;
}

QString TSettingsPage::ArchivePeriodText() const {
  const TDataImage& image = Image();
  const TConfigBlock& c = image.Config;
  constexpr int group = SettingsGroup;
  if (!image.Shows(group, &c.ArchivePeriod, 2) ||
      !(image.GroupKnown(group) || image.IsEdited(&c.MeasurePeriod, sizeof c.MeasurePeriod)))
    return QString();
  const double measure = c.MeasurePeriod.Get();
  const double period = std::fabs(measure) < 0.001 ? image.NominalPeriod : measure;
  return TextForms::FixedText(c.ArchivePeriod.Get() * period, 3) + " сек.";
}
