// Sizes in the window are given in design pixels: pixels at the narrow dialog font the layout was
// drawn for. The window's own font is usually wider, so design pixels grow with it and texts keep
// the room they were given.
#pragma once

#include <QColor>

namespace Design {

// The ground of a cell, line or field whose value was not read from the instrument.
inline QColor NotReadColor() {
  return QColor(0xDE, 0xE2, 0xE6);
}

// Ratio of the window font's average character width to the design font's (5 pixels), at least 1.
double Scale();
int Px(int designPixels);

}  // namespace Design
