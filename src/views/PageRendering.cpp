// Rendering: the data image written into the current page. Only value cells, pushed buttons and
// the settings controls change; labels, headers and for-all rows keep their texts.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTimeEdit>

#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#include "views/ChoiceLists.h"
#include "views/Design.h"
#include "views/FlagButtons.h"
#include "views/ImageLists.h"
#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

using FlagButtons::ForAllState;
using FlagButtons::LineState;

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

void SelectItem(QComboBox* combo, unsigned code) {
  const QSignalBlocker blocker(combo);
  combo->setCurrentIndex(code < static_cast<unsigned>(combo->count()) ? static_cast<int>(code)
                                                                      : -1);
}

void ShowCheck(QCheckBox* box, bool on) {
  const QSignalBlocker blocker(box);
  box->setChecked(on);
}

}  // namespace

// Rendering runs while a job's end or a page change is being handled, long after the user's last
// edit; the controls it moves must not count as edits, or leaving the page would offer to write
// what nobody changed.
void TPageViews::Render() {
  const bool wasRendering = std::exchange(rendering_, true);
  ShowInstrumentCounts();
  RenderCurrentPage();
  rendering_ = wasRendering;
}

void TPageViews::ShowInstrumentCounts() {
  const int channels = image_.ChannelCount;
  const int relays = image_.RelayCount;
  if (channels == shownChannels_ && relays == shownRelays_) return;
  shownChannels_ = channels;
  shownRelays_ = relays;
  for (int n = 1; n <= 21; ++n) {
    // The logic grids have a header row above their for-all row.
    const int firstChannelRow = n >= 18 ? 2 : 1;
    for (int ch = 1; ch <= MaxChannels; ++ch)
      grids_[n]->SetRowEnabled(firstChannelRow + ch - 1, ch <= channels);
  }
  for (TglAskListBox* list : {glAskListBox1, glAskListBox2, glAskListBox4})
    for (int ch = 1; ch <= MaxChannels; ++ch) list->SetLineEnabled(ch, ch <= channels);
  for (TglAskListBox* list : {glAskListBox5, glAskListBox6})
    for (int relay = 1; relay <= MaxRelays; ++relay) list->SetLineEnabled(relay, relay <= relays);
  ShowChoicesWithinCounts(channels, relays);
  archiveGrid_->Model()->SetChannelCount(channels);
}

// Item k of the relay lists is relay k and item k of the cold junction list is channel k; item 0
// ("none") is always there.
void TPageViews::ShowChoicesWithinCounts(int channels, int relays) {
  for (int relay = 1; relay <= MaxRelays; ++relay) {
    MenuRelay->SetItemEnabled(relay, relay <= relays);
    for (QComboBox* combo : {ComboBox1, ComboBox6})
      if (auto* items = qobject_cast<QStandardItemModel*>(combo->model()))
        if (QStandardItem* item = items->item(relay)) item->setEnabled(relay <= relays);
  }
  for (int ch = 1; ch <= MaxChannels; ++ch) KXCMenu->SetItemEnabled(ch, ch <= channels);
}

void TPageViews::MarkModified() {
  if (!rendering_) Modified = true;
}

void TPageViews::RenderCurrentPage() {
  const uint8_t code = PageJobCode();
  const TConfigBlock& c = image_.Config;
  switch (code) {
    case 0:
      RenderMeasurements(grids_[1], image_.CurrentValue);
      break;
    case 1:
      grids_[2]->SetCells(1, 0, TextForms::DateTimeText(image_.LastCycleTime));
      RenderMeasurements(grids_[2], image_.LastCycleValue);
      break;
    case 2:
      RenderCaptions(grids_[3], c.TypeSensor, ChoiceLists::SensorTypes(), code);
      break;
    case 3:
      RenderFlags(glAskListBox1, c.ThreeWire, false, code);
      break;
    case 4:
      RenderFlags(glAskListBox2, c.BreakCheck, false, code);
      break;
    case 5:
      RenderCaptions(grids_[17], c.KXC, ChoiceLists::ColdJunctions(), code);
      break;
    case 6:
      RenderFlags(glAskListBox4, c.SquareRoot, false, code);
      break;
    case 7:
      RenderCaptions(grids_[4], c.Filter, ChoiceLists::Filters(), code);
      break;
    case 8:
      RenderCaptions(grids_[5], c.Comma, ChoiceLists::Commas(), code);
      break;
    case 9:
      RenderNumbers(grids_[6], c.Minimum, 5, code);
      break;
    case 10:
      RenderNumbers(grids_[7], c.Maximum, 5, code);
      break;
    case 11:
    case 12:
    case 13:
    case 14:
      RenderNumbers(grids_[8 + code - 11], c.Setpoint[code - 11], 3, code);
      break;
    case 15:
      RenderNumbers(grids_[12], c.Hysteresis, 1, code);
      break;
    case 16:
    case 17:
    case 18:
    case 19:
      RenderCaptions(grids_[13 + code - 16], c.SetpointRelay[code - 16], ChoiceLists::Relays(),
                     code);
      break;
    case 20:
      RenderFaultRelays();
      break;
    case 21:
      RenderFlags(glAskListBox5, c.RelayByComputer, true, code);
      break;
    case 22:
      RenderFlags(glAskListBox6, c.RelayTestOn, false, code);
      break;
    case 23:
    case 24:
    case 25:
    case 26:
      RenderLogic(code - 23);
      break;
    case 30:
      RenderSettingsPage();
      break;
    case 34:
      RenderArchive();
      break;
    default:
      break;
  }
}

void TPageViews::RenderMeasurements(TStringGrid* grid, const float* values) {
  for (int n = 1; n <= MaxChannels; ++n)
    grid->SetCells(1, n, TextForms::MeasurementText(values[n - 1]));
}

void TPageViews::RenderCaptions(TStringGrid* grid, const uint8_t* codes, const QStringList& items,
                                int group) {
  for (int n = 1; n <= MaxChannels; ++n) {
    if (image_.Shows(group, &codes[n - 1], 1))
      grid->SetCells(1, n, ChoiceLists::CaptionOf(items, codes[n - 1]));
    else
      grid->SetCellNotRead(1, n);
  }
}

void TPageViews::RenderNumbers(TStringGrid* grid, const TLeFloat* values, int decimals, int group) {
  for (int n = 1; n <= MaxChannels; ++n) {
    if (image_.Shows(group, &values[n - 1], sizeof(TLeFloat)))
      grid->SetCells(1, n, TextForms::FixedText(values[n - 1].Get(), decimals));
    else
      grid->SetCellNotRead(1, n);
  }
}

void TPageViews::RenderFlags(TglAskListBox* list, const uint8_t* flags, bool mirrored, int group) {
  ShowForAllLine(list, flags, mirrored, group);
  for (int n = 1; n <= MaxChannels; ++n) {
    if (image_.Shows(group, &flags[n - 1], 1))
      list->SetState(n, LineState(flags[n - 1], mirrored));
    else
      list->SetLineNotRead(n);
  }
}

// The for-all line shows the common value only when every value is known.
void TPageViews::ShowForAllLine(TglAskListBox* list, const uint8_t* flags, bool mirrored,
                                int group) {
  bool known = true;
  for (int i = 0; i < MaxChannels; ++i) known = known && image_.Shows(group, &flags[i], 1);
  list->SetState(0, known ? ForAllState(flags, mirrored) : TglAskListBox::None);
}

// Set without side effects: the boxes show the stored bits and nothing is marked as edited. A
// group not read shows no relay chosen and no box ticked, on grey.
void TPageViews::RenderFaultRelays() {
  constexpr int group = 20;
  const TConfigBlock& c = image_.Config;
  const auto shows = [this, &c](const uint8_t& field, uint8_t bits) {
    return image_.Shows(group, &field, 1, bits);
  };
  SelectItem(ComboBox1, shows(c.DeviceFaultRelay, 0xFF) ? c.DeviceFaultRelay : 0xFFu);
  ShowCheck(CheckBox1, shows(c.DeviceFaultFlags, 1) && (c.DeviceFaultFlags & 1));
  ShowCheck(CheckBox3, shows(c.DeviceFaultFlags, 2) && (c.DeviceFaultFlags & 2));
  SelectItem(ComboBox6, shows(c.SensorFaultRelay, 0xFF) ? c.SensorFaultRelay : 0xFFu);
  ShowCheck(CheckBox2, shows(c.SensorFaultFlags, 1) && (c.SensorFaultFlags & 1));
  ShowCheck(CheckBox4, shows(c.SensorFaultFlags, 2) && (c.SensorFaultFlags & 2));
  ShowNotRead(ComboBox1, !shows(c.DeviceFaultRelay, 0xFF));
  ShowNotRead(CheckBox1, !shows(c.DeviceFaultFlags, 1));
  ShowNotRead(CheckBox3, !shows(c.DeviceFaultFlags, 2));
  ShowNotRead(ComboBox6, !shows(c.SensorFaultRelay, 0xFF));
  ShowNotRead(CheckBox2, !shows(c.SensorFaultFlags, 1));
  ShowNotRead(CheckBox4, !shows(c.SensorFaultFlags, 2));
}

void TPageViews::RenderLogic(int setpoint) {
  const TConfigBlock& c = image_.Config;
  const int group = 23 + setpoint;
  TStringGrid* grid = grids_[18 + setpoint];
  const std::tuple<const uint8_t*, const QStringList&> columns[] = {
      {c.LogicCondition[setpoint], ChoiceLists::LogicConditions()},
      {c.LogicFault[setpoint], ChoiceLists::LogicFaults()},
      {c.LogicFilter[setpoint], ChoiceLists::LogicFilters()}};
  for (int col = 1; col <= 3; ++col) {
    const auto& [codes, items] = columns[col - 1];
    for (int n = 1; n <= MaxChannels; ++n) {
      if (image_.Shows(group, &codes[n - 1], 1))
        grid->SetCells(col, n + 1, ChoiceLists::CaptionOf(items, codes[n - 1]));
      else
        grid->SetCellNotRead(col, n + 1);
    }
  }
}

QString TPageViews::ArchivePeriodText() const {
  const TConfigBlock& c = image_.Config;
  constexpr int group = 27;
  if (!image_.Shows(group, &c.ArchivePeriod, 2) ||
      !(image_.GroupKnown(group) || image_.IsEdited(&c.MeasurePeriod, sizeof c.MeasurePeriod)))
    return QString();
  const double measure = image_.Config.MeasurePeriod.Get();
  const double period = std::fabs(measure) < 0.001 ? image_.NominalPeriod : measure;
  return TextForms::FixedText(image_.Config.ArchivePeriod.Get() * period, 3) + " сек.";
}

// A control whose value was not read shows on grey.
void TPageViews::ShowNotRead(QWidget* control, bool notRead) {
  if (control->property("notRead").toBool() == notRead) return;
  control->setProperty("notRead", notRead);
  if (!notRead) {
    control->setPalette(QPalette());
    return;
  }
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, Design::NotReadColor());
  palette.setColor(QPalette::Button, Design::NotReadColor());
  control->setPalette(palette);
}

// The settings group not read: the entry fields are empty and the identity is not shown.
void TPageViews::RenderSettingsPage() {
  const TConfigBlock& c = image_.Config;
  constexpr int group = 27;
  const bool known = image_.GroupKnown(group);
  const QDateTime clock = TextForms::ToQDateTime(image_.DeviceClock);
  {
    // The pickers' change handler combines both; setting one at a time must not reach it.
    const QSignalBlocker dateBlocker(DateTimePicker1);
    const QSignalBlocker timeBlocker(DateTimePicker2);
    DateTimePicker1->setDate(clock.date());
    DateTimePicker2->setTime(clock.time());
  }
  // A stored value outside a spin edit's range is taken over as the spin edit shows it, limited to
  // the range, so that what is written is what the page shows; that is no edit of the user's.
  if (ShowSpin(CSpinEdit2, c.Password.Get(), image_.Shows(group, &c.Password, 2)) &&
      CSpinEdit2->value() != c.Password.Get())
    PasswordEdited(CSpinEdit2->value());
  if (known) addressTyped_ = false;
  if (ShowSpin(CSpinEdit3, image_.InterfaceAddress, known || addressTyped_) &&
      CSpinEdit3->value() != image_.InterfaceAddress)
    AddressEdited(CSpinEdit3->value());
  SelectItem(ComboBox2, known ? c.Protocol : 0xFFu);
  ShowNotRead(ComboBox2, !known);
  const bool speedShown = image_.Shows(group, &c.InterfaceSpeed, 1);
  SelectItem(ComboBox3, speedShown ? c.InterfaceSpeed : 0xFFu);
  ShowNotRead(ComboBox3, !speedShown);
  labels_[1]->setText(
      known ? "Номинальный " + TextForms::FixedText(image_.NominalPeriod, 3) + " сек." : QString());
  const bool periodShown = image_.Shows(group, &c.MeasurePeriod, sizeof c.MeasurePeriod);
  Edit1->setText(periodShown ? TextForms::FixedText(c.MeasurePeriod.Get(), 3) : QString());
  ShowNotRead(Edit1, !periodShown);
  ShowSpin(CSpinEdit1, c.ArchivePeriod.Get(), image_.Shows(group, &c.ArchivePeriod, 2));
  labels_[25]->setText(ArchivePeriodText());
  labels_[7]->setText(ChoiceLists::StateText(image_.DeviceState));
  Image1->setPixmap(ImageLists::State(ChoiceLists::StatePicture(image_.DeviceState)));
  labels_[9]->setText(QString::number(image_.ArchiveCurrent));
  labels_[22]->setText(known ? FromWindows1251(image_.DeviceId, sizeof image_.DeviceId)
                             : QString());
  labels_[20]->setText(known ? ChoiceLists::ModelName(image_.ModelCode) : QString());
  labels_[18]->setText(
      known ? QString("%1.%2").arg(image_.FirmwareVersion >> 8).arg(image_.FirmwareVersion & 0xFF)
            : QString());
  labels_[14]->setText(known ? QString::number(image_.DeviceChannels) : QString());
  labels_[15]->setText(known ? QString::number(image_.DeviceRelays) : QString());
  labels_[16]->setText(known ? QString::number(image_.ArchiveDepth) : QString());
}

// A spin edit shows a known value, or nothing on grey; true when it shows the value.
bool TPageViews::ShowSpin(QSpinBox* spin, int value, bool shown) {
  const QSignalBlocker blocker(spin);
  ShowNotRead(spin, !shown);
  // The blank stands for the minimum only while nothing is known.
  spin->setSpecialValueText(shown ? QString() : QString(" "));
  spin->setValue(shown ? value : spin->minimum());
  return shown;
}

// The grid formats what it shows when it paints: rendering costs the same for any number of
// records.
void TPageViews::RenderArchive() {
  archiveGrid_->Model()->ShowImage(&image_.MeasArchive);
}

void TPageViews::ArchiveReadStarts() {
  archiveGrid_->Model()->BeginRead();
}

void TPageViews::ArchiveRecordsArrived(const std::vector<MeasurementRecord>& batch) {
  archiveGrid_->Model()->AppendRead(batch);
}

void TPageViews::ArchiveReadEnded() {
  RenderArchive();
}
