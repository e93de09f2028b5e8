// Who hears of every group the register map writes, and of what it read before, so that a
// journal can say what changed on which instrument. The calls come on the thread that runs the
// operation (the job thread), never at the same time.
#pragma once

#include <cstdint>

#include "instrument/DataImage.h"
#include "modbus/Modbusunit.h"

struct TIdentity;

// How a group's write ended: its result, and whether some of its transactions had gone through
// before one failed.
struct TGroupWriteEnd {
  const TGroup* Group = nullptr;
  uint8_t Op = 0;       // the write code
  uint8_t Address = 0;  // the instrument's address the write went to
  TResult Result = RESULT_OK;
  int16_t Exception = -1;  // the instrument's exception code when it refused, else -1
  int16_t GatewayException = -1;
  bool Partly = false;
};

class TWriteObserver {
 public:
  virtual ~TWriteObserver() = default;
  // The identity registers at address were read: the instrument there is this one.
  virtual void IdentityRead(uint8_t address, const TIdentity& identity) = 0;
  // A read of the group brought the instrument's values into the image.
  virtual void GroupRead(const TGroup& group, uint8_t address, const TDataImage& image) = 0;
  // A write of the group ended; the image holds the values that were sent.
  virtual void GroupWritten(const TGroupWriteEnd& end, const TDataImage& image) = 0;
  // False when no write may start: the record of it is required and could not be kept.
  virtual bool WritesMayStart() = 0;
};
