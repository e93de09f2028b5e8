#include "views/GridCorner.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QTableView>

TGridCorner::TGridCorner(QTableView* table) : QObject(table) {
  // The corner button of the table is its only direct child button.
  const auto buttons = table->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  if (buttons.isEmpty()) return;
  button_ = buttons.first();
  button_->installEventFilter(this);
}

void TGridCorner::SetText(const QString& text) {
  text_ = text;
  if (button_) button_->update();
}

bool TGridCorner::eventFilter(QObject* watched, QEvent* event) {
  if (watched == button_ && event->type() == QEvent::Paint) {
    Paint();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void TGridCorner::Paint() const {
  QPainter painter(button_);
  QStyleOptionHeader option;
  option.initFrom(button_);
  option.rect = button_->rect();
  option.position = QStyleOptionHeader::OnlyOneSection;
  option.text = text_;
  option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  button_->style()->drawControl(QStyle::CE_Header, &option, &painter, button_);
}
