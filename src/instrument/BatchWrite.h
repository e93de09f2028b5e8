// One configuration written to many instruments of a line, one after the other: each instrument
// is identified, checked against what the configuration needs, written and read back, and the
// values read back are compared with those written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "instrument/ConfigBlock.h"
#include "modbus/Modbusunit.h"

class TDataImage;
class TMIP;

enum class TBatchState : uint8_t { Waiting, Writing, Verifying, Done, Failed, Skipped };

// Why an instrument was left alone.
enum class TBatchSkip : uint8_t { None, OtherModel, FewerChannels, FewerRelays };

// The channels and relays a configuration sets up: the highest channel with a sensor or used as
// a cold junction, the highest relay a setpoint or a fault is given to.
struct TConfigNeeds {
  uint16_t Channels = 0;
  uint16_t Relays = 0;
};
TConfigNeeds NeedsOf(const TConfigBlock& block);

struct TBatchOutcome {
  uint8_t Address = 0;
  TBatchState State = TBatchState::Waiting;
  uint16_t ModelCode = 0;  // as the instrument reports them; 0 before it answered
  uint16_t Channels = 0;
  uint16_t Relays = 0;
  // A job that failed: its result, the operation under way and the instrument's exception code.
  TResult Result = RESULT_OK;
  uint8_t Operation = 0;
  int16_t Exception = -1;
  uint8_t MismatchGroup = 0;  // the first group read back with other values than written
  TBatchSkip Skip = TBatchSkip::None;
  // The groups the instrument took before a failure, in the order written: all of them when the
  // failure came with the read-back.
  std::vector<uint8_t> Written;
  bool Checking = false;  // the write went through; the read-back failed
};

// The parameter groups a write job has put on the instrument since the image's groups were
// loaded: those marked read since, in the order the write goes.
std::vector<uint8_t> GroupsWritten(const TDataImage& image);
// What a write all that failed left on the instrument: "Не записано." or "Записано частично: "
// and the groups taken.
std::string WrittenSoFarText(const std::vector<uint8_t>& written);

// "ожидание", "запись", "проверка", "готово", "ошибка", "пропущен".
std::string BatchStateName(TBatchState state);
// What became of the instrument, as one line: that it was written and checked; a failure with
// the state it left the instrument in ("Не записано: ", "Записано частично: <groups>; " or
// "Записано, проверка не удалась: ") before the failure sentence of the job or the group that came
// back otherwise; or why it was left alone. Empty while it is waiting or under way.
std::string BatchOutcomeText(const TBatchOutcome& outcome, const TConfigNeeds& needs);

// The first parameter group whose transferred values differ between the two blocks, over the
// first channels and relays; live groups (the relay test) are the instrument's own state and not
// compared. 0 when they agree.
uint8_t FirstDifferingGroup(const TConfigBlock& written, const TConfigBlock& read,
                            uint16_t channels, uint16_t relays);

struct TBatchPlan {
  TConfigBlock Block{};
  // The models it may be written to; empty: the model of the first instrument that answers.
  std::vector<uint16_t> Models;
  bool AnyModel = false;  // written whatever the model and the counts
};

// Runs one job on the instrument object and waits for its end; its result.
using TRunJob = std::function<TResult(uint8_t jobCode)>;
using TBatchStep = std::function<void(const TBatchOutcome&)>;

// Writes the plan's block to the instrument at address through mip, whose jobs run reports;
// step hears of every change of state. The first instrument to answer gives an empty model list
// its model. Leaves the values read back in mip.
TBatchOutcome WriteAndVerify(TMIP& mip, const TRunJob& run, TBatchPlan& plan, uint8_t address,
                             const TBatchStep& step = {});
