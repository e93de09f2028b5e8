#include "instrument/ValueTexts.h"

#include <cstddef>

#include "instrument/ConfigBlock.h"

namespace ValueTexts {

namespace {

constexpr int ListedRelays = 32;
constexpr int ListedChannels = 32;

// Latin letters where the instrument's documentation writes them: the final M of 21 and 22, the
// thermocouple letters DIN, L, BP, A, B, S, R, XA, K, XK, E, MK, T, J, N, PK, PC.
constexpr const char* SensorTypeCaptions[] = {
    "Нет датчика",
    "Проверка сопротивления третьего провода",
    "Проверка 10 мВ",
    "Проверка 20 мВ",
    "Проверка 40 мВ",
    "Проверка 100 мВ",
    "Проверка 200 мВ",
    "Проверка 400 мВ",
    "Проверка 800 мВ",
    "Проверка 1 В",
    "Проверка 100 Ом",
    "Проверка 200 Ом",
    "Проверка 400 Ом",
    "Термосопротивление 100 П'",
    "Термосопротивление 50 П'",
    "Термосопротивление 100 М'",
    "Термосопротивление 50 М'",
    "Термосопротивление 100 П",
    "Термосопротивление 50 П",
    "Термосопротивление 53 М",
    "Термосопротивление 100 Н",
    "Термосопротивление 100 M",
    "Термосопротивление 50 M",
    "Датчик тока 0 - 5 мА",
    "Датчик тока 0 - 20 мА",
    "Датчик тока 4 - 20 мА",
    "Датчик напряжения 0 - 100 мВ",
    "Датчик напряжения 0 - 1 В",
    "Зарезервировано",
    "Зарезервировано",
    "Термопара DIN(L)",
    "Термопара BP(A)-1",
    "Термопара BP(A)-2",
    "Термопара BP(A)-3",
    "Термопара ПР(B)",
    "Термопара ПП(S)",
    "Термопара ПП(R)",
    "Термопара XA(K)",
    "Термопара XK(L)",
    "Термопара XK(E)",
    "Термопара MK(T)",
    "Термопара ЖК(J)",
    "Термопара ТНН (N)",
    "Термосопротивление 46 П",
    "Термопара PK-15",
    "Термопара PK-20",
    "Термопара PC-20",
    "Термопара PC-25",
};

constexpr const char* FilterItems[] = {"Слабый 1",  "Слабый 2",       "Средний 1",
                                       "Средний 2", "Максимальный 1", "Максимальный 2"};
constexpr const char* CommaItems[] = {"XXXX.", "XXX. X", "XX. XX", "X. XXX"};
constexpr const char* LogicConditionItems[] = {"При значении меньше уставки",
                                               "При значении больше уставки"};
constexpr const char* LogicFaultItems[] = {"Не менять значение", "Включить реле", "Выключить реле"};
constexpr const char* LogicFilterItems[] = {"С первого срабатывания", "Со второго срабатывания"};
constexpr const char* ProtocolItems[] = {"ModBus RTU"};
constexpr const char* SpeedItems[] = {" 9 600", "19 200"};

struct TFixedList {
  const char* const* Items;
  size_t Count;
};

template <size_t N>
constexpr TFixedList Fixed(const char* const (&items)[N]) {
  return {items, N};
}

// The lists written out item by item; relays and cold junctions are counted.
TFixedList FixedList(TChoiceList list) {
  switch (list) {
    case TChoiceList::SensorTypes:
      return Fixed(SensorTypeCaptions);
    case TChoiceList::Filters:
      return Fixed(FilterItems);
    case TChoiceList::Commas:
      return Fixed(CommaItems);
    case TChoiceList::LogicConditions:
      return Fixed(LogicConditionItems);
    case TChoiceList::LogicFaults:
      return Fixed(LogicFaultItems);
    case TChoiceList::LogicFilters:
      return Fixed(LogicFilterItems);
    case TChoiceList::Protocols:
      return Fixed(ProtocolItems);
    case TChoiceList::Speeds:
      return Fixed(SpeedItems);
    case TChoiceList::Relays:
    case TChoiceList::ColdJunctions:
      break;
  }
  return {nullptr, 0};
}

std::string ColdJunctionItem(size_t channel) {
  if (channel == 0) return "Нет КХС";
  if (channel == 2) return "КХС со 2-го канала";
  if (channel == 16) return "КХС с 16го канала";
  return "КХС с " + std::to_string(channel) + "-го канала";
}

}  // namespace

size_t ItemCount(TChoiceList list) {
  if (list == TChoiceList::Relays) return ListedRelays + 1;
  if (list == TChoiceList::ColdJunctions) return ListedChannels + 1;
  return FixedList(list).Count;
}

std::string Item(TChoiceList list, size_t k) {
  if (k >= ItemCount(list)) return {};
  if (list == TChoiceList::Relays) return k == 0 ? "Нет реле" : "Реле № " + std::to_string(k);
  if (list == TChoiceList::ColdJunctions) return ColdJunctionItem(k);
  const std::string caption = FixedList(list).Items[k];
  if (list == TChoiceList::SensorTypes) return std::to_string(k) + ". " + caption;
  return caption;
}

// Found by the block field the group fills, so that the group table stays the one place that
// numbers the groups.
bool GroupChoiceList(const TGroup& group, TChoiceList& list) {
  const size_t at = group.Fields[0].Offset;
  if (group.Kind != TElementKind::LowByte || group.Count != TCountRule::Channels) return false;
  if (at == offsetof(TConfigBlock, TypeSensor))
    list = TChoiceList::SensorTypes;
  else if (at == offsetof(TConfigBlock, KXC))
    list = TChoiceList::ColdJunctions;
  else if (at == offsetof(TConfigBlock, Filter))
    list = TChoiceList::Filters;
  else if (at == offsetof(TConfigBlock, Comma))
    list = TChoiceList::Commas;
  else if (at >= offsetof(TConfigBlock, SetpointRelay) &&
           at < offsetof(TConfigBlock, LogicCondition))
    list = TChoiceList::Relays;
  else
    return false;
  return true;
}

const TFlagTexts* GroupFlagTexts(const TGroup& group) {
  const size_t at = group.Fields[0].Offset;
  if (group.Kind != TElementKind::Coil) return nullptr;
  if (at == offsetof(TConfigBlock, ThreeWire)) return &ThreeWireFlags;
  if (at == offsetof(TConfigBlock, BreakCheck)) return &BreakCheckFlags;
  if (at == offsetof(TConfigBlock, SquareRoot)) return &SquareRootFlags;
  if (at == offsetof(TConfigBlock, RelayByComputer)) return &RelayControlFlags;
  if (at == offsetof(TConfigBlock, RelayTestOn)) return &RelayTestFlags;
  return nullptr;
}

int GroupDecimals(const TGroup& group) {
  const size_t at = group.Fields[0].Offset;
  if (group.Kind != TElementKind::Float) return -1;
  if (at == offsetof(TConfigBlock, Minimum) || at == offsetof(TConfigBlock, Maximum))
    return ScaleDecimals;
  if (at == offsetof(TConfigBlock, Hysteresis)) return HysteresisDecimals;
  return SetpointDecimals;
}

std::string CaptionOf(TChoiceList list, unsigned code) {
  if (code < ItemCount(list)) return Item(list, code);
  return std::to_string(code);
}

const char* PageCaption(int page) {
  static constexpr const char* captions[PageCount] = {"Текущие измерения",
                                                      "Последний законченный цикл",
                                                      "Типы датчиков",
                                                      "Тип соединения",
                                                      "Проверка обрыва",
                                                      "КХС",
                                                      "Корень",
                                                      "Фильтр",
                                                      "Запятые",
                                                      "Физические значения",
                                                      "Уставки",
                                                      "Гистерезис",
                                                      "Реле",
                                                      "Логика реле",
                                                      "Дополнительно",
                                                      "Архив измерений"};
  return page >= 0 && page < PageCount ? captions[page] : nullptr;
}

const char* SubPageCaption(int page, int subPage) {
  struct TSubPages {
    int Page;
    const char* Captions[7];
  };
  static constexpr TSubPages subPages[] = {
      {9, {"Минимумы", "Максимумы"}},
      {10, {"Первые", "Вторые", "Третие", "Четвертые"}},
      {12,
       {"Первой уставки", "Второй уставки", "Третьей уставки", "Четвертой уставки",
        "Дополнительное", "Управление реле", "Тест реле"}},
      {13, {"Первых уставок", "Вторых уставок", "Третих уставок", "Четвертых уставок"}},
  };
  if (subPage < 0 || subPage >= 7) return nullptr;
  for (const TSubPages& sub : subPages)
    if (sub.Page == page) return sub.Captions[subPage];
  return nullptr;
}

}  // namespace ValueTexts
