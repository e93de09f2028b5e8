#include "shell/window/StatusBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusBar");
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TStatusBar::SetPanelWidth(int panel, int width) {
  widths_[panel] = width;
  update();
}

void TStatusBar::SetPanelText(int panel, const QString& text) {
  texts_[panel] = text;
  update();
}

QRect TStatusBar::PanelRect(int panel) const {
  int left = 0;
  for (int i = 0; i < panel; ++i) left += widths_[i];
  return QRect(left, 0, widths_[panel], height());
}

QSize TStatusBar::sizeHint() const {
  return {400, fontMetrics().height() + 8};
}

QSize TStatusBar::minimumSizeHint() const {
  return {0, sizeHint().height()};
}

void TStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (int i = 0; i < PanelCount; ++i) {
    const QRect r = PanelRect(i).adjusted(0, 1, -1, -1);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = r;
    frame.lineWidth = 1;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
    painter.drawText(r.adjusted(4, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, texts_[i]);
  }
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit Resized();
}
