#include "views/MeasurementPage.h"

#include <QVBoxLayout>

#include "views/StringGrid.h"
#include "views/TextForms.h"

TMeasurementPage::TMeasurementPage(TPageContext& context, QObject* parent, const TGroup& group)
    : TPage(context, parent, group), lastCycle_(group.Kind == TElementKind::CycleRecord) {
  grid_ = MakeGrid(lastCycle_ ? 2 : 1, 2, ChannelRows, 1, 1, 0);
  MakeSheet(lastCycle_ ? "TabSheet2" : "TabSheet1")->addWidget(grid_);
}

void TMeasurementPage::SetFixedTexts() {
  const QString prefix =
      lastCycle_ ? "Значение последнего законченого цикла " : "Текущее значение ";
  grid_->SetCells(0, 0, lastCycle_ ? "Измерено" : "Канал");
  if (!lastCycle_) grid_->SetCells(1, 0, "Текущее значение");
  for (int row = 1; row <= MaxChannels; ++row) grid_->SetCells(0, row, prefix + Nth(row));
}

void TMeasurementPage::ShowCycleTime(TDateTime time) {
  grid_->SetCells(1, 0, TextForms::DateTimeText(time));
}

void TMeasurementPage::Render() {
  const float* values = lastCycle_ ? Image().LastCycleValue : Image().CurrentValue;
  if (lastCycle_) ShowCycleTime(Image().LastCycleTime);
  const bool stale = context_.Stale[group_.Code];
  for (int n = 1; n <= MaxChannels; ++n) {
    grid_->SetCells(1, n, TextForms::MeasurementText(values[n - 1]));
    if (stale) grid_->SetCellGrey(1, n);
  }
}

void TMeasurementPage::ShowStale() {
  if (!context_.Stale[group_.Code]) return;
  for (int n = 1; n <= MaxChannels; ++n) grid_->SetCellGrey(1, n);
}

void TMeasurementPage::ShowCounts(int channels, int) {
  for (int ch = 1; ch <= MaxChannels; ++ch) grid_->SetRowEnabled(ch, ch <= channels);
}
