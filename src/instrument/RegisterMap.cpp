// How each kind of group is encoded in the instrument's register space; where each group lives is
// in Groups.h.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "instrument/RegisterMap.h"

#include "instrument/BusyRetry.h"

namespace {

// The blocks of the composite groups beside their first register in the table.
constexpr uint16_t IdentityRegisters = 9;  // 0..8
constexpr uint16_t ArchiveDepthRegister = 113;
constexpr uint16_t StateRegister = 97;  // 97..104: state, settings, address
constexpr uint16_t StateBlockRegisters = 8;
constexpr uint16_t ArchivePeriodRegister = 98;
constexpr uint16_t SettingsBlockRegister = 100;  // 100..104
constexpr uint16_t PeriodsRegister = 1792;       // nominal, then measurement period
constexpr uint16_t MeasurePeriodRegister = 1794;
// A line that held a reply up lets the rest of it through within this time, beyond its own.
constexpr double RetrySettleMarginMs = 100;
// Attempts of one transaction of the settings write while the instrument reports busy.
constexpr int SettingsWriteAttempts = 10;

// The identity text with the two characters of every register swapped, as it arrives.
constexpr char WireIdentity[DeviceIdLength + 1] = "OVTSERIL!N";

bool IsKnownModel(uint16_t model) {
  return model == ModelK7104T1 || model == ModelK7104C1 || model == ModelK7104E025;
}

bool IsLineFailure(TResult result) {
  return result == RESULT_TIMEOUT || result == RESULT_CRC || result == RESULT_LENGTH;
}

constexpr uint16_t CoilBytes(uint16_t flags) {
  return static_cast<uint16_t>((flags + 7) / 8);
}

// Register k of a read reply (data[0] is the byte count).
uint16_t RegisterAt(const uint8_t* data, int k) {
  return static_cast<uint16_t>((data[1 + 2 * k] << 8) | data[2 + 2 * k]);
}

uint8_t LowByteAt(const uint8_t* data, int k) {
  return data[2 + 2 * k];
}

// Two registers, the low half of the single first.
float FloatAt(const uint8_t* data, int k) {
  const uint32_t bits =
      (static_cast<uint32_t>(RegisterAt(data, k + 1)) << 16) | RegisterAt(data, k);
  return std::bit_cast<float>(bits);
}

uint8_t CoilAt(const uint8_t* data, int j) {
  return static_cast<uint8_t>((data[1 + j / 8] >> (j % 8)) & 1);
}

// Three registers: (month, year - 2000), (hour, day), (second, minute). A value that is no date
// leaves the target as it was; a date with an impossible time stores that date at midnight.
void StoreDateTime(const uint8_t* data, int k, TDateTime& target) {
  const uint16_t a = RegisterAt(data, k);
  const uint16_t b = RegisterAt(data, k + 1);
  const uint16_t c = RegisterAt(data, k + 2);
  const int month = a >> 8, year = (a & 0xFF) + 2000;
  const int hour = b >> 8, day = b & 0xFF;
  const int second = c >> 8, minute = c & 0xFF;
  if (!IsValidDate(year, month, day)) return;
  TDateTime value = EncodeDate(year, month, day);
  if (IsValidTime(hour, minute, second, 0)) value += EncodeTime(hour, minute, second, 0);
  target = value;
}

void PutRegister(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

uint16_t LowHalf(float v) {
  return static_cast<uint16_t>(std::bit_cast<uint32_t>(v));
}
uint16_t HighHalf(float v) {
  return static_cast<uint16_t>(std::bit_cast<uint32_t>(v) >> 16);
}

uint16_t PackDateHigh(int high, int low) {
  return static_cast<uint16_t>(((high & 0xFF) << 8) | (low & 0xFF));
}

// Setpoint logic byte: bit 0 condition, bits 1..2 fault action, bit 3 filter.
uint8_t LogicByte(uint8_t condition, uint8_t fault, uint8_t filter) {
  return static_cast<uint8_t>((condition & 1) | ((fault & 3) << 1) | ((filter & 1) << 3));
}

}  // namespace

TResult TRegisterMap::Execute(uint8_t op) {
  const TGroup* group = GroupByCode(op);
  if (group == nullptr || group->Kind == TElementKind::Job) return RESULT_OK;
  const bool write = group->WriteCode != 0 && op == group->WriteCode;
  const uint8_t address = bus_.RequestFrame().GetAddress();
  writesAcknowledged_ = 0;
  const TResult result = write ? WriteOperation(*group) : ReadOperation(*group);
  if (result == RESULT_OK) image_.GroupTransferred(group->Code);
  if (observer_ != nullptr && write) {
    const TTransactionTrace& trace = bus_.LastTrace();
    observer_->GroupWritten(
        {group, op, address, result, result == RESULT_OK ? int16_t{-1} : trace.Exception,
         result == RESULT_OK ? int16_t{-1} : trace.GatewayException,
         result != RESULT_OK && writesAcknowledged_ > 0},
        image_);
  } else if (observer_ != nullptr && result == RESULT_OK) {
    observer_->GroupRead(*group, address, image_);
  }
  return result;
}

TResult TRegisterMap::Transact() {
  // A broadcast gets no reply: an empty reply frame then fails every length check instead of a
  // stale reply passing for a new one.
  bus_.ReplyFrame().Length = 0;
  const TResult result = bus_.Transaction();
  const uint8_t function = bus_.RequestFrame().GetFunction();
  if (result == RESULT_OK && (function == FnWriteRegisters || function == FnWriteCoils))
    ++writesAcknowledged_;
  return result;
}

TResult TRegisterMap::TransactRead(uint16_t expectedLength) {
  const TResult result = Transact();
  if (result != RESULT_OK) return result;
  if (bus_.ReplyFrame().DataLength() != expectedLength) return RESULT_LENGTH;
  return RESULT_OK;
}

// Only what the line may have garbled is sent again: an exception reply or a wrong device is the
// instrument's own answer.
TResult TRegisterMap::ReadRegisters(uint8_t function, uint16_t first, uint16_t count,
                                    uint16_t expectedLength) {
  TModBusFrame& request = bus_.RequestFrame();
  request.SetDataLength(4);
  request.SetFunction(function);
  PutRegister(request.FrameData(), first);
  PutRegister(request.FrameData() + 2, count);
  const int retries = probing_ ? 0 : readRetries_.load();
  TResult result = TransactRead(expectedLength);
  for (int retry = 0; retry < retries && IsLineFailure(result); ++retry) {
    if (cancel_ != nullptr && cancel_->load() != 0) break;
    SettleBeforeRetry(expectedLength, retry);
    result = TransactRead(expectedLength);
  }
  return result;
}

// What is left of a broken or late reply still comes in after the read gave up on it, and sent
// again at once the request would take that rest for the start of its reply. The first retry
// waits as long as the whole exchange takes on the line and a margin for a line that held the
// reply up, each later one twice as long as the one before (a line that held one reply up may
// hold the next longer), never longer than the reply timeout; the channel then drops what came
// before it sends the request again.
void TRegisterMap::SettleBeforeRetry(uint16_t expectedLength, int retry) {
  const double characters = bus_.RequestFrame().Length + 2.0 + expectedLength + 5.0;
  const double first = TModBus::CharacterMs(bus_.BaudRate()) * characters + RetrySettleMarginMs;
  const double ms = std::min<double>(std::ldexp(first, retry), bus_.WaitTime());
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

TResult TRegisterMap::WriteRegisters(uint16_t first, const uint16_t* values, uint16_t count) {
  TModBusFrame& request = bus_.RequestFrame();
  request.SetDataLength(static_cast<uint16_t>(5 + 2 * count));
  request.SetFunction(FnWriteRegisters);
  uint8_t* data = request.FrameData();
  PutRegister(data, first);
  PutRegister(data + 2, count);
  data[4] = static_cast<uint8_t>(2 * count);
  for (uint16_t k = 0; k < count; ++k) PutRegister(data + 5 + 2 * k, values[k]);
  return Transact();
}

TResult TRegisterMap::WriteCoils(uint16_t first, const uint8_t* flags, uint16_t count) {
  TModBusFrame& request = bus_.RequestFrame();
  const uint16_t bytes = CoilBytes(count);
  request.SetDataLength(static_cast<uint16_t>(5 + bytes));
  request.SetFunction(FnWriteCoils);
  uint8_t* data = request.FrameData();
  PutRegister(data, first);
  PutRegister(data + 2, count);
  data[4] = static_cast<uint8_t>(bytes);
  std::memset(data + 5, 0, bytes);
  for (uint16_t j = 0; j < count; ++j) {
    if (flags[j] != 0) data[5 + j / 8] |= static_cast<uint8_t>(1 << (j % 8));
  }
  return Transact();
}

// The elements a group's transfer carries, for the counts of the instrument last talked to.
uint16_t TRegisterMap::ElementCount(const TGroup& group) const {
  switch (group.Count) {
    case TCountRule::Channels:
      return std::min<uint16_t>(image_.ChannelCount, MaxChannels);
    case TCountRule::Relays:
      return std::min<uint16_t>(image_.RelayCount, MaxRelays);
    case TCountRule::Fixed:
      break;
  }
  return group.FixedCount;
}

TResult TRegisterMap::ReadLowBytes(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  const TResult r =
      ReadRegisters(group.Function, group.FirstRegister, n, static_cast<uint16_t>(2 * n + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  uint8_t* target = ConfigBytes(image_.Config, group.Fields[0]);
  for (int i = 0; i < n; ++i) target[i] = LowByteAt(data, i);
  return RESULT_OK;
}

TResult TRegisterMap::ReadFloats(uint8_t function, uint16_t first, uint16_t count, float* target) {
  const TResult r = ReadRegisters(function, first, static_cast<uint16_t>(2 * count),
                                  static_cast<uint16_t>(4 * count + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  for (int i = 0; i < count; ++i) target[i] = FloatAt(data, 2 * i);
  return RESULT_OK;
}

TResult TRegisterMap::ReadBlockFloats(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  float values[MaxChannels];
  const TResult r = ReadFloats(group.Function, group.FirstRegister, n, values);
  if (r != RESULT_OK) return r;
  TLeFloat* target = ConfigFloats(image_.Config, group.Fields[0]);
  for (int i = 0; i < n; ++i) target[i] = values[i];
  return RESULT_OK;
}

TResult TRegisterMap::ReadCoils(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  const TResult r = ReadRegisters(group.Function, group.FirstRegister, n,
                                  static_cast<uint16_t>(CoilBytes(n) + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  uint8_t* target = ConfigBytes(image_.Config, group.Fields[0]);
  for (int j = 0; j < n; ++j) target[j] = CoilAt(data, j);
  return RESULT_OK;
}

// The last finished cycle and an archive record share one layout: a number, three date-time
// registers, then two registers per channel.
TResult TRegisterMap::ReadRecordLayout(const TGroup& group, uint16_t first, uint16_t* number,
                                       TDateTime& time, float* values) {
  const uint16_t n = ElementCount(group);
  const TResult r = ReadRegisters(group.Function, first, static_cast<uint16_t>(2 * n + 4),
                                  static_cast<uint16_t>(4 * n + 9));
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  if (number != nullptr) *number = RegisterAt(data, 0);
  StoreDateTime(data, 1, time);
  for (int i = 0; i < n; ++i) values[i] = FloatAt(data, 4 + 2 * i);
  return RESULT_OK;
}

TResult TRegisterMap::ReadLogic(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  const TResult r =
      ReadRegisters(group.Function, group.FirstRegister, n, static_cast<uint16_t>(2 * n + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  uint8_t* condition = ConfigBytes(image_.Config, group.Fields[0]);
  uint8_t* fault = ConfigBytes(image_.Config, group.Fields[1]);
  uint8_t* filter = ConfigBytes(image_.Config, group.Fields[2]);
  for (int i = 0; i < n; ++i) {
    const uint8_t b = LowByteAt(data, i);
    condition[i] = b & 1;
    fault[i] = (b >> 1) & 3;
    filter[i] = (b >> 3) & 1;
  }
  return RESULT_OK;
}

// Identity, archive depth, settings and periods; each transaction keeps what the earlier ones
// stored when a later one fails.
TResult TRegisterMap::ReadSettings(const TGroup& group) {
  TResult r = ReadRegisters(group.Function, group.FirstRegister, IdentityRegisters,
                            2 * IdentityRegisters + 1);
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  for (int k = 0; k < 5; ++k) {
    image_.DeviceId[2 * k] = static_cast<char>(LowByteAt(data, k));
    image_.DeviceId[2 * k + 1] = static_cast<char>(data[1 + 2 * k]);
  }
  image_.DeviceId[DeviceIdLength] = '\0';
  image_.ModelCode = RegisterAt(data, 5);
  image_.FirmwareVersion = RegisterAt(data, 6);
  image_.DeviceChannels = RegisterAt(data, 7);
  image_.DeviceRelays = RegisterAt(data, 8);

  r = ReadRegisters(group.Function, ArchiveDepthRegister, 1, 3);
  if (r != RESULT_OK) return r;
  image_.ArchiveDepth = RegisterAt(bus_.ReplyFrame().FrameData(), 0);

  r = ReadRegisters(group.Function, StateRegister, StateBlockRegisters,
                    2 * StateBlockRegisters + 1);
  if (r != RESULT_OK) return r;
  data = bus_.ReplyFrame().FrameData();
  image_.DeviceState = RegisterAt(data, 0);
  image_.Config.ArchivePeriod = RegisterAt(data, 1);
  image_.InterfaceAddress = LowByteAt(data, 2);
  image_.Config.Register100 = LowByteAt(data, 3);
  image_.Config.Register101 = RegisterAt(data, 4);
  image_.Config.Password = RegisterAt(data, 5);
  image_.Config.Protocol = LowByteAt(data, 6);
  image_.Config.InterfaceSpeed = LowByteAt(data, 7);

  float periods[2];
  r = ReadFloats(group.Function, PeriodsRegister, 2, periods);
  if (r != RESULT_OK) return r;
  image_.NominalPeriod = periods[0];
  image_.Config.MeasurePeriod = periods[1];
  return RESULT_OK;
}

TResult TRegisterMap::CheckIdentity(TIdentity& identity) {
  const TResult r = ReadRegisters(FnReadHolding, 0, IdentityRegisters, 2 * IdentityRegisters + 1);
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  if (!std::equal(WireIdentity, WireIdentity + DeviceIdLength, data + 1))
    return RESULT_WRONG_DEVICE;
  if (!IsKnownModel(RegisterAt(data, 5))) return RESULT_WRONG_DEVICE;
  identity.ModelCode = RegisterAt(data, 5);
  identity.Firmware = RegisterAt(data, 6);
  identity.Channels = RegisterAt(data, 7);
  identity.Relays = RegisterAt(data, 8);
  if (observer_ != nullptr && !probing_)
    observer_->IdentityRead(bus_.RequestFrame().GetAddress(), identity);
  return RESULT_OK;
}

TResult TRegisterMap::ProbeIdentity(TIdentity& identity) {
  probing_ = true;
  const TResult result = CheckIdentity(identity);
  probing_ = false;
  return result;
}

// The current record number, then the clock in the three registers after it.
TResult TRegisterMap::ReadClock(const TGroup& group) {
  const TResult r = ReadRegisters(group.Function, group.FirstRegister, 4, 9);
  if (r != RESULT_OK) return r;
  const uint8_t* data = bus_.ReplyFrame().FrameData();
  image_.ArchiveCurrent = RegisterAt(data, 0);
  StoreDateTime(data, 1, image_.DeviceClock);
  return RESULT_OK;
}

TResult TRegisterMap::ReadState(const TGroup& group) {
  TResult r = ReadRegisters(group.Function, group.FirstRegister, 1, 3);
  if (r != RESULT_OK) return r;
  image_.ArchiveCurrent = RegisterAt(bus_.ReplyFrame().FrameData(), 0);
  r = ReadRegisters(group.Function, StateRegister, 1, 3);
  if (r != RESULT_OK) return r;
  image_.DeviceState = RegisterAt(bus_.ReplyFrame().FrameData(), 0);
  return RESULT_OK;
}

TResult TRegisterMap::ReadOperation(const TGroup& group) {
  switch (group.Kind) {
    case TElementKind::LiveValues:
      return ReadFloats(group.Function, group.FirstRegister, ElementCount(group),
                        image_.CurrentValue);
    case TElementKind::CycleRecord:
      return ReadRecordLayout(group, group.FirstRegister, nullptr, image_.LastCycleTime,
                              image_.LastCycleValue);
    case TElementKind::ArchiveRecord:
      // A record whose date is no date has no time, rather than the previous record's.
      image_.MeasRecord.Time = NoDateTime;
      return ReadRecordLayout(
          group, static_cast<uint16_t>(group.FirstRegister + image_.RecordIndex),
          &image_.MeasRecord.Number, image_.MeasRecord.Time, image_.MeasRecord.Value);
    case TElementKind::LowByte:
      return ReadLowBytes(group);
    case TElementKind::Float:
      return ReadBlockFloats(group);
    case TElementKind::Coil:
      return ReadCoils(group);
    case TElementKind::LogicByte:
      return ReadLogic(group);
    case TElementKind::Settings:
      return ReadSettings(group);
    case TElementKind::Clock:
      return ReadClock(group);
    case TElementKind::State:
      return ReadState(group);
    case TElementKind::Address:
    case TElementKind::Job:
      break;
  }
  return RESULT_OK;
}

TResult TRegisterMap::WriteLowBytes(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  const uint8_t* source = ConfigBytes(image_.Config, group.Fields[0]);
  uint16_t values[MaxChannels];
  for (int i = 0; i < n; ++i) values[i] = source[i];
  return WriteRegisters(group.FirstRegister, values, n);
}

TResult TRegisterMap::WriteFloats(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  const TLeFloat* source = ConfigFloats(image_.Config, group.Fields[0]);
  uint16_t values[2 * MaxChannels];
  for (int i = 0; i < n; ++i) {
    const float v = source[i];
    values[2 * i] = LowHalf(v);
    values[2 * i + 1] = HighHalf(v);
  }
  return WriteRegisters(group.FirstRegister, values, static_cast<uint16_t>(2 * n));
}

TResult TRegisterMap::WriteLogic(const TGroup& group) {
  const uint16_t n = ElementCount(group);
  const uint8_t* condition = ConfigBytes(image_.Config, group.Fields[0]);
  const uint8_t* fault = ConfigBytes(image_.Config, group.Fields[1]);
  const uint8_t* filter = ConfigBytes(image_.Config, group.Fields[2]);
  uint16_t values[MaxChannels];
  for (int i = 0; i < n; ++i) values[i] = LogicByte(condition[i], fault[i], filter[i]);
  return WriteRegisters(group.FirstRegister, values, n);
}

TResult TRegisterMap::WriteWhileBusy(uint16_t first, const uint16_t* values, uint16_t count) {
  return RetryWhileBusy(SettingsWriteAttempts, [this, first, values, count] {
    return WriteRegisters(first, values, count);
  });
}

// Archive period, the registers 100..104 and the measurement period; the state (97) and the
// address (99) are not written here.
TResult TRegisterMap::WriteSettings() {
  const uint16_t period = image_.Config.ArchivePeriod;
  TResult r = WriteRegisters(ArchivePeriodRegister, &period, 1);
  if (r != RESULT_OK) return r;
  const uint16_t block[5] = {image_.Config.Register100, image_.Config.Register101,
                             image_.Config.Password, image_.Config.Protocol,
                             image_.Config.InterfaceSpeed};
  r = WriteWhileBusy(SettingsBlockRegister, block, 5);
  if (r != RESULT_OK) return r;
  const float measure = image_.Config.MeasurePeriod;
  const uint16_t halves[2] = {LowHalf(measure), HighHalf(measure)};
  return WriteWhileBusy(MeasurePeriodRegister, halves, 2);
}

// The clock's three registers follow the current record number, which is not written.
TResult TRegisterMap::WriteClock(const TGroup& group) {
  const TDateTimeParts p = DecodeDateTime(image_.DeviceClock);
  const uint16_t values[3] = {PackDateHigh(p.Month, p.Year - 2000), PackDateHigh(p.Hour, p.Day),
                              PackDateHigh(p.Second, p.Minute)};
  return WriteRegisters(static_cast<uint16_t>(group.FirstRegister + 1), values, 3);
}

// Refuses an address that some instrument already answers at, then moves the instrument.
TResult TRegisterMap::ChangeAddress(const TGroup& group) {
  TModBusFrame& request = bus_.RequestFrame();
  request.SetAddress(image_.InterfaceAddress);
  request.SetDataLength(4);
  request.SetFunction(FnReadHolding);
  PutRegister(request.FrameData(), 0);
  PutRegister(request.FrameData() + 2, 1);
  const TResult probe = Transact();
  // Any answer from the new address, an exception or a reply that makes no sense included, means
  // a device is there: moving onto it would put two devices on one address. Only silence or a
  // broken reply lets the move go on.
  if (probe == RESULT_OK || bus_.LastTrace().Answered) return RESULT_ADDRESS_IN_USE;
  if (probe != RESULT_TIMEOUT && probe != RESULT_CRC && probe != RESULT_LENGTH) return probe;
  request.SetAddress(image_.Address);
  const uint16_t value = image_.InterfaceAddress;
  return WriteRegisters(group.FirstRegister, &value, 1);
}

TResult TRegisterMap::WriteOperation(const TGroup& group) {
  switch (group.Kind) {
    case TElementKind::LowByte:
      return WriteLowBytes(group);
    case TElementKind::Float:
      return WriteFloats(group);
    case TElementKind::Coil:
      return WriteCoils(group.FirstRegister, ConfigBytes(image_.Config, group.Fields[0]),
                        ElementCount(group));
    case TElementKind::LogicByte:
      return WriteLogic(group);
    case TElementKind::Settings:
      return WriteSettings();
    case TElementKind::Clock:
      return WriteClock(group);
    case TElementKind::Address:
      return ChangeAddress(group);
    case TElementKind::LiveValues:
    case TElementKind::CycleRecord:
    case TElementKind::ArchiveRecord:
    case TElementKind::State:
    case TElementKind::Job:
      break;
  }
  return RESULT_OK;
}
