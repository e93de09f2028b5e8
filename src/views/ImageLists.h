// The window's pictures, drawn for this program as SVG and kept in the resource (where Qt Svg is
// not, as PNG files drawn from them at build time: IconSizes.h): the toolbar and menu images
// (ImageList1), the connection pictures (ImageList3), the instrument state pictures
// (StateImageList), the address write button and the program's own icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ImageLists {

inline constexpr int ToolbarImageCount = 15;
inline constexpr int ConnectionImageCount = 2;  // 0 connected, 1 not connected
inline constexpr int StateImageCount = 4;       // measuring, operator, menu, unknown
inline constexpr int StateImageSize = 41;

QIcon Toolbar(int index);
// Drawn for the screens' scale (QT_SCALE_FACTOR, a high-DPI screen), so that they stay sharp.
QPixmap Connection(int index, int size);
QPixmap State(int index);
QIcon WriteAddress();
QIcon Application();

// A picture of the resource drawn at the given size; a null pixmap for an unknown path. With a
// ratio above 1 it is drawn with that many device pixels to the pixel, for a scaled screen.
QPixmap Render(const QString& resourcePath, const QSize& size, qreal ratio = 1.0);

}  // namespace ImageLists
