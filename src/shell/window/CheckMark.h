// Menu items that carry a picture show their check in the picture's place: with the picture
// there, the style draws no check of its own. The checked state of such an item gets its picture
// with a tick over its lower right corner.
#pragma once

#include <QColor>
#include <QIcon>

namespace CheckMark {

// The tick's colour, drawn without smoothing so that it keeps this exact colour on the screen.
inline QColor Colour() {
  return QColor(0, 128, 0);
}

// The icon as it is for the unchecked state, with the tick added for the checked state.
QIcon WithCheckMark(const QIcon& icon);

}  // namespace CheckMark
