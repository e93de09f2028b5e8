#include "shell/window/CheckMark.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace CheckMark {

namespace {

constexpr int IconSizes[] = {16, 24, 32};

// A tick over the lower right part of the picture, outlined in white to stand out on any picture.
void PaintTick(QPixmap& pixmap) {
  const int s = pixmap.width();
  const QPolygon tick({QPoint(s * 5 / 16, s * 11 / 16), QPoint(s * 8 / 16, s * 14 / 16),
                       QPoint(s * 15 / 16, s * 6 / 16)});
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::white, qMax(4, s / 4), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.drawPolyline(tick);
  painter.setPen(QPen(Colour(), qMax(2, s / 8), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.drawPolyline(tick);
}

}  // namespace

QIcon WithCheckMark(const QIcon& icon) {
  QIcon result;
  for (const int size : IconSizes) {
    const QPixmap plain = icon.pixmap(size, size);
    QPixmap ticked(plain.size());
    ticked.fill(Qt::transparent);
    {
      QPainter painter(&ticked);
      painter.drawPixmap(0, 0, plain);
    }
    PaintTick(ticked);
    result.addPixmap(plain, QIcon::Normal, QIcon::Off);
    result.addPixmap(ticked, QIcon::Normal, QIcon::On);
  }
  return result;
}

}  // namespace CheckMark
