// The instrument object TMIP: the data image of one instrument, with the register map that moves
// data between the image and the instrument's Modbus registers (RegisterMap.h) and the job engine
// that runs jobs on its own thread (JobEngine.h) behind it.
#pragma once

#include <cstdint>

#include "instrument/DataImage.h"
#include "instrument/JobEngine.h"
#include "instrument/RegisterMap.h"
#include "modbus/Modbusunit.h"

// The instrument object: data image, job state, the serial channel, register map and job engine.
// The job thread runs every transaction and calls the callbacks of TJobState on itself.
class TMIP : public TDataImage, public TJobState {
 public:
  TMIP() = default;
  TMIP(const TMIP&) = delete;
  TMIP& operator=(const TMIP&) = delete;

  // The serial channel; the shell opens and closes its port and sets its line settings.
  TModBus Bus;

  // Accepts a job when none runs: clears Cancel in any case; false when a job is running.
  bool StartJob(uint8_t jobCode) { return engine_.StartJob(jobCode); }
  // True once destruction has begun.
  bool Stopping() const { return engine_.Stopping(); }

  // The register map: one read or write operation on the job thread (or on any one thread while
  // no job runs). Expects the slave address in the request frame.
  TResult Execute(uint8_t op) { return map_.Execute(op); }

  // Every group written from now on is told to observer, with what was read before (nullptr:
  // none); a write job does not start while it says no (JobJournalRefused). Set it between jobs.
  void SetWriteObserver(TWriteObserver* observer) { map_.SetWriteObserver(observer); }

  // How often a read that the line garbled is sent again (RegisterMap.h); 0 by default.
  void SetReadRetries(uint8_t n) { map_.SetReadRetries(n); }
  uint8_t ReadRetries() const { return map_.ReadRetries(); }

 private:
  TRegisterMap map_{Bus, *this, &Cancel};
  // Last: its thread starts once everything it uses is there, and ends before any of it goes.
  TJobEngine engine_{Bus, *this, map_, *this};
};
