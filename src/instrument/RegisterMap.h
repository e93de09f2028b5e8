// The register map: one read or write operation of a group (Groups.h) between the instrument's
// Modbus registers and a data image, over a TModBus whose port is open. No thread of its own: it
// runs on the job thread, or on any one thread while no job runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "instrument/DataImage.h"
#include "instrument/WriteObserver.h"
#include "modbus/Modbusunit.h"

// What the identity registers 0..8 say of an instrument of the family.
struct TIdentity {
  uint16_t ModelCode = 0;
  uint16_t Firmware = 0;  // high byte major, low byte minor
  uint16_t Channels = 0;  // as reported, not clamped
  uint16_t Relays = 0;
};

// The most a read is sent again after a failure of the line.
inline constexpr uint8_t MaxReadRetries = 5;

class TRegisterMap {
 public:
  // A read stops repeating itself once *cancel is set, when it is given.
  TRegisterMap(TModBus& bus, TDataImage& image, const std::atomic<uint8_t>* cancel = nullptr)
      : bus_(bus), image_(image), cancel_(cancel) {}

  // A read transaction that ends in a timeout, a CRC or a length failure is sent again up to n
  // times (at most MaxReadRetries) before the operation fails; 0, the default, sends it once.
  // Writes are never sent again. May be set from any thread; a read under way keeps its count.
  void SetReadRetries(uint8_t n) { readRetries_ = n < MaxReadRetries ? n : MaxReadRetries; }
  uint8_t ReadRetries() const { return readRetries_.load(); }

  // Every identity read, group read and group write from now on is told to observer (nullptr:
  // none). Set it while no operation runs.
  void SetWriteObserver(TWriteObserver* observer) { observer_ = observer; }
  // False when the observer says no write may start.
  bool WritesMayStart() const { return observer_ == nullptr || observer_->WritesMayStart(); }

  // Reads or writes the group that op reads or writes; a group read or written holds the
  // instrument's values from then on. A code that no row has, or a job's code, is no operation.
  // Expects the slave address in the request frame.
  TResult Execute(uint8_t op);

  // Registers 0..8 at the address in the request frame: the swapped identity text and a model
  // code of the family, else RESULT_WRONG_DEVICE. Nothing is stored in the image.
  TResult CheckIdentity(TIdentity& identity);
  // The same check as a search's probe: sent once whatever the retries, since a silent address is
  // the usual answer there.
  TResult ProbeIdentity(TIdentity& identity);

 private:
  TResult Transact();
  TResult TransactRead(uint16_t expectedLength);
  void SettleBeforeRetry(uint16_t expectedLength, int retry);
  uint16_t ElementCount(const TGroup& group) const;
  TResult ReadRegisters(uint8_t function, uint16_t first, uint16_t count, uint16_t expectedLength);
  TResult WriteRegisters(uint16_t first, const uint16_t* values, uint16_t count);
  TResult WriteWhileBusy(uint16_t first, const uint16_t* values, uint16_t count);
  TResult WriteCoils(uint16_t first, const uint8_t* flags, uint16_t count);
  TResult ReadOperation(const TGroup& group);
  TResult WriteOperation(const TGroup& group);
  TResult ReadLowBytes(const TGroup& group);
  TResult ReadFloats(uint8_t function, uint16_t first, uint16_t count, float* target);
  TResult ReadBlockFloats(const TGroup& group);
  TResult ReadCoils(const TGroup& group);
  TResult ReadRecordLayout(const TGroup& group, uint16_t first, uint16_t* number, TDateTime& time,
                           float* values);
  TResult ReadLogic(const TGroup& group);
  TResult ReadSettings(const TGroup& group);
  TResult ReadClock(const TGroup& group);
  TResult ReadState(const TGroup& group);
  TResult WriteLowBytes(const TGroup& group);
  TResult WriteFloats(const TGroup& group);
  TResult WriteLogic(const TGroup& group);
  TResult WriteSettings();
  TResult WriteClock(const TGroup& group);
  TResult ChangeAddress(const TGroup& group);

  TModBus& bus_;
  TDataImage& image_;
  const std::atomic<uint8_t>* cancel_;
  std::atomic<uint8_t> readRetries_{0};
  bool probing_ = false;
  TWriteObserver* observer_ = nullptr;
  int writesAcknowledged_ = 0;  // write transactions of the operation under way that went through
};
