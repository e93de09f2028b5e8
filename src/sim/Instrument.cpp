// Instrument: the thread-safe face of one instrument's register model.
#include <bit>

#include "sim/InstrumentModel.h"
#include "sim/SimClock.h"

namespace k7104sim {

Instrument::Instrument(const InstrumentSpec& wanted)
    : model_(std::make_unique<InstrumentModel>(wanted, HostNowLocal())), baud_(wanted.baud) {}

Instrument::~Instrument() = default;

uint8_t Instrument::Address() const {
  std::lock_guard lock(mutex_);
  return model_->Address();
}

uint16_t Instrument::HoldingRegister(uint16_t reg) const {
  std::lock_guard lock(mutex_);
  return model_->ReadRegister(reg, HostNowLocal());
}

void Instrument::SetHoldingRegister(uint16_t reg, uint16_t value) {
  std::lock_guard lock(mutex_);
  model_->SetRegister(reg, value, HostNowLocal());
}

float Instrument::HoldingFloat(uint16_t reg) const {
  std::lock_guard lock(mutex_);
  const double now = HostNowLocal();
  const uint32_t low = model_->ReadRegister(reg, now);
  const uint32_t high = model_->ReadRegister(static_cast<uint16_t>(reg + 1), now);
  return std::bit_cast<float>(high << 16 | low);
}

void Instrument::SetHoldingFloat(uint16_t reg, float value) {
  std::lock_guard lock(mutex_);
  const double now = HostNowLocal();
  const auto bits = std::bit_cast<uint32_t>(value);
  model_->SetRegister(reg, static_cast<uint16_t>(bits & 0xFFFF), now);
  model_->SetRegister(static_cast<uint16_t>(reg + 1), static_cast<uint16_t>(bits >> 16), now);
}

bool Instrument::Coil(uint16_t coil) const {
  std::lock_guard lock(mutex_);
  return model_->Coil(coil);
}

void Instrument::SetCoil(uint16_t coil, bool on) {
  std::lock_guard lock(mutex_);
  model_->SetCoil(coil, on);
}

void Instrument::SetLiveValue(int channel, float value) {
  std::lock_guard lock(mutex_);
  model_->SetLiveValue(channel, value);
}

void Instrument::FreezeLive(bool frozen) {
  std::lock_guard lock(mutex_);
  model_->FreezeLive(frozen, HostNowLocal());
}

void Instrument::SetArchiveDepth(uint16_t depth) {
  std::lock_guard lock(mutex_);
  model_->SetArchiveDepth(depth, HostNowLocal());
}

void Instrument::SetArchiveRecordTime(uint16_t record, double dateTime) {
  std::lock_guard lock(mutex_);
  model_->SetArchiveRecordTime(record, dateTime);
}

void Instrument::SetArchiveRecordClock(uint16_t record, const std::array<uint16_t, 3>& registers) {
  std::lock_guard lock(mutex_);
  model_->SetArchiveRecordClock(record, registers);
}

void Instrument::SetClock(double dateTime) {
  std::lock_guard lock(mutex_);
  model_->SetClock(dateTime, HostNowLocal());
}

double Instrument::Clock() const {
  std::lock_guard lock(mutex_);
  return model_->Clock(HostNowLocal());
}

uint32_t Instrument::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::unique_ptr<Instrument> InstrumentAccess::Create(const InstrumentSpec& wanted) {
  return std::unique_ptr<Instrument>(new Instrument(wanted));
}

ServeResult InstrumentAccess::Serve(Instrument& instrument, const uint8_t* pdu, size_t length,
                                    const ReadOverrides& overrides) {
  std::lock_guard lock(instrument.mutex_);
  ++instrument.requests_;
  return instrument.model_->Serve(pdu, length, overrides, HostNowLocal());
}

void InstrumentAccess::CountRequest(Instrument& instrument) {
  std::lock_guard lock(instrument.mutex_);
  ++instrument.requests_;
}

void InstrumentAccess::MoveTo(Instrument& instrument, uint8_t address) {
  std::lock_guard lock(instrument.mutex_);
  instrument.model_->SetAddress(address);
}

}  // namespace k7104sim
