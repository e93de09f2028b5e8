#include "files/ConfigCompare.h"

#include <algorithm>
#include <cstring>

#include "files/ConfigValues.h"
#include "instrument/DataImage.h"

namespace {

// A number whose page text is the same on both sides is shown in full, so that the difference
// can be seen.
void AddDifference(TComparison& comparison, const TGroup& group, const TElementValue& ours,
                   const TElementValue& theirs) {
  TDifference d{group.Code, group.Name, ours.Element, ours.Text, theirs.Text};
  if (d.InstrumentValue == d.FileValue && !ours.Precise.empty()) {
    d.InstrumentValue = ours.Precise;
    d.FileValue = theirs.Precise;
  }
  comparison.Differences.push_back(std::move(d));
}

std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

const TGroup* ConfigurationGroup(uint8_t code) {
  for (const TGroup* group : ConfigurationGroups())
    if (group->Code == code) return group;
  return nullptr;
}

}  // namespace

bool TComparison::Complete() const {
  return std::all_of(Groups.begin(), Groups.end(),
                     [](const TGroupComparison& g) { return g.Compared; });
}

const TGroupComparison* TComparison::GroupOf(uint8_t group) const {
  for (const TGroupComparison& g : Groups)
    if (g.Group == group) return &g;
  return nullptr;
}

TComparison CompareConfigurations(const TConfigBlock& instrument, const TConfigBlock& file,
                                  uint16_t channels, uint16_t relays, const std::string& separator,
                                  const std::function<bool(uint8_t group)>& known) {
  TComparison comparison;
  comparison.Channels = std::min<uint16_t>(channels, MaxChannels);
  comparison.Relays = std::min<uint16_t>(relays, MaxRelays);
  for (const TGroup* group : ConfigurationGroups()) {
    TGroupComparison counted{group->Code, group->Name, !known || known(group->Code), 0};
    if (counted.Compared) {
      const auto ours = GroupValues(*group, instrument, channels, relays, separator);
      const auto theirs = GroupValues(*group, file, channels, relays, separator);
      for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i) {
        if (ours[i].Exact == theirs[i].Exact) continue;
        AddDifference(comparison, *group, ours[i], theirs[i]);
        ++counted.Differences;
      }
    }
    comparison.Groups.push_back(std::move(counted));
  }
  return comparison;
}

TComparison CompareWithImage(const TDataImage& image, const TConfigBlock& file,
                             const std::string& separator) {
  return CompareConfigurations(
      image.Config, file, image.ChannelCount, image.RelayCount, separator,
      [&image](uint8_t group) { return image.GroupSource[group] == TGroupSource::Read; });
}

std::string DifferenceLine(const TDifference& d) {
  return OneLine(d.GroupName) + "\t" + OneLine(d.Element) + "\t" + OneLine(d.InstrumentValue) +
         "\t" + OneLine(d.FileValue);
}

bool TakeGroupFromFile(TDataImage& image, const TConfigBlock& file, uint8_t code) {
  const TGroup* group = ConfigurationGroup(code);
  if (!group) return false;
  for (const TConfigField& field : group->Fields) {
    if (field.Size == 0) continue;
    std::memcpy(ConfigBytes(image.Config, field), ConfigBytes(file, field), field.Size);
    image.MarkEdited(ConfigBytes(image.Config, field), field.Size);
  }
  return true;
}
