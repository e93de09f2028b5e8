// Where the main window stood and which page it showed when it was closed, kept in the settings
// file in a section of its own ([Window]) beside the nine settings. Reading never trusts the
// file: a size, position or page that cannot be used gives the default of that value.
#pragma once

#include <QList>
#include <QRect>

#include <optional>

class TIniFile;

struct TWindowPlace {
  QRect Normal;  // the window's geometry when it is neither maximised nor minimised
  bool Maximized = false;
  int Page = 0;     // of glPageControl1
  int SubPage = 0;  // of the page's nested page control, where it has one
};

namespace WindowPlace {

// Sizes beyond these are no window the user left behind but a damaged file.
inline constexpr int MinSide = 100;
inline constexpr int MaxSide = 16384;

// What the file holds; the geometry only when all four values are integers and the size is
// sensible, the page numbers as they stand (the window checks them against its pages).
struct TStored {
  std::optional<QSize> Size;
  std::optional<QPoint> TopLeft;
  bool Maximized = false;
  std::optional<int> Page;
  std::optional<int> SubPage;
};

bool InFile(const TIniFile& ini);
TStored Read(const TIniFile& ini);
void Write(TIniFile& ini, const TWindowPlace& place);

// A window at geometry can be seen and grabbed: its top strip lies on one of the screens'
// available areas far enough to take hold of it.
bool Reachable(const QRect& geometry, const QList<QRect>& screens, int grip);

}  // namespace WindowPlace
