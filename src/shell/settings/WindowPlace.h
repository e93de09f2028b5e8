// Where the main window stood when it was closed, kept in the settings file in a section of its
// own ([Window]) beside the nine settings; the window starts on page 0 all the same. Reading never
// trusts the file: a size or position that cannot be used gives the default of that value.
#pragma once

#include <QList>
#include <QRect>

#include <optional>

class TIniFile;

struct TWindowPlace {
  QRect Normal;  // the window's geometry when it is neither maximised nor minimised
  bool Maximized = false;
};

namespace WindowPlace {

// Sizes beyond these are no window the user left behind but a damaged file.
inline constexpr int MinSide = 100;
inline constexpr int MaxSide = 16384;

// What the file holds; the geometry only when all four values are integers and the size is
// sensible.
struct TStored {
  std::optional<QSize> Size;
  std::optional<QPoint> TopLeft;
  bool Maximized = false;
};

bool InFile(const TIniFile& ini);
TStored Read(const TIniFile& ini);
void Write(TIniFile& ini, const TWindowPlace& place);

// A window at geometry can be seen and grabbed: its top strip lies on one of the screens'
// available areas far enough to take hold of it.
bool Reachable(const QRect& geometry, const QList<QRect>& screens, int grip);

}  // namespace WindowPlace
