#include "views/StringGrid.h"

#include "views/Design.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>

namespace {

constexpr int GridLineWidth = 1;

}  // namespace

TStringGrid::TStringGrid(const QString& name, int colCount, int rowCount, int fixedCols,
                         int fixedRows, QWidget* parent)
    : QTableWidget(parent),
      colCount_(colCount),
      rowCount_(rowCount),
      fixedCols_(fixedCols),
      fixedRows_(fixedRows) {
  setObjectName(name);
  setColumnCount(colCount - (fixedCols > 0 ? 1 : 0));
  setRowCount(rowCount - fixedRows);
  horizontalHeader()->setVisible(fixedRows > 0);
  verticalHeader()->setVisible(fixedCols > 0);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  verticalHeader()->setSectionsClickable(false);
  horizontalHeader()->setMinimumSectionSize(8);
  verticalHeader()->setMinimumSectionSize(8);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  corner_ = new TGridCorner(this);
  for (int r = 0; r < QTableWidget::rowCount(); ++r) {
    for (int c = 0; c < columnCount(); ++c) EnsureItem(c, r);
    StyleFixedColumn(r);
  }
  // The current cell starts at the first cell that is not fixed.
  selectionModel()->setCurrentIndex(model()->index(0, fixedCols > 1 ? fixedCols - 1 : 0),
                                    QItemSelectionModel::NoUpdate);
}

void TStringGrid::SetRowCount(int rows) {
  const int oldModelRows = QTableWidget::rowCount();
  rowCount_ = rows;
  setRowCount(rows - fixedRows_);
  for (int r = oldModelRows; r < QTableWidget::rowCount(); ++r) {
    for (int c = 0; c < columnCount(); ++c) EnsureItem(c, r);
    StyleFixedColumn(r);
  }
}

QTableWidgetItem* TStringGrid::EnsureItem(int modelCol, int modelRow) {
  QTableWidgetItem* it = item(modelRow, modelCol);
  if (!it) {
    it = new QTableWidgetItem;
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(modelRow, modelCol, it);
  }
  return it;
}

// The archive's date column is fixed too: drawn like the labels and never selected.
void TStringGrid::StyleFixedColumn(int modelRow) {
  if (fixedCols_ < 2) return;
  QTableWidgetItem* it = EnsureItem(0, modelRow);
  it->setFlags(Qt::ItemIsEnabled);
  it->setBackground(palette().button());
}

QString TStringGrid::Cells(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return {};
  const bool headerRow = fixedRows_ > 0 && row == 0;
  const bool labelCol = fixedCols_ > 0 && col == 0;
  const int modelCol = col - (fixedCols_ > 0 ? 1 : 0);
  const int modelRow = row - fixedRows_;
  if (headerRow && labelCol) return corner_->Text();
  if (headerRow) {
    const QTableWidgetItem* it = horizontalHeaderItem(modelCol);
    return it ? it->text() : QString();
  }
  if (labelCol) {
    const QTableWidgetItem* it = verticalHeaderItem(modelRow);
    return it ? it->text() : QString();
  }
  const QTableWidgetItem* it = item(modelRow, modelCol);
  return it ? it->text() : QString();
}

void TStringGrid::SetCells(int col, int row, const QString& text) {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return;
  const bool headerRow = fixedRows_ > 0 && row == 0;
  const bool labelCol = fixedCols_ > 0 && col == 0;
  const int modelCol = col - (fixedCols_ > 0 ? 1 : 0);
  const int modelRow = row - fixedRows_;
  if (headerRow && labelCol) {
    corner_->SetText(text);
  } else if (headerRow) {
    setHorizontalHeaderItem(modelCol, new QTableWidgetItem(text));
  } else if (labelCol) {
    setVerticalHeaderItem(modelRow, new QTableWidgetItem(text));
  } else {
    QTableWidgetItem* it = EnsureItem(modelCol, modelRow);
    it->setText(text);
    if (it->data(Qt::BackgroundRole).value<QBrush>().color() == Design::NotReadColor())
      it->setData(Qt::BackgroundRole, QVariant());
  }
}

void TStringGrid::SetCellNotRead(int col, int row) {
  if (col < fixedCols_ || col >= colCount_ || row < fixedRows_ || row >= rowCount_) return;
  QTableWidgetItem* it = EnsureItem(col - (fixedCols_ > 0 ? 1 : 0), row - fixedRows_);
  it->setText(QString());
  it->setBackground(Design::NotReadColor());
}

void TStringGrid::SetCellGrey(int col, int row) {
  if (col < fixedCols_ || col >= colCount_ || row < fixedRows_ || row >= rowCount_) return;
  EnsureItem(col - (fixedCols_ > 0 ? 1 : 0), row - fixedRows_)
      ->setBackground(Design::NotReadColor());
}

bool TStringGrid::CellNotRead(int col, int row) const {
  if (col < fixedCols_ || col >= colCount_ || row < fixedRows_ || row >= rowCount_) return false;
  const QTableWidgetItem* it = item(row - fixedRows_, col - (fixedCols_ > 0 ? 1 : 0));
  return it && it->data(Qt::BackgroundRole).value<QBrush>().color() == Design::NotReadColor();
}

void TStringGrid::SetEqualColumns(bool on) {
  equalColumns_ = on;
  setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  FitColumns();
}

// Every column gets (client width - line width x columns) / columns, the grid line on top.
void TStringGrid::FitColumns() {
  if (!equalColumns_) return;
  const int clientWidth =
      viewport()->width() + (verticalHeader()->isVisible() ? verticalHeader()->width() : 0);
  const int width = (clientWidth - GridLineWidth * colCount_) / colCount_;
  if (width <= 0) return;
  for (int c = 0; c < colCount_; ++c) SetColWidth(c, width + GridLineWidth);
}

void TStringGrid::SetColWidth(int col, int width) {
  if (fixedCols_ > 0 && col == 0)
    verticalHeader()->setFixedWidth(width);
  else
    horizontalHeader()->resizeSection(col - (fixedCols_ > 0 ? 1 : 0), width);
}

int TStringGrid::ColWidth(int col) const {
  if (fixedCols_ > 0 && col == 0) return verticalHeader()->width();
  return horizontalHeader()->sectionSize(col - (fixedCols_ > 0 ? 1 : 0));
}

void TStringGrid::SetDefaultRowHeight(int height) {
  verticalHeader()->setDefaultSectionSize(height);
  if (fixedRows_ > 0) horizontalHeader()->setFixedHeight(height);
}

void TStringGrid::SetHeaderLines(int lines) {
  if (lines <= 1) return;
  horizontalHeader()->setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
  const int lineHeight = fontMetrics().height();
  horizontalHeader()->setFixedHeight(lines * lineHeight + 6);
}

bool TStringGrid::MouseToCell(const QPoint& point, int* col, int* row) const {
  const QPoint inViewport = viewport()->mapFrom(this, point);
  const QModelIndex index = indexAt(inViewport);
  if (!viewport()->rect().contains(inViewport) || !index.isValid()) return false;
  *col = index.column() + (fixedCols_ > 0 ? 1 : 0);
  *row = index.row() + fixedRows_;
  return true;
}

QRect TStringGrid::CellRect(int col, int row) const {
  const int modelCol = col - (fixedCols_ > 0 ? 1 : 0);
  const int modelRow = row - fixedRows_;
  if (modelCol < 0 || modelRow < 0) return {};
  const QRect r = visualRect(model()->index(modelRow, modelCol));
  return QRect(viewport()->mapTo(this, r.topLeft()), r.size());
}

void TStringGrid::SetColumnEditable(int col) {
  const int modelCol = col - (fixedCols_ > 0 ? 1 : 0);
  if (col < fixedCols_ || modelCol >= columnCount()) return;
  for (int r = 0; r < QTableWidget::rowCount(); ++r) {
    QTableWidgetItem* it = EnsureItem(modelCol, r);
    it->setFlags(it->flags() | Qt::ItemIsEditable);
  }
  setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                  QAbstractItemView::EditKeyPressed);
}

void TStringGrid::SetRowEnabled(int row, bool on) {
  const int modelRow = row - fixedRows_;
  if (modelRow < 0 || modelRow >= QTableWidget::rowCount() || RowEnabled(row) == on) return;
  for (int c = 0; c < columnCount(); ++c) {
    QTableWidgetItem* it = EnsureItem(c, modelRow);
    it->setFlags(on ? it->flags() | Qt::ItemIsEnabled : it->flags() & ~Qt::ItemIsEnabled);
  }
  if (QTableWidgetItem* label = verticalHeaderItem(modelRow))
    label->setForeground(on ? palette().windowText()
                            : palette().brush(QPalette::Disabled, QPalette::WindowText));
}

bool TStringGrid::RowEnabled(int row) const {
  const int modelRow = row - fixedRows_;
  if (modelRow < 0 || modelRow >= QTableWidget::rowCount() || columnCount() == 0) return false;
  const QTableWidgetItem* it = item(modelRow, 0);
  return !it || (it->flags() & Qt::ItemIsEnabled);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const QPoint globalPos = event->globalPosition().toPoint();
  const QModelIndex index = indexAt(at);
  const bool click = event->button() == Qt::LeftButton && index.isValid() &&
                     (model()->flags(index) & Qt::ItemIsEnabled);
  QTableWidget::mouseReleaseEvent(event);
  if (click)
    emit CellClicked(index.column() + (fixedCols_ > 0 ? 1 : 0), index.row() + fixedRows_,
                     globalPos);
}

// Enter and F2 stand for a click on the current cell, where the cell takes no typing.
bool TStringGrid::OpensCell(const QKeyEvent* event) const {
  const int key = event->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_F2) return false;
  if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  if (state() == QAbstractItemView::EditingState) return false;
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return false;
  const Qt::ItemFlags flags = model()->flags(index);
  return (flags & Qt::ItemIsEnabled) && !(flags & Qt::ItemIsEditable);
}

void TStringGrid::keyPressEvent(QKeyEvent* event) {
  if (!OpensCell(event)) {
    QTableWidget::keyPressEvent(event);
    return;
  }
  const QModelIndex index = currentIndex();
  scrollTo(index);
  const QPoint below = viewport()->mapToGlobal(visualRect(index).bottomLeft());
  emit CellClicked(index.column() + (fixedCols_ > 0 ? 1 : 0), index.row() + fixedRows_, below);
}

void TStringGrid::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  FitColumns();
}
