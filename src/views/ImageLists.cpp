#include "views/ImageLists.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#ifndef K7104_PNG_ICONS
#include <QSvgRenderer>
#else
#include <QImage>

#include "views/IconSizes.h"
#endif

#include "views/Design.h"

// The pictures live in this static library; make sure the linker keeps them.
static void InitIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace ImageLists {

namespace {

QString Numbered(const char* list, int index) {
  return QString(":/icons/%1/%2.svg").arg(list).arg(index, 2, 10, QChar('0'));
}

// Icons are drawn at the sizes toolbars, menus and buttons ask for, so they stay sharp.
QIcon IconFrom(const QString& path) {
  QIcon icon;
  for (int size : {16, Design::Px(16), 20, 24, 32, 48}) {
    const QPixmap pixmap = Render(path, QSize(size, size));
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

#ifndef K7104_PNG_ICONS
QPixmap Render(const QString& resourcePath, const QSize& size, qreal ratio) {
  static const bool loaded = (InitIconResources(), true);
  Q_UNUSED(loaded);
  if (!QFile::exists(resourcePath)) return {};
  QSvgRenderer renderer(resourcePath);
  if (!renderer.isValid()) return {};
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}
#else
// The PNG drawn from the SVG at the nearest size at or above the one asked for (the largest when
// none is), scaled down to it.
QPixmap Render(const QString& resourcePath, const QSize& size, qreal ratio) {
  static const bool loaded = (InitIconResources(), true);
  Q_UNUSED(loaded);
  const QSize pixels = size * ratio;
  const int wanted = qMax(pixels.width(), pixels.height());
  int chosen = PngSizes.back();
  for (int drawn : PngSizes) {
    if (drawn >= wanted) {
      chosen = drawn;
      break;
    }
  }
  const QImage image(PngName(resourcePath, chosen));
  if (image.isNull()) return {};
  QPixmap pixmap =
      QPixmap::fromImage(image.size() == pixels ? image
                                                : image.scaled(pixels, Qt::IgnoreAspectRatio,
                                                               Qt::SmoothTransformation));
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}
#endif

QIcon Toolbar(int index) {
  return IconFrom(Numbered("ImageList1", index));
}

QPixmap Connection(int index, int size) {
  return Render(Numbered("ImageList3", index), QSize(size, size), qGuiApp->devicePixelRatio());
}

QPixmap State(int index) {
  return Render(Numbered("StateImageList", index), QSize(StateImageSize, StateImageSize),
                qGuiApp->devicePixelRatio());
}

QIcon WriteAddress() {
  return IconFrom(":/icons/write-address.svg");
}

QIcon Application() {
  return IconFrom(":/icons/application.svg");
}

}  // namespace ImageLists
