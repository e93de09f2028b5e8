#include "files/ConfigValues.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "instrument/NumberTexts.h"
#include "instrument/ValueTexts.h"

namespace {

using ValueTexts::TChoiceList;

// The column captions of the logic grids: condition, fault and filter.
constexpr const char* LogicPieces[] = {"Логика уставки", "Логика реле при неисправности канала",
                                       "Фильтр реле"};

std::string Numbered(const char* what, int n) {
  return std::string(what) + " " + std::to_string(n);
}

std::string Code(unsigned value) {
  return "c" + std::to_string(value);
}

// Nine significant digits tell every single-precision value apart; an exponent is written "E+38".
std::string PreciseText(float value, const std::string& separator) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9G", static_cast<double>(value));
  std::string result = text;
  const size_t point = result.find('.');
  if (point != std::string::npos) result.replace(point, 1, separator);
  return result;
}

TElementValue Choice(std::string element, TChoiceList list, unsigned code) {
  return {std::move(element),
          ValueTexts::CaptionOf(list, code),
          Code(code),
          {},
          code >= ValueTexts::ItemCount(list)};
}

TElementValue Number(std::string element, float value, int decimals, const std::string& separator) {
  char bits[16];
  std::snprintf(bits, sizeof bits, "f%08x", std::bit_cast<uint32_t>(value));
  std::string text = FixedText(value, decimals, separator);
  // Past the fixed form a page writes the exponent as wide as its decimals: here every number
  // that needs one is written one way.
  if (text.find('E') != std::string::npos) text = PreciseText(value, separator);
  return {std::move(element), std::move(text), bits, PreciseText(value, separator),
          !std::isfinite(value)};
}

TElementValue Whole(std::string element, unsigned value) {
  const std::string text = std::to_string(value);
  return {std::move(element), text, Code(value), {}, false};
}

TElementValue Tick(std::string element, bool on) {
  return {std::move(element), on ? "Да" : "Нет", on ? "1" : "0", {}, false};
}

int ElementCount(const TGroup& group, uint16_t channels, uint16_t relays) {
  const int count = group.Count == TCountRule::Relays ? relays : channels;
  return std::clamp(count, 0, group.Count == TCountRule::Relays ? MaxRelays : MaxChannels);
}

const char* ElementWord(const TGroup& group) {
  return group.Count == TCountRule::Relays ? "Реле" : "Канал";
}

// One fault relay box of the relays page: the relay, its two ticks and the bits beyond them,
// which are carried as they are.
void AddFaultRelay(std::vector<TElementValue>& values, const char* box, const char* firstTick,
                   uint8_t relay, uint8_t flags) {
  const std::string name = box;
  values.push_back(Choice(name, TChoiceList::Relays, relay));
  values.push_back(Tick(name + ": " + firstTick, flags & 1));
  values.push_back(Tick(name + ": Реакция со второго раза", flags & 2));
  values.push_back(Whole(name + ": прочие биты", flags & ~3u));
}

void AddFaultRelays(std::vector<TElementValue>& values, const TConfigBlock& c) {
  AddFaultRelay(values, "Реле не нормы прибора", "Включать по неисправности", c.DeviceFaultRelay,
                c.DeviceFaultFlags);
  AddFaultRelay(values, "Реле не нормы датчиков", "Выключать по неисправности", c.SensorFaultRelay,
                c.SensorFaultFlags);
}

// The device settings page's entries; registers 100 and 101 are shown nowhere but written with
// the settings, so they are listed too.
void AddSettings(std::vector<TElementValue>& values, const TConfigBlock& c,
                 const std::string& separator) {
  values.push_back(
      Number("Период измерения", c.MeasurePeriod.Get(), ValueTexts::PeriodDecimals, separator));
  values.push_back(Whole("Период архивации", c.ArchivePeriod.Get()));
  values.push_back(Whole("Пароль", c.Password.Get()));
  values.push_back(Choice("Протокол", TChoiceList::Protocols, c.Protocol));
  values.push_back(Choice("Скорость", TChoiceList::Speeds, c.InterfaceSpeed));
  values.push_back(Whole("Регистр 100", c.Register100));
  values.push_back(Whole("Регистр 101", c.Register101.Get()));
}

void AddLogic(std::vector<TElementValue>& values, const TGroup& group, const TConfigBlock& block,
              int count) {
  constexpr TChoiceList lists[] = {TChoiceList::LogicConditions, TChoiceList::LogicFaults,
                                   TChoiceList::LogicFilters};
  for (int n = 1; n <= count; ++n)
    for (int piece = 0; piece < 3; ++piece) {
      const uint8_t code = ConfigBytes(block, group.Fields[piece])[n - 1];
      values.push_back(
          Choice(Numbered("Канал", n) + ", " + LogicPieces[piece], lists[piece], code));
    }
}

}  // namespace

std::vector<const TGroup*> ConfigurationGroups() {
  std::vector<const TGroup*> groups;
  for (const TGroup& group : Groups)
    if (IsParameterGroup(group.Code) && !group.PollsLive) groups.push_back(&group);
  return groups;
}

std::vector<TElementValue> GroupValues(const TGroup& group, const TConfigBlock& block,
                                       uint16_t channels, uint16_t relays,
                                       const std::string& separator) {
  std::vector<TElementValue> values;
  const int count = ElementCount(group, channels, relays);
  TChoiceList list;
  if (group.Kind == TElementKind::Settings) {
    AddSettings(values, block, separator);
  } else if (group.Kind == TElementKind::LogicByte) {
    AddLogic(values, group, block, count);
  } else if (group.Count == TCountRule::Fixed) {
    AddFaultRelays(values, block);
  } else if (const ValueTexts::TFlagTexts* flags = ValueTexts::GroupFlagTexts(group)) {
    const uint8_t* bytes = ConfigBytes(block, group.Fields[0]);
    for (int n = 1; n <= count; ++n)
      values.push_back({Numbered(ElementWord(group), n),
                        ValueTexts::FlagText(*flags, bytes[n - 1]),
                        bytes[n - 1] != 0 ? "1" : "0",
                        {},
                        false});
  } else if (ValueTexts::GroupChoiceList(group, list)) {
    const uint8_t* bytes = ConfigBytes(block, group.Fields[0]);
    for (int n = 1; n <= count; ++n)
      values.push_back(Choice(Numbered(ElementWord(group), n), list, bytes[n - 1]));
  } else if (group.Kind == TElementKind::Float) {
    const TLeFloat* numbers = ConfigFloats(block, group.Fields[0]);
    const int decimals = ValueTexts::GroupDecimals(group);
    for (int n = 1; n <= count; ++n)
      values.push_back(
          Number(Numbered(ElementWord(group), n), numbers[n - 1].Get(), decimals, separator));
  }
  return values;
}

std::vector<TUnknownValue> UnknownValues(const TConfigBlock& block, uint16_t channels,
                                         uint16_t relays, const std::string& separator) {
  std::vector<TUnknownValue> unknown;
  for (const TGroup* group : ConfigurationGroups())
    for (TElementValue& value : GroupValues(*group, block, channels, relays, separator))
      if (value.Unknown)
        unknown.push_back({group, std::move(value.Element), std::move(value.Text)});
  return unknown;
}
