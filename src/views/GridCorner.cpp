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

void TGridCorner::SetSecondCaption(int firstWidth, const QString& text) {
  firstWidth_ = firstWidth;
  second_ = text;
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
  if (second_.isEmpty()) {
    button_->style()->drawControl(QStyle::CE_Header, &option, &painter, button_);
    return;
  }
  option.rect.setWidth(firstWidth_);
  option.position = QStyleOptionHeader::Beginning;
  button_->style()->drawControl(QStyle::CE_Header, &option, &painter, button_);
  option.rect = button_->rect().adjusted(firstWidth_, 0, 0, 0);
  option.position = QStyleOptionHeader::Middle;
  option.text = second_;
  option.textAlignment = Qt::AlignCenter;
  button_->style()->drawControl(QStyle::CE_Header, &option, &painter, button_);
}
