#include "views/FaultRelayPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

#include "views/ChoiceLists.h"

namespace {

void SelectItem(QComboBox* combo, unsigned code) {
  const QSignalBlocker blocker(combo);
  combo->setCurrentIndex(code < static_cast<unsigned>(combo->count()) ? static_cast<int>(code)
                                                                      : -1);
}

void ShowCheck(QCheckBox* box, bool on) {
  const QSignalBlocker blocker(box);
  box->setChecked(on);
}

// Bits 0 and 1 follow the two boxes; the other six bits of the byte stay as they were.
uint8_t FaultFlags(uint8_t old, const QCheckBox* bit0, const QCheckBox* bit1) {
  return static_cast<uint8_t>((old & ~3u) | (bit0->isChecked() ? 1u : 0u) |
                              (bit1->isChecked() ? 2u : 0u));
}

QGroupBox* FaultBox(const QString& name, const QString& title, const QString& comboName,
                    const QString& check1Name, const QString& check1Text, const QString& check2Name,
                    QComboBox** combo, QCheckBox** check1, QCheckBox** check2) {
  auto* box = new QGroupBox(title);
  box->setObjectName(name);
  auto* boxLayout = new QVBoxLayout(box);
  *combo = new QComboBox(box);
  (*combo)->setObjectName(comboName);
  (*combo)->setMaxVisibleItems(12);
  *check1 = new QCheckBox(check1Text, box);
  (*check1)->setObjectName(check1Name);
  *check2 = new QCheckBox("Реакция со второго раза", box);
  (*check2)->setObjectName(check2Name);
  boxLayout->addWidget(*combo);
  boxLayout->addWidget(*check1);
  boxLayout->addWidget(*check2);
  boxLayout->addStretch(1);
  return box;
}

}  // namespace

TFaultRelayPage::TFaultRelayPage(TPageContext& context, QObject* parent, const TGroup& group)
    : TPage(context, parent, group) {
  Build();
  WireEdits();
}

void TFaultRelayPage::Build() {
  sheet_ = new QWidget;
  sheet_->setObjectName("TabSheet27");
  auto* layout = new QGridLayout(sheet_);
  GroupBox7 =
      FaultBox("GroupBox7", "Реле не нормы прибора", "ComboBox1", "CheckBox1",
               "Включать по неисправности", "CheckBox3", &ComboBox1, &CheckBox1, &CheckBox3);
  GroupBox8 =
      FaultBox("GroupBox8", "Реле не нормы датчиков", "ComboBox6", "CheckBox2",
               "Выключать по неисправности", "CheckBox4", &ComboBox6, &CheckBox2, &CheckBox4);
  layout->addWidget(GroupBox7, 0, 0);
  layout->addWidget(GroupBox8, 0, 1);
  layout->setRowStretch(1, 1);
}

void TFaultRelayPage::SetFixedTexts() {
  for (QComboBox* combo : {ComboBox1, ComboBox6}) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    combo->addItems(ChoiceLists::Relays());
    combo->setCurrentIndex(0);
  }
}

// Set without side effects: the boxes show the stored bits and nothing is marked as edited. A
// group not read shows no relay chosen and no box ticked, on grey.
void TFaultRelayPage::Render() {
  const TConfigBlock& c = Image().Config;
  const auto shows = [this](const uint8_t& field, uint8_t bits) {
    return Image().Shows(Group(), &field, 1, bits);
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

// Item k of the relay lists is relay k; item 0 ("none") is always there.
void TFaultRelayPage::ShowCounts(int, int relays) {
  for (QComboBox* combo : {ComboBox1, ComboBox6})
    if (auto* items = qobject_cast<QStandardItemModel*>(combo->model()))
      for (int relay = 1; relay <= MaxRelays; ++relay)
        if (QStandardItem* item = items->item(relay)) item->setEnabled(relay <= relays);
}

void TFaultRelayPage::WireEdits() {
  TConfigBlock& c = Image().Config;
  for (const auto& [combo, field] :
       {std::pair{ComboBox1, &c.DeviceFaultRelay}, std::pair{ComboBox6, &c.SensorFaultRelay}}) {
    connect(combo, &QComboBox::activated, this, [this, combo, field](int index) {
      *field = static_cast<uint8_t>(index);
      Image().MarkEdited(field, 1);
      ShowNotRead(combo, false);
      context_.MarkModified();
    });
  }
  // Each box edits its own bit: of a byte not read, the other box's bit is no edit.
  const std::tuple<QCheckBox*, uint8_t*, QCheckBox*, QCheckBox*, uint8_t> boxes[] = {
      {CheckBox1, &c.DeviceFaultFlags, CheckBox1, CheckBox3, 1},
      {CheckBox3, &c.DeviceFaultFlags, CheckBox1, CheckBox3, 2},
      {CheckBox2, &c.SensorFaultFlags, CheckBox2, CheckBox4, 1},
      {CheckBox4, &c.SensorFaultFlags, CheckBox2, CheckBox4, 2}};
  for (const auto& [box, field, bit0, bit1, bit] : boxes) {
    connect(box, &QCheckBox::clicked, this, [this, box, field, bit0, bit1, bit] {
      const uint8_t wanted = FaultFlags(*field, bit0, bit1);
      *field = static_cast<uint8_t>((*field & ~bit) | (wanted & bit));
      Image().MarkEdited(field, 1, bit);
      ShowNotRead(box, false);
      context_.MarkModified();
    });
  }
}
