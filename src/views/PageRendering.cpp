// Rendering: the data image written into the current page. Only value cells, pushed buttons and
// the settings controls change; labels, headers and for-all rows keep their texts.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>

#include <cmath>
#include <cstring>
#include <utility>

#include "views/ChoiceLists.h"
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

void ShowSpinValue(QSpinBox* spin, int value) {
  const QSignalBlocker blocker(spin);
  spin->setValue(value);
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
      RenderCaptions(grids_[3], c.TypeSensor, ChoiceLists::SensorTypes());
      break;
    case 3:
      RenderFlags(glAskListBox1, c.ThreeWire, false);
      break;
    case 4:
      RenderFlags(glAskListBox2, c.BreakCheck, false);
      break;
    case 5:
      RenderCaptions(grids_[17], c.KXC, ChoiceLists::ColdJunctions());
      break;
    case 6:
      RenderFlags(glAskListBox4, c.SquareRoot, false);
      break;
    case 7:
      RenderCaptions(grids_[4], c.Filter, ChoiceLists::Filters());
      break;
    case 8:
      RenderCaptions(grids_[5], c.Comma, ChoiceLists::Commas());
      break;
    case 9:
      RenderNumbers(grids_[6], c.Minimum, 5);
      break;
    case 10:
      RenderNumbers(grids_[7], c.Maximum, 5);
      break;
    case 11:
    case 12:
    case 13:
    case 14:
      RenderNumbers(grids_[8 + code - 11], c.Setpoint[code - 11], 3);
      break;
    case 15:
      RenderNumbers(grids_[12], c.Hysteresis, 1);
      break;
    case 16:
    case 17:
    case 18:
    case 19:
      RenderCaptions(grids_[13 + code - 16], c.SetpointRelay[code - 16], ChoiceLists::Relays());
      break;
    case 20:
      RenderFaultRelays();
      break;
    case 21:
      RenderFlags(glAskListBox5, c.RelayByComputer, true);
      break;
    case 22:
      RenderFlags(glAskListBox6, c.RelayTestOn, false);
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

void TPageViews::RenderCaptions(TStringGrid* grid, const uint8_t* codes, const QStringList& items) {
  for (int n = 1; n <= MaxChannels; ++n)
    grid->SetCells(1, n, ChoiceLists::CaptionOf(items, codes[n - 1]));
}

void TPageViews::RenderNumbers(TStringGrid* grid, const TLeFloat* values, int decimals) {
  for (int n = 1; n <= MaxChannels; ++n)
    grid->SetCells(1, n, TextForms::FixedText(values[n - 1].Get(), decimals));
}

void TPageViews::RenderFlags(TglAskListBox* list, const uint8_t* flags, bool mirrored) {
  list->SetState(0, ForAllState(flags, mirrored));
  for (int n = 1; n <= MaxChannels; ++n) list->SetState(n, LineState(flags[n - 1], mirrored));
}

// Set without side effects: the boxes show the stored bits and nothing is marked as edited.
void TPageViews::RenderFaultRelays() {
  const TConfigBlock& c = image_.Config;
  SelectItem(ComboBox1, c.DeviceFaultRelay);
  ShowCheck(CheckBox1, c.DeviceFaultFlags & 1);
  ShowCheck(CheckBox3, c.DeviceFaultFlags & 2);
  SelectItem(ComboBox6, c.SensorFaultRelay);
  ShowCheck(CheckBox2, c.SensorFaultFlags & 1);
  ShowCheck(CheckBox4, c.SensorFaultFlags & 2);
}

void TPageViews::RenderLogic(int setpoint) {
  const TConfigBlock& c = image_.Config;
  TStringGrid* grid = grids_[18 + setpoint];
  for (int n = 1; n <= MaxChannels; ++n) {
    const int i = n - 1;
    grid->SetCells(
        1, n + 1,
        ChoiceLists::CaptionOf(ChoiceLists::LogicConditions(), c.LogicCondition[setpoint][i]));
    grid->SetCells(2, n + 1,
                   ChoiceLists::CaptionOf(ChoiceLists::LogicFaults(), c.LogicFault[setpoint][i]));
    grid->SetCells(3, n + 1,
                   ChoiceLists::CaptionOf(ChoiceLists::LogicFilters(), c.LogicFilter[setpoint][i]));
  }
}

QString TPageViews::ArchivePeriodText() const {
  const double measure = image_.Config.MeasurePeriod.Get();
  const double period = std::fabs(measure) < 0.001 ? image_.NominalPeriod : measure;
  return TextForms::FixedText(image_.Config.ArchivePeriod.Get() * period, 3) + " сек.";
}

void TPageViews::RenderSettingsPage() {
  const TConfigBlock& c = image_.Config;
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
  ShowSpinValue(CSpinEdit2, c.Password.Get());
  if (CSpinEdit2->value() != c.Password.Get()) PasswordEdited(CSpinEdit2->value());
  ShowSpinValue(CSpinEdit3, image_.InterfaceAddress);
  if (CSpinEdit3->value() != image_.InterfaceAddress) AddressEdited(CSpinEdit3->value());
  SelectItem(ComboBox2, c.Protocol);
  SelectItem(ComboBox3, c.InterfaceSpeed);
  labels_[1]->setText("Номинальный " + TextForms::FixedText(image_.NominalPeriod, 3) + " сек.");
  Edit1->setText(TextForms::FixedText(c.MeasurePeriod.Get(), 3));
  ShowSpinValue(CSpinEdit1, c.ArchivePeriod.Get());
  labels_[25]->setText(ArchivePeriodText());
  labels_[7]->setText(ChoiceLists::StateText(image_.DeviceState));
  Image1->setPixmap(ImageLists::State(ChoiceLists::StatePicture(image_.DeviceState)));
  labels_[9]->setText(QString::number(image_.ArchiveCurrent));
  labels_[22]->setText(FromWindows1251(image_.DeviceId, sizeof image_.DeviceId));
  labels_[20]->setText(ChoiceLists::ModelName(image_.ModelCode));
  labels_[18]->setText(
      QString("%1.%2").arg(image_.FirmwareVersion >> 8).arg(image_.FirmwareVersion & 0xFF));
  labels_[14]->setText(QString::number(image_.DeviceChannels));
  labels_[15]->setText(QString::number(image_.DeviceRelays));
  labels_[16]->setText(QString::number(image_.ArchiveDepth));
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
