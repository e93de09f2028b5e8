#include "shell/settings/WindowPlace.h"

#include "shell/settings/IniFile.h"

namespace WindowPlace {

namespace {

const char* const Section = "Window";

std::optional<int> ReadNumber(const TIniFile& ini, const char* key) {
  const std::optional<QString> text = ini.ReadString(Section, key);
  if (!text) return std::nullopt;
  return TIniFile::ParseInteger(*text);
}

bool SensibleSide(int side) {
  return side >= MinSide && side <= MaxSide;
}

}  // namespace

bool InFile(const TIniFile& ini) {
  for (const char* key : {"Left", "Top", "Width", "Height", "Maximized"})
    if (ini.ReadString(Section, key)) return true;
  return false;
}

TStored Read(const TIniFile& ini) {
  TStored stored;
  const std::optional<int> width = ReadNumber(ini, "Width");
  const std::optional<int> height = ReadNumber(ini, "Height");
  if (width && height && SensibleSide(*width) && SensibleSide(*height))
    stored.Size = QSize(*width, *height);
  const std::optional<int> left = ReadNumber(ini, "Left");
  const std::optional<int> top = ReadNumber(ini, "Top");
  if (left && top) stored.TopLeft = QPoint(*left, *top);
  stored.Maximized = ReadNumber(ini, "Maximized").value_or(0) == 1;
  return stored;
}

void Write(TIniFile& ini, const TWindowPlace& place) {
  ini.WriteInteger(Section, "Left", place.Normal.left());
  ini.WriteInteger(Section, "Top", place.Normal.top());
  ini.WriteInteger(Section, "Width", place.Normal.width());
  ini.WriteInteger(Section, "Height", place.Normal.height());
  ini.WriteBool(Section, "Maximized", place.Maximized);
}

bool Reachable(const QRect& geometry, const QList<QRect>& screens, int grip) {
  const QRect topStrip(geometry.left(), geometry.top(), geometry.width(), grip);
  for (const QRect& screen : screens) {
    const QRect visible = topStrip & screen;
    if (visible.width() >= 2 * grip && visible.height() == grip) return true;
  }
  return false;
}

}  // namespace WindowPlace
