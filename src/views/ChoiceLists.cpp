#include "views/ChoiceLists.h"

namespace ChoiceLists {

namespace {

QStringList Numbered(const QStringList& captions) {
  QStringList items;
  for (int k = 0; k < captions.size(); ++k) items << QString::number(k) + ". " + captions[k];
  return items;
}

}  // namespace

const QStringList& SensorTypes() {
  // Latin letters where the instrument's documentation writes them: the final M of 21 and 22, the
  // thermocouple letters DIN, L, BP, A, B, S, R, XA, K, XK, E, MK, T, J, N, PK, PC.
  static const QStringList items = Numbered({
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
  });
  return items;
}

const QStringList& Filters() {
  static const QStringList items = {"Слабый 1",  "Слабый 2",       "Средний 1",
                                    "Средний 2", "Максимальный 1", "Максимальный 2"};
  return items;
}

const QStringList& Commas() {
  static const QStringList items = {"XXXX.", "XXX. X", "XX. XX", "X. XXX"};
  return items;
}

const QStringList& Relays() {
  static const QStringList items = [] {
    QStringList list{"Нет реле"};
    for (int k = 1; k <= 32; ++k) list << "Реле № " + QString::number(k);
    return list;
  }();
  return items;
}

const QStringList& ColdJunctions() {
  static const QStringList items = [] {
    QStringList list{"Нет КХС"};
    for (int k = 1; k <= 32; ++k) {
      if (k == 2)
        list << "КХС со 2-го канала";
      else if (k == 16)
        list << "КХС с 16го канала";
      else
        list << "КХС с " + QString::number(k) + "-го канала";
    }
    return list;
  }();
  return items;
}

const QStringList& LogicConditions() {
  static const QStringList items = {"При значении меньше уставки", "При значении больше уставки"};
  return items;
}

const QStringList& LogicFaults() {
  static const QStringList items = {"Не менять значение", "Включить реле", "Выключить реле"};
  return items;
}

const QStringList& LogicFilters() {
  static const QStringList items = {"С первого срабатывания", "Со второго срабатывания"};
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
