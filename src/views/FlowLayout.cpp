#include "views/FlowLayout.h"

#include <QWidget>

TFlowLayout::TFlowLayout(QWidget* parent, int spacing) : QLayout(parent) {
  setSpacing(spacing);
  setContentsMargins(0, 0, 0, 0);
}

TFlowLayout::~TFlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void TFlowLayout::addItem(QLayoutItem* item) {
  items_.append(item);
}

QLayoutItem* TFlowLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

QLayoutItem* TFlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int TFlowLayout::heightForWidth(int width) const {
  return Arrange(QRect(0, 0, width, 0), false);
}

QSize TFlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize TFlowLayout::sizeHint() const {
  int width = 0;
  int height = 0;
  for (const QLayoutItem* item : items_) {
    width += item->sizeHint().width() + spacing();
    height = qMax(height, item->sizeHint().height());
  }
  return {width, height};
}

void TFlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, true);
}

// Lays the items out in lines within rect; returns the height they need.
int TFlowLayout::Arrange(const QRect& rect, bool place) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  int x = area.x();
  int y = area.y();
  int lineHeight = 0;
  for (QLayoutItem* item : items_) {
    const QSize hint = item->sizeHint();
    if (x > area.x() && x + hint.width() > area.right() + 1) {
      x = area.x();
      y += lineHeight + spacing();
      lineHeight = 0;
    }
    if (place) item->setGeometry(QRect(QPoint(x, y), hint));
    x += hint.width() + spacing();
    lineHeight = qMax(lineHeight, hint.height());
  }
  return y + lineHeight - rect.y() + contentsMargins().bottom();
}
