#include "views/Design.h"

#include <QApplication>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace Design {

namespace {
constexpr double DesignAverageCharWidth = 5.0;
}

double Scale() {
  const double width = QFontMetricsF(QApplication::font()).averageCharWidth();
  return std::clamp(width / DesignAverageCharWidth, 1.0, 4.0);
}

int Px(int designPixels) {
  return static_cast<int>(std::lround(designPixels * Scale()));
}

}  // namespace Design
