// CRC-16/MODBUS, byte by byte with the two tables of the Modbus serial line.
#include <array>

#include "modbus/Crc.h"

namespace {

// Entry i of the reflected table (polynomial 0xA001): the CRC of byte i from a zero register.
constexpr uint16_t ReflectedEntry(unsigned i) {
  uint16_t crc = static_cast<uint16_t>(i);
  for (int bit = 0; bit < 8; ++bit)
    crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  return crc;
}

template <bool High>
constexpr std::array<uint8_t, 256> MakeTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    const uint16_t entry = ReflectedEntry(i);
    table[i] = static_cast<uint8_t>(High ? entry >> 8 : entry & 0xFF);
  }
  return table;
}

}  // namespace

const std::array<uint8_t, 256> CrcTableLow = MakeTable<false>();
const std::array<uint8_t, 256> CrcTableHigh = MakeTable<true>();

// The first entries as the Modbus serial line guide prints them.
static_assert(MakeTable<false>()[1] == 0xC1 && MakeTable<false>()[3] == 0x40);
static_assert(MakeTable<true>()[1] == 0xC0 && MakeTable<true>()[3] == 0x01);

uint16_t CalcCRC16(const uint8_t* bytes, size_t count) {
  uint8_t low = 0xFF;
  uint8_t high = 0xFF;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t index = low ^ bytes[i];
    low = high ^ CrcTableLow[index];
    high = CrcTableHigh[index];
  }
  return static_cast<uint16_t>(high << 8 | low);
}
