#include "instrument/JobMessages.h"

#include <cstring>

#include "instrument/DataImage.h"
#include "modbus/SerialDevices.h"

namespace {

const char* const kModelNames[] = {"Неизвес. ", "К7104Т1 ",  "К7104С1 ",  "Неизвес. ",
                                   "Неизвес. ", "Неизвес. ", "К7104Е025 "};

// Names the group that may use the device (read from the device itself, usually dialout) and
// the command that puts the user into it.
std::string NoPermissionText(const std::string& device) {
  std::string group = DeviceGroup(device);
  if (group.empty()) group = "dialout";
  return "Нет доступа к порту " + device + ": пользователь должен входить в группу " + group +
         ". Добавьте его командой «sudo usermod -aG " + group +
         " $USER» и войдите в систему заново.";
}

}  // namespace

std::string GroupName(uint8_t code) {
  const TGroup* group = GroupByCode(code);
  return group != nullptr ? group->Name : "";
}

std::string FailureSentence(TResult result, uint8_t currentOp, int deviceException,
                            int gatewayException) {
  std::string sentence = ResultMessage(result);
  sentence += IsWriteCode(currentOp) ? " При записи " : " При чтении ";
  if (GroupByCode(currentOp) != nullptr) sentence += GroupName(currentOp) + "!!!";
  if (deviceException >= 0)
    sentence += " (исключение " + std::to_string(deviceException) + " от прибора)";
  if (const char* gateway = GatewayExceptionText(gatewayException))
    sentence += std::string(" (") + gateway + ")";
  return sentence;
}

std::string OpenFailureText(TOpenFailure failure, const std::string& device, int systemError) {
  switch (failure) {
    case TOpenFailure::None:
      return "";
    case TOpenFailure::NoDevice:
      return "Порт " + device + " не существует.";
    case TOpenFailure::NoPermission:
      return NoPermissionText(device);
    case TOpenFailure::InUse:
      return std::string(ResultMessage(RESULT_PORT_BUSY)) + " " + device +
             " открыт другой программой.";
    case TOpenFailure::NotSerial:
      return device + " не последовательный порт.";
    case TOpenFailure::NoHost:
      return "Сеть: узел " + device + " не найден.";
    case TOpenFailure::Refused:
      return "Сеть: " + device + " отказал в соединении.";
    case TOpenFailure::ConnectTimeout:
      return "Сеть: " + device + " не ответил на соединение.";
    case TOpenFailure::Unreachable:
      return "Сеть: " + device + " недоступен" +
             (systemError != 0 ? ": " + SystemErrorText(systemError) : std::string()) + ".";
    case TOpenFailure::SettingsRefused:
      return "Сеть: сервер RFC 2217 " + device +
             " не принял скорость порта или формат 8E2 (8 бит, чётность, 2 стоп-бита).";
    case TOpenFailure::Other:
      break;
  }
  std::string text = std::string(ResultMessage(RESULT_PORT_NOT_OPEN)) + " " + device;
  if (systemError != 0) text += ": " + SystemErrorText(systemError);
  return text + ".";
}

std::string LineCaption(const TModBus& bus) {
  const TLineDescription line = bus.Line();
  if (line.Kind == TLineKind::Network) return bus.LineName() + ", " + NetworkModeCaption(line.Mode);
  return "COM" + std::to_string(bus.PortIndex() + 1) + " (" + bus.LineName() + ")";
}

std::string ReadSuccessSentence(uint16_t channels, uint16_t relays) {
  return "Данные с " + std::to_string(channels) + "-ти каналов(" + std::to_string(relays) +
         "-ти реле) считаны.";
}

std::string WriteSuccessSentence(uint16_t channels, uint16_t relays) {
  return "Данные " + std::to_string(channels) + "-ти каналов(" + std::to_string(relays) +
         "-ти реле) записаны.";
}

std::string ModelName(unsigned modelCode) {
  return modelCode < std::size(kModelNames) ? kModelNames[modelCode] : std::to_string(modelCode);
}

std::string ModelTitle(unsigned modelCode) {
  std::string name = ModelName(modelCode);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::string StateName(uint16_t deviceState) {
  switch (deviceState) {
    case StateMeasuring:
      return "Измерения";
    case StateOperator:
      return "Оператор";
    case StateMenu:
      return "Меню";
    default:
      return "Неизвестно";
  }
}

int StatePicture(uint16_t deviceState) {
  switch (deviceState) {
    case StateMeasuring:
      return 0;
    case StateOperator:
      return 1;
    case StateMenu:
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
