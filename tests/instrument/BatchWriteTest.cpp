// Writing one configuration to an instrument and checking it by reading it back, against a
// simulated instrument: a value that does not come back as written is caught and named.
#include <gtest/gtest.h>

#include <vector>

#include "instrument/BatchWrite.h"
#include "instrument/JobMessages.h"
#include "support/MipLineFixture.h"

namespace {

class BatchWriteTest : public MipLineFixture {
 protected:
  TRunJob Runner() {
    return [this](uint8_t job) { return RunJob(job); };
  }
};

TEST_F(BatchWriteTest, ValuesThatDoNotComeBackAsWrittenAreNamed) {
  k7104sim::Instrument& target = Add(7, 1, 32, 32);
  Connect();
  TBatchPlan plan;
  for (int i = 0; i < MaxChannels; ++i) {
    plan.Block.TypeSensor[i] = 3;
    plan.Block.Hysteresis[i] = 1.5f;
  }
  plan.Block.SetpointRelay[2][4] = 12;
  std::vector<TBatchState> states;
  // The instrument changes one hysteresis of its own between the write and the read back.
  const auto step = [&](const TBatchOutcome& outcome) {
    states.push_back(outcome.State);
    if (outcome.State == TBatchState::Verifying) target.SetHoldingFloat(1664 + 2 * 5, 2.5f);
  };
  const TBatchOutcome outcome = WriteAndVerify(*mip_, Runner(), plan, 7, step);
  EXPECT_EQ(states, (std::vector<TBatchState>{TBatchState::Writing, TBatchState::Verifying,
                                              TBatchState::Failed}));
  EXPECT_EQ(outcome.MismatchGroup, 15);
  EXPECT_EQ(plan.Models, std::vector<uint16_t>{1}) << "the first instrument gives the model";
  EXPECT_EQ(BatchOutcomeText(outcome, NeedsOf(plan.Block)),
            "Записано, проверка не удалась: Прибор вернул не то, что записано!!! При проверке "
            "гистерезисов!!!");
  EXPECT_EQ(target.HoldingRegister(128 + 31), 3) << "the write itself went through";

  states.clear();
  const TBatchOutcome again = WriteAndVerify(*mip_, Runner(), plan, 7, {});
  EXPECT_EQ(again.State, TBatchState::Done);
  EXPECT_EQ(BatchOutcomeText(again, NeedsOf(plan.Block)), "Записано и проверено.");
}

// An instrument that stops answering after it was identified, before the write took anything:
// its line says that nothing was written, and which check failed.
TEST_F(BatchWriteTest, AFailureBeforeTheFirstWriteSaysNothingWasWritten) {
  Add(7, 1, 32, 32);
  Connect();
  mip_->Bus.SetWaitTime(100);
  TBatchPlan plan;
  plan.Block.TypeSensor[0] = 3;
  const TRunJob silentOnWrite = [this](uint8_t job) {
    if (job == JobWriteAll) line_->AddFault({k7104sim::FaultKind::NoReply, 0, 7, 3, 0, 8, 1});
    return RunJob(job);
  };
  const TBatchOutcome outcome = WriteAndVerify(*mip_, silentOnWrite, plan, 7);
  EXPECT_EQ(outcome.State, TBatchState::Failed);
  EXPECT_TRUE(outcome.Written.empty());
  EXPECT_EQ(BatchOutcomeText(outcome, NeedsOf(plan.Block)),
            "Не записано: Вышло время ожидания!!! При проверке прибора!!!");
  for (const Frame& frame : line_->ReceivedFrames()) EXPECT_EQ(frame[1], 3) << "no write was sent";
}

TEST_F(BatchWriteTest, NeedsCountTheHighestChannelAndRelayInUse) {
  TConfigBlock block{};
  EXPECT_EQ(NeedsOf(block).Channels, 0);
  block.TypeSensor[9] = 1;
  block.KXC[2] = 14;  // channel 3 takes its cold junction from channel 14
  block.SetpointRelay[3][0] = 20;
  block.SensorFaultRelay = 24;
  const TConfigNeeds needs = NeedsOf(block);
  EXPECT_EQ(needs.Channels, 14);
  EXPECT_EQ(needs.Relays, 24);
}

}  // namespace
