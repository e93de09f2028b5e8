#include "views/ChoicePages.h"

#include <QVBoxLayout>

#include "views/ChoiceLists.h"
#include "views/PopupList.h"
#include "views/StringGrid.h"

namespace {

// Columns 1 to 3 of the logic grids.
constexpr TChoiceBanner LogicBanners[] = {
    {"Логики уставки для", "Логики уставки для всех каналов"},
    {"Логики реле для", "Логики реле для всех каналов"},
    {"Фильтр реле для", "Фильтр реле для всех каналов"},
};

// Channel 0 stands for all channels.
QString BannerText(const TChoiceBanner& banner, int channel) {
  if (channel == 0) return QString::fromUtf8(banner.ForAll);
  return QString::fromUtf8(banner.ForOne) + QString::number(channel) + "-го канала";
}

}  // namespace

TChoiceGridPage::TChoiceGridPage(TPageContext& context, QObject* parent, const TGroup& group,
                                 const TChoiceGridLayout& layout, TPopupList* list,
                                 const QStringList& (*items)())
    : TPage(context, parent, group),
      layout_(layout),
      field_(ConfigBytes(context.Image.Config, group.Fields[0])),
      list_(list),
      items_(items) {
  grid_ = MakeGrid(layout.Grid, 2, ChannelRows, 1, 0, layout.Setpoint);
  MakeSheet(layout.Sheet)->addWidget(grid_);
  connect(grid_, &TStringGrid::CellClicked, this, &TChoiceGridPage::Clicked);
  connect(list_, &TPopupList::ItemChosen, this, &TChoiceGridPage::Chosen);
}

void TChoiceGridPage::SetFixedTexts() {
  grid_->SetCells(0, 0, "Для всех каналов");
  grid_->SetCells(1, 0, "Нажмите здесь для установки всех каналов");
  for (int row = 1; row <= MaxChannels; ++row)
    grid_->SetCells(0, row, QString::fromUtf8(layout_.Prefix) + Nth(row));
}

void TChoiceGridPage::Render() {
  for (int n = 1; n <= MaxChannels; ++n) {
    if (Image().Shows(Group(), &field_[n - 1], 1))
      grid_->SetCells(1, n, ChoiceLists::CaptionOf(items_(), field_[n - 1]));
    else
      grid_->SetCellNotRead(1, n);
  }
}

void TChoiceGridPage::ShowCounts(int channels, int) {
  for (int ch = 1; ch <= MaxChannels; ++ch) grid_->SetRowEnabled(ch, ch <= channels);
}

void TChoiceGridPage::Clicked(int col, int row, const QPoint& at) {
  context_.CurrentCol = col;
  context_.CurrentRow = row;
  if (row < 0 || col < 1) return;
  list_->SetBannerText(BannerText(layout_.Banner, row));
  list_->SetTag(grid_->Tag());
  list_->popup(at);
}

void TChoiceGridPage::Chosen(int code, const QString& caption) {
  if (list_->Tag() != grid_->Tag()) return;  // shown for another grid of the same list
  const int row = context_.CurrentRow;
  const auto value = static_cast<uint8_t>(code);
  if (row >= 1 && row <= MaxChannels) {
    field_[row - 1] = value;
    Image().MarkEdited(&field_[row - 1], 1);
    grid_->SetCells(context_.CurrentCol, row, caption);
  } else if (row == 0) {
    // The for-all row keeps its invitation; the channels take the choice.
    for (int i = 0; i < MaxChannels; ++i) {
      field_[i] = value;
      grid_->SetCells(1, i + 1, caption);
    }
    Image().MarkEdited(field_, MaxChannels);
  }
  context_.MarkModified();
}

TLogicGridPage::TLogicGridPage(TPageContext& context, QObject* parent, const TGroup& group,
                               int setpoint, TPopupList* const (&lists)[Columns])
    : TPage(context, parent, group), setpoint_(setpoint) {
  grid_ = MakeGrid(18 + setpoint, 4, LogicRows, 1, 1, setpoint);
  grid_->SetHeaderLines(2);
  MakeSheet(QString("TabSheet%1").arg(31 + setpoint))->addWidget(grid_);
  connect(grid_, &TStringGrid::CellClicked, this, &TLogicGridPage::Clicked);
  for (int column = 1; column <= Columns; ++column) {
    TPopupList* list = lists[column - 1];
    lists_[column - 1] = list;
    connect(list, &TPopupList::ItemChosen, this, [this, list, column](int code, const QString& c) {
      if (list->Tag() == setpoint_) Chosen(column, code, c);
    });
  }
}

void TLogicGridPage::SetFixedTexts() {
  grid_->SetCells(0, 0, "Канал");
  grid_->SetCells(1, 0, "Логика уставки");
  grid_->SetCells(2, 0, "Логика реле при неисправности канала");
  grid_->SetCells(3, 0, "Фильтр реле");
  grid_->SetCells(0, 1, "Для всех каналов");
  for (int c = 1; c <= Columns; ++c) grid_->SetCells(c, 1, "Для установки всех каналов");
  for (int ch = 1; ch <= MaxChannels; ++ch) grid_->SetCells(0, ch + 1, "Логика " + Nth(ch));
}

// The group's three pieces: condition, fault and filter, as the columns.
uint8_t* TLogicGridPage::Field(int column) {
  return ConfigBytes(Image().Config, group_.Fields[column - 1]);
}

const QStringList& TLogicGridPage::Items(int column) {
  static const QStringList* items[] = {&ChoiceLists::LogicConditions(), &ChoiceLists::LogicFaults(),
                                       &ChoiceLists::LogicFilters()};
  return *items[column - 1];
}

void TLogicGridPage::Render() {
  for (int col = 1; col <= Columns; ++col) {
    const uint8_t* codes = Field(col);
    for (int n = 1; n <= MaxChannels; ++n) {
      if (Image().Shows(Group(), &codes[n - 1], 1))
        grid_->SetCells(col, n + 1, ChoiceLists::CaptionOf(Items(col), codes[n - 1]));
      else
        grid_->SetCellNotRead(col, n + 1);
    }
  }
}

void TLogicGridPage::ShowCounts(int channels, int) {
  for (int ch = 1; ch <= MaxChannels; ++ch) grid_->SetRowEnabled(ch + 1, ch <= channels);
}

void TLogicGridPage::Clicked(int col, int row, const QPoint& at) {
  context_.CurrentCol = col;
  context_.CurrentRow = row;
  if (row <= 0 || col <= 0 || col > Columns) return;
  TPopupList* list = lists_[col - 1];
  list->SetBannerText(BannerText(LogicBanners[col - 1], row == 1 ? 0 : row - 1));
  list->SetTag(grid_->Tag());
  list->popup(at);
}

void TLogicGridPage::Chosen(int column, int code, const QString& caption) {
  const int row = context_.CurrentRow;
  if (row <= 0 || context_.CurrentCol <= 0) return;
  uint8_t* field = Field(column);
  const auto value = static_cast<uint8_t>(code);
  if (row == 1) {
    for (int i = 0; i < MaxChannels; ++i) {
      field[i] = value;
      grid_->SetCells(column, i + 2, caption);
    }
    Image().MarkEdited(field, MaxChannels);
  } else if (row <= MaxChannels + 1) {
    field[row - 2] = value;
    Image().MarkEdited(&field[row - 2], 1);
    grid_->SetCells(column, row, caption);
  }
  context_.MarkModified();
}
