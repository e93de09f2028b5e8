// The words the pages show for the configuration's values: the items of every choice list, the
// captions of the two buttons of each flag list and the decimals of each number grid. UTF-8,
// without Qt, so that the window and the command line show a value alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "instrument/Groups.h"

namespace ValueTexts {

// The choice lists; item k of a list stands for the stored code k.
enum class TChoiceList : uint8_t {
  SensorTypes,  // 48 items, numbered "0. Нет датчика"
  Filters,
  Commas,
  Relays,         // "Нет реле", then relay 1..32
  ColdJunctions,  // "Нет КХС", then channel 1..32
  LogicConditions,
  LogicFaults,
  LogicFilters,
  Protocols,  // the interface's protocol on the device settings page
  Speeds,     // the interface's speed on the device settings page
};

size_t ItemCount(TChoiceList list);
// Item k of the list; empty beyond it.
std::string Item(TChoiceList list, size_t k);
// The caption of a stored code; a code beyond the list (a file written elsewhere, a newer
// instrument) shows as the number itself, so that what is stored is still said.
std::string CaptionOf(TChoiceList list, unsigned code);

// The two buttons of a flag list: button 1 stands for a non-zero flag, button 2 for zero; in a
// mirrored list (relay control) the other way round.
struct TFlagTexts {
  const char* Button1;
  const char* Button2;
  bool Mirrored;
};
inline constexpr TFlagTexts ThreeWireFlags{"Трехпроводка", "Четырехпроводка", false};
inline constexpr TFlagTexts BreakCheckFlags{"Проверять", "Не проверять", false};
inline constexpr TFlagTexts SquareRootFlags{"Извлекать", "Не извлекать", false};
inline constexpr TFlagTexts RelayControlFlags{"Прибор", "Компьютер", true};
inline constexpr TFlagTexts RelayTestFlags{"Включено", "Выключено", false};

// The caption of the button a flag's line shows pushed.
inline const char* FlagText(const TFlagTexts& texts, uint8_t flag) {
  return (flag != 0) != texts.Mirrored ? texts.Button1 : texts.Button2;
}

// Decimals the number grids show.
inline constexpr int ScaleDecimals = 5;  // minimums and maximums
inline constexpr int SetpointDecimals = 3;
inline constexpr int HysteresisDecimals = 1;
inline constexpr int PeriodDecimals = 3;  // the measurement period, seconds

// How the page of a parameter group shows its elements: the choice list of a choice grid, the
// buttons of a flag list, the decimals of a number grid. False, nullptr and -1 for a group
// shown otherwise.
bool GroupChoiceList(const TGroup& group, TChoiceList& list);
const TFlagTexts* GroupFlagTexts(const TGroup& group);
int GroupDecimals(const TGroup& group);

// The captions of the main window's page tabs, 0..15, and of the sub-pages of pages 9, 10, 12 and
// 13; nullptr for a page or sub-page that does not exist.
inline constexpr int PageCount = 16;
const char* PageCaption(int page);
const char* SubPageCaption(int page, int subPage);

}  // namespace ValueTexts
