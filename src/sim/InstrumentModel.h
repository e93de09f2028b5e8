// The register model of one simulated instrument: holding registers, coils, the last finished
// cycle and the measurement archive, and the Modbus functions that reach them. Not thread-safe:
// Instrument wraps it with a lock. Times are host local date-times (days since 1899-12-30).
// The model keeps its own register addresses (InstrumentModel.cpp) and none of the configurator's
// protocol code but the CRC: it is an independent check of the group table in instrument/Groups.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "sim/Simulator.h"

namespace k7104sim {

enum ModbusException : uint8_t {
  kIllegalFunction = 1,
  kIllegalDataAddress = 2,
  kIllegalDataValue = 3,
  kDeviceBusy = 6,
};

// What faults change in the values a read returns.
struct ReadOverrides {
  bool unswappedIdentity = false;
  std::optional<uint16_t> modelCode;
  std::optional<uint16_t> recordNumber;
};

struct ServeResult {
  std::vector<uint8_t> pdu;           // function code and data of the reply
  std::optional<uint8_t> newAddress;  // where the instrument moves once the reply is out
};

std::vector<uint8_t> ExceptionPdu(uint8_t function, uint8_t code);

class InstrumentModel {
 public:
  static constexpr int kMaxChannels = 32;
  static constexpr int kRegisterSpace = 2048;
  static constexpr int kCoilSpace = 160;

  InstrumentModel(const InstrumentSpec& wanted, double now);

  // Carries out one request (function code and data, without address and CRC).
  ServeResult Serve(const uint8_t* pdu, size_t length, const ReadOverrides& overrides, double now);

  uint8_t Address() const { return address_; }
  void SetAddress(uint8_t address) { address_ = address; }
  uint16_t ReadRegister(uint16_t reg, double now, const ReadOverrides& overrides = {}) const;
  void SetRegister(uint16_t reg, uint16_t value, double now);
  bool Coil(uint16_t coil) const { return coil < kCoilSpace && coils_[coil]; }
  void SetCoil(uint16_t coil, bool on);
  void SetLiveValue(int channel, float value);
  void FreezeLive(bool frozen, double now);
  void SetArchiveDepth(uint16_t depth, double now);
  void SetArchiveRecordTime(uint16_t record, double dateTime);
  void SetArchiveRecordClock(uint16_t record, const std::array<uint16_t, 3>& registers);
  void SetClock(double dateTime, double now);
  double Clock(double now) const { return now + clockOffset_; }

  // Registers of the last finished cycle (record 0) or of archive record k, as input registers.
  std::vector<uint16_t> InputRecord(uint16_t record, double now,
                                    const ReadOverrides& overrides = {}) const;

 private:
  enum class Access { None, ReadOnly, ReadWrite };
  Access RegisterAccess(uint16_t reg) const;
  bool CoilExists(uint16_t coil) const;
  int ChannelsPresent() const;
  int RelaysPresent() const;

  ServeResult ReadCoils(const uint8_t* data, size_t length) const;
  ServeResult ReadHolding(const uint8_t* data, size_t length, const ReadOverrides& overrides,
                          double now) const;
  ServeResult ReadInput(const uint8_t* data, size_t length, const ReadOverrides& overrides,
                        double now) const;
  ServeResult WriteCoil(const uint8_t* data, size_t length);
  ServeResult WriteRegister(const uint8_t* data, size_t length, double now);
  ServeResult WriteCoils(const uint8_t* data, size_t length);
  ServeResult WriteRegisters(const uint8_t* data, size_t length, double now);
  // Checks and stores registers first..first+count-1; an exception code when refused.
  std::optional<uint8_t> StoreRegisters(uint16_t first, const std::vector<uint16_t>& values,
                                        double now, std::optional<uint8_t>& newAddress);

  void FillDefaults(const InstrumentSpec& wanted);
  void FillChannelDefaults(int channel);
  float StoredFloat(uint16_t reg) const;
  void StoreFloat(uint16_t reg, float value);
  uint8_t SensorType(int channel) const { return stored_[128 + channel] & 0xFF; }
  int Decimals(int channel) const;
  double CyclePeriodSeconds() const;
  double LiveSeconds(double now) const;
  float ValueAt(int channel, double seconds) const;
  float LiveValue(int channel, double now) const;
  float ArchiveValue(int channel, uint16_t record) const;
  double RecordTime(uint16_t record) const;
  void AnchorArchive(double now);

  uint8_t address_;
  std::array<uint16_t, kRegisterSpace> stored_{};
  std::array<bool, kCoilSpace> coils_{};
  uint16_t channels_;
  uint16_t relays_;
  double clockOffset_ = 0;  // instrument clock minus host local time, in days
  std::array<std::optional<float>, kMaxChannels> frozenValues_{};
  std::optional<double> liveFrozenAt_;  // host date-time at which FreezeLive stopped the values
  uint16_t archiveDepth_ = 500;
  uint16_t archiveCurrent_ = 500;
  double archiveAnchor_ = 0;  // instrument clock (whole seconds) when the current record was made
  std::map<uint16_t, double> recordTimes_;
  std::map<uint16_t, std::array<uint16_t, 3>> recordClocks_;  // as sent, valid or not
};

// What the line does with an instrument besides the public accessors.
struct InstrumentAccess {
  static std::unique_ptr<Instrument> Create(const InstrumentSpec& wanted);
  // Counts the request and carries it out.
  static ServeResult Serve(Instrument& instrument, const uint8_t* pdu, size_t length,
                           const ReadOverrides& overrides);
  static void CountRequest(Instrument& instrument);
  static void MoveTo(Instrument& instrument, uint8_t address);
};

}  // namespace k7104sim
