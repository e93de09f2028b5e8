// The icons as PNG files, for a window built without Qt Svg (K7104_PNG_ICONS): k7104-render-icons
// draws every SVG at these sizes at build time, and ImageLists takes the nearest. They are the
// sizes the toolbar, the menus, the buttons and the state pictures ask for, and larger ones for a
// scaled screen.
#pragma once

#include <QString>

#include <array>

namespace ImageLists {

inline constexpr std::array<int, 9> PngSizes = {16, 20, 24, 32, 41, 48, 64, 82, 96};

// The PNG of an icon at one size, by the name of its SVG: "ImageList1/00.svg", 16 ->
// "ImageList1/00/16.png" (with or without the resource's ":/icons/" in front).
inline QString PngName(const QString& svgName, int size) {
  QString base = svgName;
  if (base.endsWith(".svg")) base.chop(4);
  return QString("%1/%2.png").arg(base).arg(size);
}

}  // namespace ImageLists
