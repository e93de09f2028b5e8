// The configuration block: the instrument's settings as one piece of fixed layout, part of the
// data image and the body of the configuration file, the same bytes on every host.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

inline constexpr int MaxChannels = 32;
inline constexpr int MaxRelays = 32;
inline constexpr int SetpointCount = 4;

// A u16 kept little-endian in memory whatever the host, so that the configuration block is the
// same byte image on every machine. Reads and writes like a plain number.
struct TLeU16 {
  uint8_t Bytes[2];

  uint16_t Get() const { return static_cast<uint16_t>(Bytes[0] | (Bytes[1] << 8)); }
  void Set(uint16_t v) {
    Bytes[0] = static_cast<uint8_t>(v);
    Bytes[1] = static_cast<uint8_t>(v >> 8);
  }
  operator uint16_t() const { return Get(); }
  TLeU16& operator=(uint16_t v) {
    Set(v);
    return *this;
  }
};

// An IEEE-754 single kept little-endian in memory whatever the host.
struct TLeFloat {
  uint8_t Bytes[4];

  uint32_t Bits() const {
    return static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
           (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
  }
  void SetBits(uint32_t b) {
    for (int i = 0; i < 4; ++i) Bytes[i] = static_cast<uint8_t>(b >> (8 * i));
  }
  float Get() const { return std::bit_cast<float>(Bits()); }
  void Set(float v) { SetBits(std::bit_cast<uint32_t>(v)); }
  operator float() const { return Get(); }
  TLeFloat& operator=(float v) {
    Set(v);
    return *this;
  }
};

static_assert(sizeof(TLeU16) == 2 && alignof(TLeU16) == 1);
static_assert(sizeof(TLeFloat) == 4 && alignof(TLeFloat) == 1);

// The configuration block: 1715 bytes of fixed layout, both part of the image and the body of
// the configuration file. Per-channel and per-relay arrays always have 32 elements; the 4 x 32
// arrays hold setpoint k of channel i at [k][i].
struct TConfigBlock {
  uint8_t Spare;             // never transferred; carried through files unchanged
  TLeU16 ArchivePeriod;      // register 98, in measurement periods
  TLeFloat MeasurePeriod;    // registers 1794..1795, seconds; 0 = the nominal period
  uint8_t Register100;       // register 100, low byte; carried unchanged
  uint8_t Padding;           // never transferred; carried through files unchanged
  TLeU16 Register101;        // register 101; carried unchanged
  TLeU16 Password;           // register 102, 0..9999
  uint8_t Protocol;          // register 103, low byte; 0 = "ModBus RTU"
  uint8_t InterfaceSpeed;    // register 104, low byte; 0 = 9600, 1 = 19200
  uint8_t DeviceFaultRelay;  // register 109, low byte; 0 none, 1..32
  uint8_t DeviceFaultFlags;  // register 110: bit 0 on at a fault, bit 1 from the second time
  uint8_t SensorFaultRelay;  // register 111, low byte; 0 none, 1..32
  uint8_t SensorFaultFlags;  // register 112: bit 0 off at a fault, bit 1 from the second time
  uint8_t TypeSensor[MaxChannels];                     // registers 128 + i
  uint8_t Comma[MaxChannels];                          // registers 160 + i, decimal point 0..3
  uint8_t Filter[MaxChannels];                         // registers 192 + i, 0..5
  TLeFloat Minimum[MaxChannels];                       // registers 896 + 2i
  TLeFloat Maximum[MaxChannels];                       // registers 1024 + 2i
  TLeFloat Setpoint[SetpointCount][MaxChannels];       // registers 1152 + 128k + 2i
  TLeFloat Hysteresis[MaxChannels];                    // registers 1664 + 2i
  uint8_t SetpointRelay[SetpointCount][MaxChannels];   // registers 448 + 32k + i
  uint8_t LogicCondition[SetpointCount][MaxChannels];  // register 640 + 32k + i, bit 0
  uint8_t LogicFault[SetpointCount][MaxChannels];      // same register, bits 1..2
  uint8_t LogicFilter[SetpointCount][MaxChannels];     // same register, bit 3
  uint8_t BreakCheck[MaxChannels];                     // coils i
  uint8_t SquareRoot[MaxChannels];                     // coils 32 + i
  uint8_t ThreeWire[MaxChannels];                      // coils 64 + i
  uint8_t RelayByComputer[MaxRelays];                  // coils 96 + j
  uint8_t RelayTestOn[MaxRelays];                      // coils 128 + j
  uint8_t KXC[MaxChannels];                            // registers 608 + i; 0 none, k = channel k
};

inline constexpr size_t ConfigBlockSize = 1715;

static_assert(sizeof(TConfigBlock) == ConfigBlockSize);
static_assert(alignof(TConfigBlock) == 1);
static_assert(offsetof(TConfigBlock, Spare) == 0);
static_assert(offsetof(TConfigBlock, ArchivePeriod) == 1);
static_assert(offsetof(TConfigBlock, MeasurePeriod) == 3);
static_assert(offsetof(TConfigBlock, Register100) == 7);
static_assert(offsetof(TConfigBlock, Padding) == 8);
static_assert(offsetof(TConfigBlock, Register101) == 9);
static_assert(offsetof(TConfigBlock, Password) == 11);
static_assert(offsetof(TConfigBlock, Protocol) == 13);
static_assert(offsetof(TConfigBlock, InterfaceSpeed) == 14);
static_assert(offsetof(TConfigBlock, DeviceFaultRelay) == 15);
static_assert(offsetof(TConfigBlock, DeviceFaultFlags) == 16);
static_assert(offsetof(TConfigBlock, SensorFaultRelay) == 17);
static_assert(offsetof(TConfigBlock, SensorFaultFlags) == 18);
static_assert(offsetof(TConfigBlock, TypeSensor) == 19);
static_assert(offsetof(TConfigBlock, Comma) == 51);
static_assert(offsetof(TConfigBlock, Filter) == 83);
static_assert(offsetof(TConfigBlock, Minimum) == 115);
static_assert(offsetof(TConfigBlock, Maximum) == 243);
static_assert(offsetof(TConfigBlock, Setpoint) == 371);
static_assert(offsetof(TConfigBlock, Setpoint[1]) == 499);
static_assert(offsetof(TConfigBlock, Setpoint[2]) == 627);
static_assert(offsetof(TConfigBlock, Setpoint[3]) == 755);
static_assert(offsetof(TConfigBlock, Hysteresis) == 883);
static_assert(offsetof(TConfigBlock, SetpointRelay) == 1011);
static_assert(offsetof(TConfigBlock, SetpointRelay[2]) == 1075);
static_assert(offsetof(TConfigBlock, LogicCondition) == 1139);
static_assert(offsetof(TConfigBlock, LogicFault) == 1267);
static_assert(offsetof(TConfigBlock, LogicFilter) == 1395);
static_assert(offsetof(TConfigBlock, BreakCheck) == 1523);
static_assert(offsetof(TConfigBlock, SquareRoot) == 1555);
static_assert(offsetof(TConfigBlock, ThreeWire) == 1587);
static_assert(offsetof(TConfigBlock, RelayByComputer) == 1619);
static_assert(offsetof(TConfigBlock, RelayTestOn) == 1651);
static_assert(offsetof(TConfigBlock, KXC) == 1683);
