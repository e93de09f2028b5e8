// CRC-16/MODBUS with the two byte tables of the Modbus serial line: CrcTableLow yields the next
// low-order CRC byte (xored with the current high-order one), CrcTableHigh the next high-order
// byte. The one piece of the channel the simulated instrument shares.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

extern const std::array<uint8_t, 256> CrcTableLow;
extern const std::array<uint8_t, 256> CrcTableHigh;
uint16_t CalcCRC16(const uint8_t* bytes, size_t count);
