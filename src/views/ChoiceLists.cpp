#include "views/ChoiceLists.h"

#include "instrument/JobMessages.h"
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
  return QString::fromStdString(::ModelName(modelCode));
}

QString StateText(uint16_t deviceState) {
  return QString::fromStdString(StateName(deviceState));
}

}  // namespace ChoiceLists
