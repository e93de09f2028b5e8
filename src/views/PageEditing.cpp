// Choice editing: a click on a choice grid shows its popup list under a banner that names the
// channel (or all channels), and the chosen item goes into the data image and the cell at once.
// The button lists and the fault-relay controls edit their flags in the same immediate way. Every
// edit raises the modified flag, except the relay test, which the window writes at once.
#include <QCheckBox>
#include <QComboBox>

#include <tuple>
#include <utility>

#include "views/FlagButtons.h"
#include "views/PageViews.h"

namespace {

using TState = TglAskListBox::TState;

// A popup list's banner: for one channel the ForOne text, the channel number and "-го канала".
struct TBanner {
  const char* ForOne;
  const char* ForAll;
};

constexpr TBanner SensorBanner{"Пожалуйста выбирите тип датчика для ",
                               "Пожалуйста выбирите тип датчика для всех каналов"};
constexpr TBanner ChannelBanner{"", "Всех каналов"};
// "KXC" in Latin letters here, unlike the list's own items.
constexpr TBanner ColdJunctionBanner{"Пожалуйста выбирите KXC для ",
                                     "Пожалуйста выбирите KXC для всех каналов"};
constexpr TBanner RelayBanner{"Пожалуйста выберите реле для",
                              "Пожалуйста выберите реле для всех каналов"};
// Columns 1 to 3 of the logic grids.
constexpr TBanner LogicBanners[] = {
    {"Логики уставки для", "Логики уставки для всех каналов"},
    {"Логики реле для", "Логики реле для всех каналов"},
    {"Фильтр реле для", "Фильтр реле для всех каналов"},
};
constexpr int LogicColumns = 3;

// Channel 0 stands for all channels.
QString BannerText(const TBanner& banner, int channel) {
  if (channel == 0) return QString::fromUtf8(banner.ForAll);
  return QString::fromUtf8(banner.ForOne) + QString::number(channel) + "-го канала";
}

const TBanner& BannerOf(const TPageViews& pages, const TPopupList* list) {
  if (list == pages.MenuTypeSensor) return SensorBanner;
  if (list == pages.KXCMenu) return ColdJunctionBanner;
  if (list == pages.MenuRelay) return RelayBanner;
  return ChannelBanner;
}

bool IsSetpoint(int k) {
  return k >= 0 && k < SetpointCount;
}

// Bits 0 and 1 follow the two boxes; the other six bits of the byte stay as they were.
uint8_t FaultFlags(uint8_t old, const QCheckBox* bit0, const QCheckBox* bit1) {
  return static_cast<uint8_t>((old & ~3u) | (bit0->isChecked() ? 1u : 0u) |
                              (bit1->isChecked() ? 2u : 0u));
}

}  // namespace

void TPageViews::WireChoiceEdits() {
  const std::pair<int, TPopupList*> choiceGrids[] = {
      {3, MenuTypeSensor}, {4, MenuFilter}, {5, MenuComma},  {17, KXCMenu},
      {13, MenuRelay},     {14, MenuRelay}, {15, MenuRelay}, {16, MenuRelay}};
  for (const auto& [n, list] : choiceGrids) {
    TStringGrid* grid = grids_[n];
    connect(grid, &TStringGrid::CellClicked, this,
            [this, grid, list](int col, int row, const QPoint& at) {
              ChoiceGridClicked(grid, list, col, row, at);
            });
  }
  for (TPopupList* list : {MenuTypeSensor, MenuFilter, MenuComma, KXCMenu, MenuRelay})
    connect(list, &TPopupList::ItemChosen, this,
            [this, list](int code, const QString& caption) { ChoiceChosen(list, code, caption); });

  for (int k = 0; k < SetpointCount; ++k) {
    TStringGrid* grid = grids_[18 + k];
    connect(
        grid, &TStringGrid::CellClicked, this,
        [this, grid](int col, int row, const QPoint& at) { LogicGridClicked(grid, col, row, at); });
  }
  TPopupList* logicLists[] = {MenuLogicCharter, MenuLogicRelay, MenuFilterReley};
  for (int column = 1; column <= LogicColumns; ++column) {
    TPopupList* list = logicLists[column - 1];
    connect(list, &TPopupList::ItemChosen, this,
            [this, list, column](int code, const QString& caption) {
              LogicChosen(list, column, code, caption);
            });
  }
}

void TPageViews::ChoiceGridClicked(TStringGrid* grid, TPopupList* list, int col, int row,
                                   const QPoint& at) {
  currentCol_ = col;
  currentRow_ = row;
  if (row < 0 || col < 1) return;
  list->SetBannerText(BannerText(BannerOf(*this, list), row));
  // The one relay list serves four grids; its tag tells which setpoint it was shown for.
  if (list == MenuRelay) list->SetTag(grid->Tag());
  list->popup(at);
}

void TPageViews::ChoiceChosen(TPopupList* list, int code, const QString& caption) {
  const int setpoint = list->Tag();
  uint8_t* field = ChoiceField(list, setpoint);
  TStringGrid* grid = ChoiceGrid(list, setpoint);
  const auto value = static_cast<uint8_t>(code);
  if (field && grid) {
    if (currentRow_ >= 1 && currentRow_ <= MaxChannels) {
      field[currentRow_ - 1] = value;
      image_.MarkEdited(&field[currentRow_ - 1], 1);
      grid->SetCells(currentCol_, currentRow_, caption);
    } else if (currentRow_ == 0) {
      // The for-all row keeps its invitation; the channels take the choice.
      for (int i = 0; i < MaxChannels; ++i) {
        field[i] = value;
        grid->SetCells(1, i + 1, caption);
      }
      image_.MarkEdited(field, MaxChannels);
    }
  }
  MarkModified();
}

void TPageViews::LogicGridClicked(TStringGrid* grid, int col, int row, const QPoint& at) {
  currentCol_ = col;
  currentRow_ = row;
  if (row <= 0 || col <= 0 || col > LogicColumns) return;
  TPopupList* lists[] = {MenuLogicCharter, MenuLogicRelay, MenuFilterReley};
  TPopupList* list = lists[col - 1];
  list->SetBannerText(BannerText(LogicBanners[col - 1], row == 1 ? 0 : row - 1));
  list->SetTag(grid->Tag());
  list->popup(at);
}

void TPageViews::LogicChosen(TPopupList* list, int column, int code, const QString& caption) {
  if (currentRow_ <= 0 || currentCol_ <= 0) return;
  const int setpoint = list->Tag();
  uint8_t* field = ChoiceField(list, setpoint);
  TStringGrid* grid = ChoiceGrid(list, setpoint);
  const auto value = static_cast<uint8_t>(code);
  if (field && grid) {
    if (currentRow_ == 1) {
      for (int i = 0; i < MaxChannels; ++i) {
        field[i] = value;
        grid->SetCells(column, i + 2, caption);
      }
      image_.MarkEdited(field, MaxChannels);
    } else if (currentRow_ <= MaxChannels + 1) {
      field[currentRow_ - 2] = value;
      image_.MarkEdited(&field[currentRow_ - 2], 1);
      grid->SetCells(column, currentRow_, caption);
    }
  }
  MarkModified();
}

uint8_t* TPageViews::ChoiceField(const TPopupList* list, int setpoint) {
  TConfigBlock& c = image_.Config;
  if (list == MenuTypeSensor) return c.TypeSensor;
  if (list == MenuFilter) return c.Filter;
  if (list == MenuComma) return c.Comma;
  if (list == KXCMenu) return c.KXC;
  if (!IsSetpoint(setpoint)) return nullptr;
  if (list == MenuRelay) return c.SetpointRelay[setpoint];
  if (list == MenuLogicCharter) return c.LogicCondition[setpoint];
  if (list == MenuLogicRelay) return c.LogicFault[setpoint];
  if (list == MenuFilterReley) return c.LogicFilter[setpoint];
  return nullptr;
}

TStringGrid* TPageViews::ChoiceGrid(const TPopupList* list, int setpoint) const {
  if (list == MenuTypeSensor) return grids_[3];
  if (list == MenuFilter) return grids_[4];
  if (list == MenuComma) return grids_[5];
  if (list == KXCMenu) return grids_[17];
  if (!IsSetpoint(setpoint)) return nullptr;
  if (list == MenuRelay) return grids_[13 + setpoint];
  if (list == MenuLogicCharter || list == MenuLogicRelay || list == MenuFilterReley)
    return grids_[18 + setpoint];
  return nullptr;
}

void TPageViews::WireFlagLists() {
  TConfigBlock& c = image_.Config;
  // The lists with the group each one edits.
  const std::tuple<TglAskListBox*, uint8_t*, bool, int> lists[] = {
      {glAskListBox1, c.ThreeWire, false, 3},
      {glAskListBox2, c.BreakCheck, false, 4},
      {glAskListBox4, c.SquareRoot, false, 6},
      {glAskListBox5, c.RelayByComputer, true, 21},
  };
  for (const auto& [list, flags, mirrored, group] : lists)
    connect(list, &TglAskListBox::StateChanged, this,
            [this, list, flags, mirrored, group](int line) {
              if (FlagLineChanged(list, flags, mirrored, group, line)) MarkModified();
            });
  connect(glAskListBox6, &TglAskListBox::StateChanged, this, &TPageViews::RelayTestLineChanged);
}

// A line's click has changed its pushed button; the flags follow it. False when nothing was
// changed: the for-all line was released while the elements differ.
bool TPageViews::FlagLineChanged(TglAskListBox* list, uint8_t* flags, bool mirrored, int group,
                                 int line) {
  using FlagButtons::LineState;
  if (line < 0 || line > MaxChannels) return false;
  TState pushed = list->State(line);
  if (line >= 1) {
    // A channel's line always shows its value: releasing the pushed button pushes it again; a
    // line whose value was not read stays so.
    if (pushed != TState::None) {
      flags[line - 1] = FlagButtons::Value(pushed, mirrored);
      image_.MarkEdited(&flags[line - 1], 1);
    } else if (image_.Shows(group, &flags[line - 1], 1)) {
      list->SetState(line, LineState(flags[line - 1], mirrored));
    } else {
      list->SetLineNotRead(line);
    }
    ShowForAllLine(list, flags, mirrored, group);
    return true;
  }
  if (pushed == TState::None) {
    ShowForAllLine(list, flags, mirrored, group);
    pushed = list->State(0);
    if (pushed == TState::None) return false;
  }
  const uint8_t value = FlagButtons::Value(pushed, mirrored);
  for (int i = 0; i < MaxChannels; ++i) {
    flags[i] = value;
    list->SetState(i + 1, pushed);
  }
  image_.MarkEdited(flags, MaxChannels);
  return true;
}

// The relay test switches the instrument's relays at once: the window waits for a running job
// before RelayTestOn changes and writes it right after; nothing is left to write later.
void TPageViews::RelayTestLineChanged(int line) {
  // The wait lets a finished read render the page; the button the user clicked still counts.
  const TState clicked =
      line >= 0 && line <= MaxChannels ? glAskListBox6->State(line) : TState::None;
  if (BeforeRelayTest) BeforeRelayTest();
  if (line >= 0 && line <= MaxChannels) glAskListBox6->SetState(line, clicked);
  if (FlagLineChanged(glAskListBox6, image_.Config.RelayTestOn, false, 22, line))
    emit RelayTestChanged();
}

void TPageViews::WireFaultRelayEdits() {
  TConfigBlock& c = image_.Config;
  for (const auto& [combo, field] :
       {std::pair{ComboBox1, &c.DeviceFaultRelay}, std::pair{ComboBox6, &c.SensorFaultRelay}}) {
    connect(combo, &QComboBox::activated, this, [this, combo, field](int index) {
      *field = static_cast<uint8_t>(index);
      image_.MarkEdited(field, 1);
      ShowNotRead(combo, false);
      MarkModified();
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
      image_.MarkEdited(field, 1, bit);
      ShowNotRead(box, false);
      MarkModified();
    });
  }
}
