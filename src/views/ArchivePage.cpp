#include "views/ArchivePage.h"

#include <QVBoxLayout>

#include "views/ArchiveGrid.h"
#include "views/Design.h"

namespace {

constexpr int DesignRowHeight = 18;

}  // namespace

TArchivePage::TArchivePage(TPageContext& context, QObject* parent, const TGroup& group)
    : TPage(context, parent, group) {
  grid_ = new TArchiveGrid("StringGrid80");
  grid_->SetDefaultRowHeight(Design::Px(DesignRowHeight));
  grid_->SetColWidth(0, Design::Px(64));
  grid_->SetColWidth(1, Design::Px(148));
  for (int c = 2; c < grid_->ColCount(); ++c) grid_->SetColWidth(c, Design::Px(64));
  MakeSheet("TabSheet15")->addWidget(grid_);
}

void TArchivePage::SetFixedTexts() {
  grid_->SetCells(0, 0, "№ записи");
  grid_->SetCells(1, 0, "Дата и время");
  for (int ch = 1; ch <= MaxChannels; ++ch)
    grid_->SetCells(ch + 1, 0, "Канал № " + QString::number(ch));
}

void TArchivePage::Render() {
  grid_->Model()->ShowImage(&Image().MeasArchive);
}

void TArchivePage::ShowCounts(int channels, int) {
  grid_->Model()->SetChannelCount(channels);
}

void TArchivePage::ReadStarts() {
  grid_->Model()->BeginRead();
}

void TArchivePage::RecordsArrived(const std::vector<MeasurementRecord>& batch) {
  grid_->Model()->AppendRead(batch);
}
