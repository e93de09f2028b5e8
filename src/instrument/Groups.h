// The instrument's data groups: one row per group with everything that hangs on its number —
// the operations that read and write it, where it lives in the register space and how it is
// encoded there, the configuration block bytes it fills, its name in the job messages and the
// page that shows it. The register map, the data image's edit tracking, the messages and the
// pages all take these facts from here; nothing else spells out a group's number.
//
// Numbering: a group is numbered by the code that reads it (an operation of the register map,
// or a job the engine runs from several operations); the code that writes it has bit 7 set.
// Codes below 128 read, codes from 128 write.
//
// Lookups (all constexpr):
//   GroupByCode(code)        the row read or written by code (operation or job), else nullptr
//   GroupForPage(page, sub)  the row shown on page `page` of the main page control and, for the
//                            pages with a nested page control, its sub-page `sub` (0 for the
//                            others); nullptr for a place no page has
//   IsParameterGroup(code)   2..27: the groups whose source the data image tracks
//   IsWriteCode(code)        the code writes
// A row's Fields name its bytes in TConfigBlock; ConfigBytes / ConfigFloats point at them.
// A page row's PollsLive says whether the page is kept up to date while shown, by job PollCode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "instrument/ConfigBlock.h"

// Modbus functions of the register map.
inline constexpr uint8_t FnReadCoils = 1;
inline constexpr uint8_t FnReadHolding = 3;
inline constexpr uint8_t FnReadInput = 4;
inline constexpr uint8_t FnWriteCoils = 15;
inline constexpr uint8_t FnWriteRegisters = 16;

// Codes with a role of their own outside the table's rows.
inline constexpr uint8_t GroupCurrentValues = 0;
inline constexpr uint8_t GroupLastCycle = 1;
inline constexpr uint8_t GroupSensorTypes = 2;
inline constexpr uint8_t GroupRelayTest = 22;
inline constexpr uint8_t OpReadSettings = 27;
inline constexpr uint8_t OpReadClock = 28;
inline constexpr uint8_t OpReadState = 29;
inline constexpr uint8_t JobReadSettingsPage = 30;
inline constexpr uint8_t OpReadRecord = 31;
inline constexpr uint8_t JobReadArchive = 34;
inline constexpr uint8_t WriteCodeBit = 128;
inline constexpr uint8_t OpWriteSettings = 155;
inline constexpr uint8_t OpWriteClock = 156;
inline constexpr uint8_t JobWriteSettingsPage = 158;
inline constexpr uint8_t OpChangeAddress = 159;

// Parameter groups 2 (sensor types) to 27 (the device settings): what the user edits, what the
// configuration file holds and what the data image tracks the source of.
inline constexpr int FirstGroup = 2;
inline constexpr int LastGroup = 27;

// How a group's elements are encoded in the instrument's registers.
enum class TElementKind : uint8_t {
  LiveValues,     // two registers per channel, low half first, into CurrentValue
  CycleRecord,    // number, three date-time registers, two per channel: LastCycleTime/Value
  ArchiveRecord,  // the same layout at input register RecordIndex, into MeasRecord
  LowByte,        // one register per element, its low byte into one block byte
  Float,          // two registers per element, low half first, into a TLeFloat of the block
  Coil,           // one coil per element, into one block byte (0 or 1)
  LogicByte,      // one register per channel: bit 0 condition, bits 1..2 fault, bit 3 filter
  Settings,       // identity, archive depth, settings and periods, in several blocks
  Clock,          // the current record number and the device clock
  State,          // the current record number and the operating state
  Address,        // the instrument's own address: written after a probe, never read
  Job,            // no operation of its own: the job engine runs other operations for it
};

// How many elements a transfer carries.
enum class TCountRule : uint8_t {
  Fixed,     // FixedCount elements (composite kinds: as their operation says)
  Channels,  // the channel count of the instrument, at most 32
  Relays,    // the relay count, at most 32
};

// Bytes of TConfigBlock.
struct TConfigField {
  uint16_t Offset = 0;
  uint16_t Size = 0;
};

// A place in the main window's pages: page of glPageControl1 and sub-page of its nested control.
struct TPagePlace {
  int8_t Page = -1;  // -1: no page shows the row by its code
  int8_t SubPage = 0;
};

struct TGroup {
  uint8_t Code;       // the operation or job that reads it (the address: its write)
  uint8_t WriteCode;  // the operation or job that writes it; 0 when nothing writes it
  uint8_t Function;   // Modbus function of the read (writes: 15 for coils, else 16)
  uint16_t FirstRegister;
  TElementKind Kind;
  TCountRule Count;
  uint8_t FixedCount;
  // The block bytes the group fills; a logic group has three pieces (condition, fault, filter).
  std::array<TConfigField, 3> Fields;
  const char* Name;  // in the job messages: "При чтении <Name>!!!"
  TPagePlace Page;
  bool PollsLive;    // its page is re-read while shown
  uint8_t PollCode;  // the job that re-reads it
};

namespace groups_detail {

constexpr TConfigField Field(size_t offset, size_t size) {
  return {static_cast<uint16_t>(offset), static_cast<uint16_t>(size)};
}

#define K7104_FIELD(name) Field(offsetof(TConfigBlock, name), sizeof(TConfigBlock::name))
#define K7104_ROW(name, k)                                                  \
  Field(offsetof(TConfigBlock, name) + (k) * sizeof(TConfigBlock::name[0]), \
        sizeof(TConfigBlock::name[0]))

using K = TElementKind;
using C = TCountRule;

constexpr TGroup Bytes(uint8_t code, uint16_t first, TConfigField field, const char* name,
                       TPagePlace page) {
  return {code,
          static_cast<uint8_t>(code + WriteCodeBit),
          FnReadHolding,
          first,
          K::LowByte,
          C::Channels,
          0,
          {field},
          name,
          page,
          false,
          0};
}
constexpr TGroup Floats(uint8_t code, uint16_t first, TConfigField field, const char* name,
                        TPagePlace page) {
  return {code,
          static_cast<uint8_t>(code + WriteCodeBit),
          FnReadHolding,
          first,
          K::Float,
          C::Channels,
          0,
          {field},
          name,
          page,
          false,
          0};
}
constexpr TGroup Coils(uint8_t code, uint16_t first, TCountRule count, TConfigField field,
                       const char* name, TPagePlace page, bool polls = false) {
  return {code,        static_cast<uint8_t>(code + WriteCodeBit),
          FnReadCoils, first,
          K::Coil,     count,
          0,           {field},
          name,        page,
          polls,       polls ? code : uint8_t{0}};
}
constexpr TGroup Logic(uint8_t code, int setpoint, const char* name, TPagePlace page) {
  return {code,
          static_cast<uint8_t>(code + WriteCodeBit),
          FnReadHolding,
          static_cast<uint16_t>(640 + 32 * setpoint),
          K::LogicByte,
          C::Channels,
          0,
          {K7104_ROW(LogicCondition, setpoint), K7104_ROW(LogicFault, setpoint),
           K7104_ROW(LogicFilter, setpoint)},
          name,
          page,
          false,
          0};
}

// ArchivePeriod .. InterfaceSpeed, the padding byte included: it is never transferred.
inline constexpr TConfigField SettingsBytes =
    Field(offsetof(TConfigBlock, ArchivePeriod),
          offsetof(TConfigBlock, DeviceFaultRelay) - offsetof(TConfigBlock, ArchivePeriod));
// DeviceFaultRelay, DeviceFaultFlags, SensorFaultRelay, SensorFaultFlags: registers 109..112.
inline constexpr TConfigField FaultRelayBytes = Field(offsetof(TConfigBlock, DeviceFaultRelay), 4);

inline constexpr TGroup Table[] = {
    {GroupCurrentValues,
     0,
     FnReadHolding,
     768,
     K::LiveValues,
     C::Channels,
     0,
     {},
     "текущих измерений",
     {0, 0},
     true,
     GroupCurrentValues},
    {GroupLastCycle,
     0,
     FnReadInput,
     0,
     K::CycleRecord,
     C::Channels,
     0,
     {},
     "последних измерений",
     {1, 0},
     true,
     GroupLastCycle},
    Bytes(2, 128, K7104_FIELD(TypeSensor), "типы датчиков", {2, 0}),
    Coils(3, 64, C::Channels, K7104_FIELD(ThreeWire), "типы соединения", {3, 0}),
    Coils(4, 0, C::Channels, K7104_FIELD(BreakCheck), "проверка на обрыв", {4, 0}),
    Bytes(5, 608, K7104_FIELD(KXC), "КХС", {5, 0}),
    Coils(6, 32, C::Channels, K7104_FIELD(SquareRoot), "извлечение корня", {6, 0}),
    Bytes(7, 192, K7104_FIELD(Filter), "фильтра каналов", {7, 0}),
    Bytes(8, 160, K7104_FIELD(Comma), "запятых", {8, 0}),
    Floats(9, 896, K7104_FIELD(Minimum), "минимумов", {9, 0}),
    Floats(10, 1024, K7104_FIELD(Maximum), "максимумов", {9, 1}),
    Floats(11, 1152, K7104_ROW(Setpoint, 0), "первых уставок", {10, 0}),
    Floats(12, 1280, K7104_ROW(Setpoint, 1), "вторых уставок", {10, 1}),
    Floats(13, 1408, K7104_ROW(Setpoint, 2), "третьих уставок", {10, 2}),
    Floats(14, 1536, K7104_ROW(Setpoint, 3), "четвертых уставок", {10, 3}),
    Floats(15, 1664, K7104_FIELD(Hysteresis), "гистерезисов", {11, 0}),
    Bytes(16, 448, K7104_ROW(SetpointRelay, 0), "реле первых уставок", {12, 0}),
    Bytes(17, 480, K7104_ROW(SetpointRelay, 1), "реле вторых уставок", {12, 1}),
    Bytes(18, 512, K7104_ROW(SetpointRelay, 2), "реле третьих уставок", {12, 2}),
    Bytes(19, 544, K7104_ROW(SetpointRelay, 3), "реле четвертых уставок", {12, 3}),
    {20,
     20 + WriteCodeBit,
     FnReadHolding,
     109,
     K::LowByte,
     C::Fixed,
     4,
     {FaultRelayBytes},
     "реле дополнительное",
     {12, 4},
     false,
     0},
    Coils(21, 96, C::Relays, K7104_FIELD(RelayByComputer), "управление реле", {12, 5}),
    Coils(GroupRelayTest, 128, C::Relays, K7104_FIELD(RelayTestOn), "тест реле", {12, 6}, true),
    Logic(23, 0, "логика реле первых уставок", {13, 0}),
    Logic(24, 1, "логика реле вторых уставок", {13, 1}),
    Logic(25, 2, "логика реле третьих уставок", {13, 2}),
    Logic(26, 3, "логика реле четвертых уставок", {13, 3}),
    {OpReadSettings,
     OpWriteSettings,
     FnReadHolding,
     0,
     K::Settings,
     C::Fixed,
     0,
     {SettingsBytes},
     "дополнительное",
     {},
     false,
     0},
    {OpReadClock,
     OpWriteClock,
     FnReadHolding,
     10,
     K::Clock,
     C::Fixed,
     0,
     {},
     "текущее дата и время",
     {},
     false,
     0},
    {OpReadState,
     0,
     FnReadHolding,
     10,
     K::State,
     C::Fixed,
     0,
     {},
     "состояние прибора",
     {},
     false,
     0},
    // The device settings page: the settings and the clock; while shown, the state is polled.
    {JobReadSettingsPage,
     JobWriteSettingsPage,
     0,
     0,
     K::Job,
     C::Fixed,
     0,
     {},
     "дополнительное",
     {14, 0},
     true,
     OpReadState},
    {OpReadRecord,
     0,
     FnReadInput,
     0,
     K::ArchiveRecord,
     C::Channels,
     0,
     {},
     "архив измерений",
     {},
     false,
     0},
    {JobReadArchive, 0, 0, 0, K::Job, C::Fixed, 0, {}, "архив измерений", {15, 0}, false, 0},
    {OpChangeAddress,
     OpChangeAddress,
     0,
     99,
     K::Address,
     C::Fixed,
     1,
     {},
     "адреса прибора",
     {},
     false,
     0},
};

#undef K7104_FIELD
#undef K7104_ROW

}  // namespace groups_detail

// Every row, in code order.
inline constexpr const auto& Groups = groups_detail::Table;

constexpr bool IsWriteCode(uint8_t code) {
  return code >= WriteCodeBit;
}

constexpr const TGroup* GroupByCode(uint8_t code) {
  for (const TGroup& g : Groups)
    if (g.Code == code || (g.WriteCode != 0 && g.WriteCode == code)) return &g;
  return nullptr;
}

constexpr const TGroup* GroupForPage(int page, int subPage = 0) {
  for (const TGroup& g : Groups)
    if (g.Page.Page >= 0 && g.Page.Page == page && g.Page.SubPage == subPage) return &g;
  return nullptr;
}

constexpr bool IsParameterGroup(int code) {
  return code >= FirstGroup && code <= LastGroup;
}

inline uint8_t* ConfigBytes(TConfigBlock& block, const TConfigField& field) {
  return reinterpret_cast<uint8_t*>(&block) + field.Offset;
}
inline const uint8_t* ConfigBytes(const TConfigBlock& block, const TConfigField& field) {
  return reinterpret_cast<const uint8_t*>(&block) + field.Offset;
}
inline TLeFloat* ConfigFloats(TConfigBlock& block, const TConfigField& field) {
  return reinterpret_cast<TLeFloat*>(ConfigBytes(block, field));
}
inline const TLeFloat* ConfigFloats(const TConfigBlock& block, const TConfigField& field) {
  return reinterpret_cast<const TLeFloat*>(ConfigBytes(block, field));
}

namespace groups_detail {

// The checks go by index: GCC's undefined-behaviour sanitizer makes pointer comparisons no
// constant expressions, and the sanitizer builds must compile the table too.
constexpr bool CodesAreUnique() {
  for (size_t i = 0; i < std::size(Groups); ++i)
    for (size_t j = 0; j < std::size(Groups); ++j) {
      if (i == j) continue;
      const TGroup& a = Groups[i];
      const TGroup& b = Groups[j];
      if (a.Code == b.Code ||
          (a.WriteCode != 0 && (a.WriteCode == b.WriteCode || a.WriteCode == b.Code)))
        return false;
    }
  return true;
}

constexpr bool PagesAreUnique() {
  for (size_t i = 0; i < std::size(Groups); ++i)
    for (size_t j = 0; j < std::size(Groups); ++j)
      if (i != j && Groups[i].Page.Page >= 0 && Groups[i].Page.Page == Groups[j].Page.Page &&
          Groups[i].Page.SubPage == Groups[j].Page.SubPage)
        return false;
  return true;
}

// Every parameter group is read and written by its own pair of operations.
constexpr bool ParameterGroupsAreComplete() {
  for (int code = FirstGroup; code <= LastGroup; ++code) {
    bool complete = false;
    for (const TGroup& g : Groups)
      if (g.Code == code && g.WriteCode != 0 && g.Fields[0].Size != 0) complete = true;
    if (!complete) return false;
  }
  return true;
}

static_assert(CodesAreUnique());
static_assert(PagesAreUnique());
static_assert(ParameterGroupsAreComplete());

}  // namespace groups_detail
