#include "instrument/JobMessages.h"

#include <cstring>

#include "instrument/Mipunit.h"

namespace {

const char* const kGroupNames[GroupNameCount] = {
    "текущих измерений",
    "последних измерений",
    "типы датчиков",
    "типы соединения",
    "проверка на обрыв",
    "КХС",
    "извлечение корня",
    "фильтра каналов",
    "запятых",
    "минимумов",
    "максимумов",
    "первых уставок",
    "вторых уставок",
    "третьих уставок",
    "четвертых уставок",
    "гистерезисов",
    "реле первых уставок",
    "реле вторых уставок",
    "реле третьих уставок",
    "реле четвертых уставок",
    "реле дополнительное",
    "управление реле",
    "тест реле",
    "логика реле первых уставок",
    "логика реле вторых уставок",
    "логика реле третьих уставок",
    "логика реле четвертых уставок",
    "дополнительное",
    "текущее дата и время",
    "состояние прибора",
    "дополнительное",
    "архив измерений",
    "",
    "",
    "архив измерений",
};

// The address change has no group of its own in the table; it names what it writes.
const char* const kAddressGroup = "адреса прибора";
constexpr uint8_t kChangeAddressJob = 159;

const char* const kModelNames[] = {"Неизвес. ", "К7104Т1 ",  "К7104С1 ",  "Неизвес. ",
                                   "Неизвес. ", "Неизвес. ", "К7104Е025 "};

}  // namespace

std::string GroupName(uint8_t code) {
  const uint8_t index = code & 0x7F;
  return index < GroupNameCount ? kGroupNames[index] : "";
}

std::string FailureSentence(TResult result, uint8_t currentOp, int deviceException) {
  std::string sentence = ResultMessage(result);
  sentence += currentOp >= 128 ? " При записи " : " При чтении ";
  if (currentOp == kChangeAddressJob)
    sentence += std::string(kAddressGroup) + "!!!";
  else if ((currentOp & 0x7F) < GroupNameCount)
    sentence += GroupName(currentOp) + "!!!";
  if (deviceException >= 0)
    sentence += " (исключение " + std::to_string(deviceException) + " от прибора)";
  return sentence;
}

std::string OpenFailureText(TOpenFailure failure, const std::string& device, int systemError) {
  switch (failure) {
    case TOpenFailure::None:
      return "";
    case TOpenFailure::NoDevice:
      return "Порт " + device + " не существует.";
    case TOpenFailure::NoPermission:
      return "Нет доступа к порту " + device + ": пользователь должен входить в группу dialout.";
    case TOpenFailure::InUse:
      return std::string(ResultMessage(RESULT_PORT_BUSY)) + " " + device +
             " открыт другой программой.";
    case TOpenFailure::NotSerial:
      return device + " не последовательный порт.";
    case TOpenFailure::Other:
      break;
  }
  std::string text = std::string(ResultMessage(RESULT_PORT_NOT_OPEN)) + " " + device;
  if (systemError != 0) text += ": " + std::string(std::strerror(systemError));
  return text + ".";
}

std::string ReadSuccessSentence(uint16_t channels, uint16_t relays) {
  return "Данные с " + std::to_string(channels) + "-ти каналов(" + std::to_string(relays) +
         "-ти реле) считаны.";
}

std::string WriteSuccessSentence(uint16_t channels, uint16_t relays) {
  return "Данные " + std::to_string(channels) + "-ти каналов(" + std::to_string(relays) +
         "-ти реле) записаны.";
}

std::string ModelName(uint16_t modelCode) {
  return modelCode < std::size(kModelNames) ? kModelNames[modelCode] : kModelNames[0];
}

std::string StateName(uint16_t deviceState) {
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

namespace {

struct TMarkerText {
  float Marker;
  const char* Text;
};

}  // namespace

const char* MeasurementMarkerText(float value) {
  static const TMarkerText markers[] = {
      {MarkerDeviceFault, "Не норма прибора"},
      {MarkerSensorFault, "Не норма датчика"},
      {MarkerNotConfigured, "Датчик не настроен"},
      {MarkerColdJunctionFault, "Не норма КХС"},
  };
  for (const TMarkerText& m : markers)
    if (IsMarker(value, m.Marker, LiveMarkerTolerance)) return m.Text;
  return nullptr;
}

const char* ArchiveMarkerText(float value) {
  static const TMarkerText markers[] = {
      {MarkerColdJunctionFault, "НКХС"}, {MarkerNotConfigured, "Н.настр."},
      {MarkerSwitchedOn, "Вкл.приб."},   {MarkerSensorFault, "Н.дат."},
      {MarkerDeviceFault, "Н.приб."},
  };
  for (const TMarkerText& m : markers)
    if (IsMarker(value, m.Marker, ArchiveMarkerTolerance)) return m.Text;
  return nullptr;
}
