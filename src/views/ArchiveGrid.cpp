#include "views/ArchiveGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include "views/ArchiveRowHeader.h"
#include "views/TextForms.h"

TArchiveModel::TArchiveModel(QObject* parent) : QAbstractTableModel(parent) {}

void TArchiveModel::ShowImage(const std::vector<MeasurementRecord>* records) {
  beginResetModel();
  source_ = records;
  read_.clear();
  read_.shrink_to_fit();
  count_ = records ? records->size() : 0;
  endResetModel();
}

void TArchiveModel::BeginRead() {
  beginResetModel();
  read_.clear();
  source_ = &read_;
  count_ = 0;
  endResetModel();
}

// Rows are inserted a batch at a time: the view lays out once per batch, not once per record.
void TArchiveModel::AppendRead(const std::vector<MeasurementRecord>& batch) {
  if (!Reading() || batch.empty()) return;
  read_.insert(read_.end(), batch.begin(), batch.end());
  const size_t before = count_;
  if (before == 0) {
    // The empty row becomes the first record and the rest are new.
    count_ = read_.size();
    if (count_ > 1) {
      beginInsertRows({}, 1, static_cast<int>(count_) - 1);
      endInsertRows();
    }
    emit dataChanged(index(0, 0), index(0, MaxChannels));
    emit headerDataChanged(Qt::Vertical, 0, 0);
    return;
  }
  beginInsertRows({}, static_cast<int>(before), static_cast<int>(read_.size()) - 1);
  count_ = read_.size();
  endInsertRows();
}

void TArchiveModel::SetHeaderText(int section, const QString& text) {
  if (section < 0 || section > MaxChannels) return;
  headers_[section] = text;
  emit headerDataChanged(Qt::Horizontal, section, section);
}

int TArchiveModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(std::max<size_t>(count_, 1));
}

int TArchiveModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : MaxChannels + 1;
}

const MeasurementRecord* TArchiveModel::RecordAt(int row) const {
  if (!source_ || row < 0 || static_cast<size_t>(row) >= count_ ||
      static_cast<size_t>(row) >= source_->size())
    return nullptr;
  return &(*source_)[static_cast<size_t>(row)];
}

QString TArchiveModel::CellText(int row, int column) const {
  const MeasurementRecord* record = RecordAt(row);
  if (!record || column < 0 || column > MaxChannels) return {};
  if (column == 0) return TextForms::DateTimeText(record->Time);
  return TextForms::ArchiveValueText(record->Value[column - 1]);
}

QString TArchiveModel::NumberText(int row) const {
  const MeasurementRecord* record = RecordAt(row);
  return record ? QString::number(record->Number) : QString();
}

void TArchiveModel::SetChannelCount(int channels) {
  if (channels == channels_) return;
  channels_ = channels;
  emit headerDataChanged(Qt::Horizontal, 1, MaxChannels);
  if (rowCount() > 0) emit dataChanged(index(0, 1), index(rowCount() - 1, MaxChannels));
}

QVariant TArchiveModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return CellText(index.row(), index.column());
  return {};
}

QVariant TArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::ForegroundRole && orientation == Qt::Horizontal && !ChannelShown(section))
    return disabledBrush_;
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal)
    return section >= 0 && section <= MaxChannels ? headers_[section] : QString();
  return NumberText(section);
}

// The date column is shown by the row header, beside the record numbers, and is never selected.
Qt::ItemFlags TArchiveModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (!ChannelShown(index.column())) return Qt::NoItemFlags;
  return index.column() == 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

TArchiveGrid::TArchiveGrid(const QString& name, QWidget* parent)
    : QTableView(parent), model_(new TArchiveModel(this)), rowHeader_(new TArchiveRowHeader(this)) {
  setObjectName(name);
  model_->SetDisabledBrush(palette().brush(QPalette::Disabled, QPalette::WindowText));
  setVerticalHeader(rowHeader_);
  setModel(model_);
  setColumnHidden(0, true);
  for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    header->setMinimumSectionSize(8);
  }
  verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  corner_ = new TGridCorner(this);
  // The current cell starts at the first cell that is not fixed, and goes back there when the
  // records shown are replaced.
  selectionModel()->setCurrentIndex(model_->index(0, 1), QItemSelectionModel::NoUpdate);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    if (!currentIndex().isValid())
      selectionModel()->setCurrentIndex(model_->index(0, 1), QItemSelectionModel::NoUpdate);
  });
}

QString TArchiveGrid::Cells(int col, int row) const {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return {};
  if (row == 0)
    return col == 0 ? corner_->Text()
                    : model_->headerData(col - 1, Qt::Horizontal, Qt::DisplayRole).toString();
  if (col == 0) return model_->NumberText(row - 1);
  return model_->CellText(row - 1, col - 1);
}

void TArchiveGrid::SetCells(int col, int row, const QString& text) {
  if (row != 0 || col < 0 || col >= ColCount()) return;
  if (col == 0) {
    corner_->SetText(text);
  } else {
    model_->SetHeaderText(col - 1, text);
    if (col == 1) ShowDateCaption();
  }
}

void TArchiveGrid::SetColWidth(int col, int width) {
  if (col == 0)
    rowHeader_->SetNumberWidth(width);
  else if (col == 1)
    rowHeader_->SetDateWidth(width);
  else
    horizontalHeader()->resizeSection(col - 1, width);
  if (col <= 1) ShowDateCaption();
}

int TArchiveGrid::ColWidth(int col) const {
  if (col == 0) return rowHeader_->NumberWidth();
  if (col == 1) return rowHeader_->DateWidth();
  return horizontalHeader()->sectionSize(col - 1);
}

// The corner spans both fixed columns: the date's caption stands beside the numbers'.
void TArchiveGrid::ShowDateCaption() {
  corner_->SetSecondCaption(rowHeader_->NumberWidth(),
                            model_->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString());
}

void TArchiveGrid::SetDefaultRowHeight(int height) {
  verticalHeader()->setDefaultSectionSize(height);
  horizontalHeader()->setFixedHeight(height);
}
