// The one job runner of the command line, the window's workers and the window: a job of an
// engine of its own run to its end on the simulated line, cancelled in the middle, and, for the
// window's shared engine, an earlier job's end that must not pass for the new job's.
#include <gtest/gtest.h>

#include <atomic>

#include "instrument/JobRunner.h"
#include "support/MipLineFixture.h"

namespace {

class JobRunnerTest : public MipLineFixture {};

TEST_F(JobRunnerTest, OwnEngineJobsEndWithTheirResultAndACancelWaitsForThe13) {
  auto& instrument = Add(1);
  instrument.SetArchiveDepth(5000);
  Connect();
  TBlockingJobWait wait;
  TJobRunner runner(wait);
  std::atomic<bool> stopWanted{false};
  mip_->OnJobDone = [&](TResult result) { runner.Ended(result); };
  mip_->OnProgress = [&](uint8_t) {
    if (mip_->ArchiveCount() >= 3 && !stopWanted.exchange(true)) wait.Wake();
  };
  const auto start = [this](uint8_t job) { return [this, job] { return mip_->StartJob(job); }; };

  ASSERT_EQ(runner.Run(start(OpReadState)), RESULT_OK);

  int cancels = 0;
  TJobRunControl control;
  control.CancelWanted = [&] { return stopWanted.load(); };
  control.Cancel = [&] {
    ++cancels;
    mip_->Cancel = 1;
  };
  mip_->RangeFirst = 1;
  mip_->RangeLast = 5000;
  EXPECT_EQ(runner.Run(start(JobReadArchive), control), RESULT_ABORTED);
  EXPECT_EQ(cancels, 1);
  EXPECT_LT(mip_->ArchiveCount(), 5000u);

  // On a closed port a job ends at once, often before StartJob has returned.
  mip_->Bus.ClosePort();
  for (int k = 0; k < 200; ++k) ASSERT_EQ(runner.Run(start(OpReadState)), RESULT_PORT_NOT_OPEN);
  mip_.reset();  // the engine goes before the runner it tells
}

// The window's engine reports ends on its own thread, in the order of the jobs.
TEST(SharedJobRunner, OnlyTheEndAfterTheJobsStartCountsAndAnAbandonedWaitEnds) {
  TBlockingJobWait wait;
  TJobRunner runner(wait, TJobRunner::TEngine::Shared);
  const auto startAfterEarlierEnd = [&] {
    runner.Ended(RESULT_OK);  // the job before, of the same code
    runner.Started();
    runner.Ended(RESULT_TIMEOUT);
    return true;
  };
  EXPECT_EQ(runner.Run(startAfterEarlierEnd), RESULT_TIMEOUT);
  EXPECT_EQ(runner.Run([] { return false; }), RESULT_PORT_BUSY);

  TJobRunControl control;
  control.Abandoned = [] { return true; };
  EXPECT_EQ(runner.Run([] { return true; }, control), RESULT_ABORTED);
}

}  // namespace
