#include "views/ArchiveRowHeader.h"

#include <QPainter>
#include <QStyleOptionHeader>

TArchiveRowHeader::TArchiveRowHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {}

void TArchiveRowHeader::SetNumberWidth(int width) {
  numberWidth_ = width;
  setFixedWidth(numberWidth_ + dateWidth_);
}

void TArchiveRowHeader::SetDateWidth(int width) {
  dateWidth_ = width;
  setFixedWidth(numberWidth_ + dateWidth_);
}

// The number as a header section draws it, then the date as a section of its own beside it.
void TArchiveRowHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  QRect numberRect = rect;
  numberRect.setWidth(numberWidth_);
  QHeaderView::paintSection(painter, numberRect, logicalIndex);
  if (!model()) return;
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.rect = rect.adjusted(numberWidth_, 0, 0, 0);
  option.section = logicalIndex;
  option.position = QStyleOptionHeader::Middle;
  option.text = model()->index(logicalIndex, dateColumn_).data(Qt::DisplayRole).toString();
  option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  painter->save();
  style()->drawControl(QStyle::CE_Header, &option, painter, this);
  painter->restore();
}
