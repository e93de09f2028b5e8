// Frames, CRC-16 and the result texts, from known frames.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "modbus/Modbusunit.h"
#include "support/HexCodec.h"
#include "support/TestNames.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}

uint16_t BitwiseCrc(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

struct KnownFrame {
  std::vector<uint8_t> body;
  uint8_t crcLow, crcHigh;
};

class KnownFrames : public ::testing::TestWithParam<KnownFrame> {};

TEST_P(KnownFrames, CrcGoesOnTheWireLowByteFirst) {
  const auto& frame = GetParam();
  const uint16_t crc = CalcCRC16(frame.body.data(), frame.body.size());
  EXPECT_EQ(crc & 0xFF, frame.crcLow);
  EXPECT_EQ(crc >> 8, frame.crcHigh);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, KnownFrames,
    ::testing::Values(
        KnownFrame{Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x09}), 0x85, 0xCC},
        KnownFrame{Bytes({0x05, 0x03, 0x00, 0x00, 0x00, 0x09}), 0x84, 0x48},
        KnownFrame{Bytes({0x01, 0x03, 0x03, 0x00, 0x00, 0x40}), 0x44, 0x7E},
        KnownFrame{Bytes({0x01, 0x04, 0x00, 0x00, 0x00, 0x44}), 0xF0, 0x39},
        KnownFrame{Bytes({0x01, 0x83, 0x02}), 0xC0, 0xF1},
        KnownFrame{Bytes({0x07, 0x03, 0x00, 0x00, 0x00, 0x01}), 0x84, 0x6C},
        KnownFrame{Bytes({0x01, 0x10, 0x00, 0x80, 0x00, 0x02, 0x04, 0x00, 0x1E, 0x00, 0x25}), 0x5A,
                   0x12},
        KnownFrame{Bytes({0x01, 0x0F, 0x00, 0x40, 0x00, 0x0A, 0x02, 0x0D, 0x03}), 0xAF, 0x69}),
    [](const auto& info) { return CaseName(HexText(info.param.body)); });

TEST(Crc, CheckValueOfTheNineDigits) {
  const std::string digits = "123456789";
  EXPECT_EQ(CalcCRC16(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x4B37);
}

TEST(Crc, TablesAgreeWithTheBitwiseDefinition) {
  std::mt19937 random(7104);
  std::vector<uint8_t> bytes(300);
  for (int round = 0; round < 200; ++round) {
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    const size_t count = random() % bytes.size();
    ASSERT_EQ(CalcCRC16(bytes.data(), count), BitwiseCrc(bytes.data(), count)) << count;
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    // From a zero register one byte leaves exactly the table entries behind.
    uint16_t crc = 0;
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    EXPECT_EQ(CrcTableLow[i], crc & 0xFF) << i;
    EXPECT_EQ(CrcTableHigh[i], crc >> 8) << i;
  }
}

TEST(Frame, AccessorsCountTheFrameBytesWithoutCrc) {
  TModBusFrame frame;
  frame.SetDataLength(4);
  EXPECT_EQ(frame.DataLength(), 4);
  EXPECT_EQ(frame.Length, 6);
  frame.SetAddress(5);
  frame.SetFunction(3);
  frame.FrameData()[3] = 9;
  EXPECT_EQ(frame.FrameBytes()[0], 5);
  EXPECT_EQ(frame.FrameBytes()[1], 3);
  EXPECT_EQ(frame.FrameBytes()[5], 9);
  EXPECT_EQ(frame.GetAddress(), 5);
  EXPECT_EQ(frame.GetFunction(), 3);
}

TEST(ResultMessages, TableGivesTheExactTexts) {
  const char* expected[] = {"Выполнено без ошибок.",
                            "Прибор: Неподдерживаемая функция!!!",
                            "Прибор: Неподдерживаемый адрес данных!!!",
                            "Прибор: Неподдерживаемые данные!!!",
                            "Неизвестная ошибка!!!",
                            "Неизвестная ошибка!!!",
                            "Прибор: Занят обработкой команды!!!",
                            "Не открыт порт!!!",
                            "Порт занят!!!",
                            "Вышло время ожидания!!!",
                            "Ошибка CRC!!!",
                            "Ошибка длинны посылки!!!",
                            "Ошибка при записи в порт!!!",
                            "Прерванно пользователем!!!",
                            "Неизвестная ошибка!!!",
                            "Ошибка параметров!!!",
                            "Прибор с таким адресом уже существует!!!",
                            "Не подходящий тип прибора!!!"};
  for (int code = 0; code < ResultMessageCount; ++code)
    EXPECT_STREQ(ResultMessage(static_cast<TResult>(code)), expected[code]) << code;
}

TEST(ResultMessages, CodesBeyondTheTableHaveOneText) {
  const std::string beyond = ResultMessage(18);
  EXPECT_FALSE(beyond.empty());
  for (int code = 18; code < 256; ++code)
    EXPECT_EQ(ResultMessage(static_cast<TResult>(code)), beyond);
}

}  // namespace
