// The words the configurator uses for jobs and instruments: group names, model and state names,
// and the sentences that report a job's end. Shared by the window and the command-line tool.
#pragma once

#include <cstdint>
#include <string>

#include "modbus/Modbusunit.h"

// The name of the group an operation or job code reads or writes; empty for codes without one.
std::string GroupName(uint8_t code);

// "Вышло время ожидания!!! При чтении типы датчиков!!!": what a failed job reports, from its
// result and the operation under way when it failed.
// When the failure came as an exception reply, its code follows: "... (исключение 0 от прибора)";
// when a Modbus TCP gateway answered for a silent instrument, its words: "... (исключение 11 от
// шлюза: прибор не ответил)".
std::string FailureSentence(TResult result, uint8_t currentOp, int deviceException = -1,
                            int gatewayException = -1);

// Why the port at device (a network line's "host:port") would not open, as one or two sentences
// for the user; a network line's begin with "Сеть: ".
std::string OpenFailureText(TOpenFailure failure, const std::string& device, int systemError);

// The line the channel is set to, as the user knows it: "COM3 (/dev/ttyUSB0)", or a network line's
// "10.0.0.5:4001, Modbus TCP".
std::string LineCaption(const TModBus& bus);

// "Данные с 8-ти каналов(4-ти реле) считаны." / "... записаны."
std::string ReadSuccessSentence(uint16_t channels, uint16_t relays);
std::string WriteSuccessSentence(uint16_t channels, uint16_t relays);

// "К7104Т1 " for model code 1, "Неизвес. " for the codes of the table without a model; each
// ends in a blank. A code beyond the table (a newer instrument) is its decimal number, so that
// what the instrument said is still shown.
std::string ModelName(unsigned modelCode);
// The same name without its blank, for a text that goes on after it: "К7104Т1".
std::string ModelTitle(unsigned modelCode);

// "Измерения", "Оператор", "Меню" or "Неизвестно", and the picture that goes with it (0..3).
std::string StateName(uint16_t deviceState);
int StatePicture(uint16_t deviceState);

// The text a live or last-cycle value shows in place of the number when it is one of the
// instrument's status numbers; nullptr for an ordinary value.
const char* MeasurementMarkerText(float value);
// The same for a value of the measurement archive, with the archive's own texts and tolerance.
const char* ArchiveMarkerText(float value);
