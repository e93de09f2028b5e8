#include "views/ChoiceLists.h"

#include "instrument/ValueTexts.h"

namespace ChoiceLists {

namespace {

QStringList Items(ValueTexts::TChoiceList list) {
  QStringList items;
  for (size_t k = 0; k < ValueTexts::ItemCount(list); ++k)
    items << QString::fromStdString(ValueTexts::Item(list, k));
  return items;
}

}  // namespace

const QStringList& SensorTypes() {
  static const QStringList items = Items(ValueTexts::TChoiceList::SensorTypes);
  return items;
}

const QStringList& Filters() {
  static const QStringList items = Items(ValueTexts::TChoiceList::Filters);
  return items;
}

const QStringList& Commas() {
  static const QStringList items = Items(ValueTexts::TChoiceList::Commas);
  return items;
}

const QStringList& Relays() {
  static const QStringList items = Items(ValueTexts::TChoiceList::Relays);
  return items;
}

const QStringList& ColdJunctions() {
  static const QStringList items = Items(ValueTexts::TChoiceList::ColdJunctions);
  return items;
}

const QStringList& LogicConditions() {
  static const QStringList items = Items(ValueTexts::TChoiceList::LogicConditions);
  return items;
}

const QStringList& LogicFaults() {
  static const QStringList items = Items(ValueTexts::TChoiceList::LogicFaults);
  return items;
}

const QStringList& LogicFilters() {
  static const QStringList items = Items(ValueTexts::TChoiceList::LogicFilters);
  return items;
}

const QStringList& Protocols() {
  static const QStringList items = Items(ValueTexts::TChoiceList::Protocols);
  return items;
}

const QStringList& Speeds() {
  static const QStringList items = Items(ValueTexts::TChoiceList::Speeds);
  return items;
}

QString CaptionOf(const QStringList& items, unsigned code) {
  if (code < static_cast<unsigned>(items.size())) return items[static_cast<int>(code)];
  return QString::number(code);
}

QString ModelName(unsigned modelCode) {
  static const QStringList names = {"Неизвес. ", "К7104Т1 ",  "К7104С1 ",  "Неизвес. ",
                                    "Неизвес. ", "Неизвес. ", "К7104Е025 "};
  return CaptionOf(names, modelCode);
}

QString StateText(uint16_t deviceState) {
  switch (deviceState) {
    case 129:
      return "Измерения";
    case 137:
      return "Оператор";
    case 138:
      return "Меню";
    default:
      return "Неизвестно";
  }
}

int StatePicture(uint16_t deviceState) {
  switch (deviceState) {
    case 129:
      return 0;
    case 137:
      return 1;
    case 138:
      return 2;
    default:
      return 3;
  }
}

}  // namespace ChoiceLists
