// The job engine against simulated instruments: identity check, search, read all, write all,
// the settings page, the archive, starting jobs while busy and from a callback, cancelling, and
// destruction in the middle of a job.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "files/ArchiveText.h"
#include "modbus/Traffic.h"
#include "support/MipLineFixture.h"

using k7104sim::FaultKind;
using namespace std::chrono_literals;

namespace {

class JobEngineTest : public MipLineFixture {};

bool Rising(const std::vector<uint8_t>& values) {
  return std::is_sorted(values.begin(), values.end());
}

TEST_F(JobEngineTest, SearchFindsTheOneInstrumentAndRestoresWaitTime) {
  Add(17, 6);
  Connect();
  mip_->Bus.SetWaitTime(1234);
  mip_->RangeFirst = 1;
  mip_->RangeLast = 255;
  EXPECT_EQ(RunJob(JobSearch), RESULT_OK);
  EXPECT_EQ(mip_->FoundCount, 1);
  EXPECT_EQ(mip_->FoundDevices[0].Address, 17);
  EXPECT_EQ(mip_->FoundDevices[0].ModelCode, 6);
  EXPECT_EQ(mip_->Bus.WaitTime(), 1234);
  const auto progress = recorder_.Progress();
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), 0);
  EXPECT_TRUE(Rising(progress));
  EXPECT_EQ(progress[progress.size() - 2], 99);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_EQ(line_->ReceivedFrames().size(), 255u);
}

TEST_F(JobEngineTest, SearchOfOneAddressReportsZeroZeroHundred) {
  Add(1);
  Connect();
  mip_->RangeFirst = 5;
  mip_->RangeLast = 5;
  EXPECT_EQ(RunJob(JobSearch), RESULT_OK);
  EXPECT_EQ(mip_->FoundCount, 0);
  EXPECT_EQ(recorder_.Progress(), (std::vector<uint8_t>{0, 0, 100}));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"05 03 00 00 00 09 84 48"}));
}

TEST_F(JobEngineTest, SearchSkipsForeignInstrumentsAndKeepsTheCounts) {
  Add(2, 1, 8, 4);
  Add(3, 9);  // unknown model code
  Add(4, 2, 16, 16);
  Connect();
  mip_->ChannelCount = 5;
  mip_->RangeFirst = 2;
  mip_->RangeLast = 4;
  EXPECT_EQ(RunJob(JobSearch), RESULT_OK);
  ASSERT_EQ(mip_->FoundCount, 2);
  EXPECT_EQ(mip_->FoundDevices[0].Address, 2);
  EXPECT_EQ(mip_->FoundDevices[1].Address, 4);
  EXPECT_EQ(mip_->FoundDevices[1].ModelCode, 2);
  EXPECT_EQ(mip_->ChannelCount, 5);
}

TEST_F(JobEngineTest, SearchWithThePortClosedFailsLikeAnyJob) {
  Add(1);
  Connect();
  mip_->Bus.ClosePort();
  mip_->RangeFirst = 1;
  mip_->RangeLast = 3;
  EXPECT_EQ(RunJob(JobSearch), RESULT_PORT_NOT_OPEN);
}

TEST_F(JobEngineTest, UnswappedIdentityIsRefused) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::UnswappedIdentity});
  EXPECT_EQ(RunJob(29), RESULT_WRONG_DEVICE);
  EXPECT_EQ(Sent().size(), 1u);  // no operation after the failed check
  EXPECT_EQ(mip_->CurrentOp, 29);
}

TEST_F(JobEngineTest, UnknownModelIsRefused) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::ModelCode, .arg = 3});
  EXPECT_EQ(RunJob(2), RESULT_WRONG_DEVICE);
}

TEST_F(JobEngineTest, IdentityReplyOfTheWrongSizeGivesLengthError) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::ShortByOneRegister, .times = 1});
  EXPECT_EQ(RunJob(2), RESULT_LENGTH);
}

TEST_F(JobEngineTest, FortyChannelsAreClampedAndZeroRelaysKept) {
  Add(1, 6, 40, 0);
  Connect();
  EXPECT_EQ(RunJob(29), RESULT_OK);
  EXPECT_EQ(mip_->ChannelCount, 32);
  EXPECT_EQ(mip_->RelayCount, 0);
  EXPECT_EQ(RunJob(0), RESULT_OK);
  EXPECT_EQ(Sent().back(), "01 03 03 00 00 40 44 7E");
}

TEST_F(JobEngineTest, SingleReadReportsZeroThenHundred) {
  Add(1, 1, 8, 8);
  Connect();
  EXPECT_EQ(RunJob(2), RESULT_OK);
  EXPECT_EQ(recorder_.Progress(), (std::vector<uint8_t>{0, 100}));
  EXPECT_EQ(recorder_.Starts(), 1);
  EXPECT_EQ(mip_->ChannelCount, 8);
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{"01 03 00 00 00 09 85 CC",
                                      HexText(k7104sim::WithCrc(Hex("01 03 00 80 00 08")))}));
}

TEST_F(JobEngineTest, JobWithoutOperationRunsTheCheckOnly) {
  Add(1);
  Connect();
  EXPECT_EQ(RunJob(157), RESULT_OK);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(JobEngineTest, ThePortClosedFailsInTheIdentityCheck) {
  Add(1);
  Connect();
  mip_->Bus.ClosePort();
  EXPECT_EQ(RunJob(0), RESULT_PORT_NOT_OPEN);
}

TEST_F(JobEngineTest, ReadAllStopsAtTheFailedOperation) {
  auto& instrument = Add(1);
  Connect();
  for (int i = 0; i < 32; ++i) instrument.SetHoldingRegister(static_cast<uint16_t>(128 + i), i + 1);
  line_->AddFault({.kind = FaultKind::Exception,
                   .arg = 2,
                   .function = 3,
                   .firstRegister = 608,
                   .lastRegister = 639});
  mip_->Config.KXC[0] = 99;
  EXPECT_EQ(RunJob(JobReadAll), RESULT_ILLEGAL_ADDRESS);
  EXPECT_EQ(mip_->CurrentOp, 5);
  EXPECT_EQ(mip_->Config.TypeSensor[31], 32);  // operation 2 ran
  EXPECT_EQ(mip_->Config.KXC[0], 99);          // operation 5 stored nothing
  const auto progress = recorder_.Progress();
  EXPECT_EQ(progress, (std::vector<uint8_t>{0, 0, 3, 6, 10, 13, 100}));
}

TEST_F(JobEngineTest, ReadAllReadsEverything) {
  auto& instrument = Add(1, 2, 16, 8);
  Connect();
  instrument.SetHoldingFloat(1664 + 2 * 15, 4.5f);
  EXPECT_EQ(RunJob(JobReadAll), RESULT_OK);
  EXPECT_EQ(mip_->CurrentOp, 28);
  EXPECT_EQ(mip_->Config.Hysteresis[15], 4.5f);
  EXPECT_EQ(mip_->ModelCode, 2);
  EXPECT_EQ(Sent().size(), 1u + 27u + 4u + 1u);  // check, 0..26, 27's four, 28
  EXPECT_EQ(recorder_.Progress().back(), 100);
  EXPECT_EQ(recorder_.Progress()[recorder_.Progress().size() - 2], 96);
}

TEST_F(JobEngineTest, WriteAllRetriesBusyOperations) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::Busy,
                   .function = 16,
                   .firstRegister = 1280,
                   .lastRegister = 1343,
                   .times = 3});
  EXPECT_EQ(RunJob(JobWriteAll), RESULT_OK);
  EXPECT_EQ(mip_->CurrentOp, 155);
  const auto sent = Sent();
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& f) { return f.starts_with("01 10 05 00"); }),
            4);
  EXPECT_EQ(recorder_.Progress().back(), 100);
}

TEST_F(JobEngineTest, WriteAllGivesUpAfterHundredBusyReplies) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::Busy,
                   .function = 16,
                   .firstRegister = 1280,
                   .lastRegister = 1343,
                   .times = 100});
  EXPECT_EQ(RunJob(JobWriteAll), RESULT_DEVICE_BUSY);
  EXPECT_EQ(mip_->CurrentOp, 140);
  const auto sent = Sent();
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& f) { return f.starts_with("01 10 05 00"); }),
            100);
  EXPECT_FALSE(sent.back().starts_with("01 10 05 80"));  // 141 never ran
}

TEST_F(JobEngineTest, SettingsPageReadsIdentityAndClockInFiftySteps) {
  Add(1, 6);
  Connect();
  EXPECT_EQ(RunJob(JobReadSettingsPage), RESULT_OK);
  EXPECT_EQ(recorder_.Progress(), (std::vector<uint8_t>{0, 50, 100, 100}));
  EXPECT_EQ(mip_->ModelCode, 6);
  EXPECT_EQ(mip_->CurrentOp, 30);
}

TEST_F(JobEngineTest, SettingsPageWriteIsOperation155) {
  Add(1);
  Connect();
  mip_->Config.ArchivePeriod = 60;
  EXPECT_EQ(RunJob(JobWriteSettingsPage), RESULT_OK);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1], "01 10 00 62 00 01 02 00 3C AE 03");
}

// Values left from another connection are not sent as they are: the group is read first, the
// user's edit goes on top, and the instrument gets its own values back beside the edit.
TEST_F(JobEngineTest, AGroupNotReadIsReadBeforeItIsWritten) {
  auto& instrument = Add(1, 6, 8, 4);
  Connect();
  mip_->ForgetReadGroups();
  const float before = instrument.HoldingFloat(1152);
  ASSERT_NE(before, 0.0f);
  mip_->Config.Setpoint[0][2] = 33.3f;
  mip_->MarkEdited(&mip_->Config.Setpoint[0][2], sizeof(TLeFloat));
  EXPECT_EQ(RunJob(139), RESULT_OK);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);  // identity, the setpoints read, the setpoints written
  EXPECT_TRUE(sent[1].starts_with("01 03 04 80 00 10"));
  EXPECT_TRUE(sent[2].starts_with("01 10 04 80 00 10"));
  EXPECT_EQ(instrument.HoldingFloat(1152), before);
  EXPECT_EQ(instrument.HoldingFloat(1152 + 4), 33.3f);
  EXPECT_TRUE(mip_->GroupKnown(11));
  EXPECT_FALSE(mip_->IsEdited(&mip_->Config.Setpoint[0][2], sizeof(TLeFloat)));

  // Known now: the next write sends the image as it stands.
  EXPECT_EQ(RunJob(139), RESULT_OK);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(JobEngineTest, ArchiveEndsAtAnotherRecordNumberSortedNewestFirst) {
  auto& instrument = Add(1, 1, 4, 4);
  Connect();
  const double times[] = {0, 5.0, 3.0, 6.0, 1.0, 4.0, 2.0};
  for (int k = 1; k <= 6; ++k) {
    instrument.SetArchiveRecordTime(static_cast<uint16_t>(k), 40000.0 + times[k]);
  }
  line_->AddFault({.kind = FaultKind::RecordNumber, .arg = 0, .firstRegister = 7});
  mip_->RangeFirst = 1;
  mip_->RangeLast = 100;
  EXPECT_EQ(RunJob(JobReadArchive), RESULT_OK);
  ASSERT_EQ(mip_->ArchiveCount(), 6u);
  const uint16_t expectedOrder[] = {3, 1, 5, 2, 6, 4};
  for (size_t p = 0; p < 6; ++p) EXPECT_EQ(mip_->ArchiveRecord(p).Number, expectedOrder[p]) << p;
  EXPECT_EQ(recorder_.Progress(), (std::vector<uint8_t>{0, 0, 1, 2, 3, 4, 5, 100}));
  EXPECT_EQ(mip_->CurrentOp, 34);
}

TEST_F(JobEngineTest, ArchiveReachesRecord65535) {
  auto& instrument = Add(1, 1, 2, 2);
  instrument.SetArchiveDepth(65535);
  Connect();
  mip_->RangeFirst = 65530;
  mip_->RangeLast = 65535;
  EXPECT_EQ(RunJob(JobReadArchive), RESULT_OK);
  ASSERT_EQ(mip_->ArchiveCount(), 6u);
  std::vector<uint16_t> numbers;
  for (size_t p = 0; p < 6; ++p) numbers.push_back(mip_->ArchiveRecord(p).Number);
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<uint16_t>{65530, 65531, 65532, 65533, 65534, 65535}));
}

TEST_F(JobEngineTest, ArchiveFailureKeepsWhatWasReadSorted) {
  Add(1, 1, 2, 2);
  Connect();
  // Record k spans input registers k..k+7 with two channels: register 11 is first met by record 4.
  line_->AddFault({.kind = FaultKind::Exception,
                   .arg = 4,
                   .function = 4,
                   .firstRegister = 11,
                   .lastRegister = 11});
  mip_->RangeFirst = 1;
  mip_->RangeLast = 10;
  EXPECT_EQ(RunJob(JobReadArchive), 4);
  ASSERT_EQ(mip_->ArchiveCount(), 3u);
  EXPECT_GE(mip_->ArchiveRecord(0).Time, mip_->ArchiveRecord(2).Time);
}

// A record whose date is no date (month 13) must not borrow the time of the record read before
// it: it has no time, and it follows the records with times, ordered by number.
TEST_F(JobEngineTest, ArchiveRecordWithoutAValidDateKeepsNoTime) {
  auto& instrument = Add(1, 1, 2, 2);
  Connect();
  const double times[] = {0, 3.0, 1.0, 4.0, 2.0, 5.0};
  for (int k = 1; k <= 5; ++k)
    instrument.SetArchiveRecordTime(static_cast<uint16_t>(k), 40000.0 + times[k]);
  // (month 13, year 2024), (hour 10, day 5), (second 0, minute 30)
  instrument.SetArchiveRecordClock(4, {0x0D18, 0x0A05, 0x001E});
  instrument.SetArchiveRecordClock(2, {0x0D18, 0x0A05, 0x001E});
  mip_->RangeFirst = 1;
  mip_->RangeLast = 5;
  EXPECT_EQ(RunJob(JobReadArchive), RESULT_OK);
  ASSERT_EQ(mip_->ArchiveCount(), 5u);
  const uint16_t expectedOrder[] = {5, 3, 1, 4, 2};
  for (size_t p = 0; p < 5; ++p) EXPECT_EQ(mip_->ArchiveRecord(p).Number, expectedOrder[p]) << p;
  EXPECT_FALSE(HasDateTime(mip_->ArchiveRecord(3).Time));
  EXPECT_FALSE(HasDateTime(mip_->ArchiveRecord(4).Time));
  EXPECT_EQ(mip_->ArchiveRecord(0).Time, 40005.0);
}

// A read that failed at record 1200 goes on from there, and the list is the list of a read
// that never failed: the export of the two is the same, line for line.
TEST_F(JobEngineTest, ArchiveReadGoesOnAfterAFailureToTheListOfAReadWithoutIt) {
  Add(1, 1, 8, 8).SetArchiveDepth(2000);
  Connect();
  mip_->RangeFirst = 1;
  mip_->RangeLast = 2000;
  ASSERT_EQ(RunJob(JobReadArchive), RESULT_OK);
  const std::vector<std::string> whole = ArchiveCsvLines(mip_->MeasArchive, 8);
  ASSERT_EQ(whole.size(), 2001u);
  EXPECT_FALSE(mip_->ArchiveCanContinue());

  // Record k spans input registers k..k+19 with eight channels: 1219 is first met by record 1200.
  line_->AddFault({.kind = FaultKind::BadCrc, .function = 4, .firstRegister = 1219, .times = 1});
  ASSERT_EQ(RunJob(JobReadArchive), RESULT_CRC);
  EXPECT_EQ(mip_->ArchiveCount(), 1199u);
  ASSERT_TRUE(mip_->ArchiveCanContinue());

  mip_->RangeFirst = 5;  // a search in between does not move the archive's range
  mip_->RangeLast = 9;
  mip_->ArchiveMode = TArchiveMode::Continue;
  ASSERT_EQ(RunJob(JobReadArchive), RESULT_OK);
  EXPECT_EQ(Sent().at(1), "01 04 04 B0 00 14 F0 D2") << "record 1200 first";
  EXPECT_EQ(ArchiveCsvLines(mip_->MeasArchive, 8), whole);
  EXPECT_FALSE(mip_->ArchiveCanContinue());
  EXPECT_EQ(mip_->ArchiveMode, TArchiveMode::Fresh);
}

// With retries a read that the line garbled (CRC, timeout, a reply one register short) is sent
// again, and every try is in the traffic; an exception reply, a write and a search's probe go
// out once.
TEST_F(JobEngineTest, ReadRetriesRepeatGarbledReadsButNeverAWriteNorAProbe) {
  Add(1, 1, 8, 8);
  Connect();
  auto log = std::make_shared<TTrafficLog>();
  mip_->Bus.SetTrafficLog(log);
  mip_->Bus.SetWaitTime(100);
  mip_->SetReadRetries(3);
  const auto types = [](FaultKind kind, int times) {
    return k7104sim::Fault{
        .kind = kind, .function = 3, .firstRegister = 128, .lastRegister = 135, .times = times};
  };
  for (FaultKind kind : {FaultKind::BadCrc, FaultKind::NoReply, FaultKind::ShortByOneRegister})
    line_->AddFault(types(kind, 1));
  ASSERT_EQ(RunJob(GroupSensorTypes), RESULT_OK);
  std::deque<TTrafficRecord> tries = log->Take();
  ASSERT_EQ(tries.size(), 5u) << "the identity, then four tries";
  EXPECT_EQ(tries[1].Result, RESULT_CRC);
  EXPECT_EQ(tries[2].Result, RESULT_TIMEOUT);
  for (size_t k = 2; k < 5; ++k)
    EXPECT_EQ(HexText(tries[k].Request, tries[k].RequestLength),
              HexText(tries[1].Request, tries[1].RequestLength));

  line_->AddFault(types(FaultKind::NoReply, 4));
  EXPECT_EQ(RunJob(GroupSensorTypes), RESULT_TIMEOUT);
  EXPECT_EQ(log->Take().size(), 5u);
  k7104sim::Fault refusal = types(FaultKind::Exception, 1);
  refusal.arg = RESULT_ILLEGAL_ADDRESS;
  line_->AddFault(refusal);
  EXPECT_EQ(RunJob(GroupSensorTypes), RESULT_ILLEGAL_ADDRESS) << "the instrument's own answer";
  EXPECT_EQ(Sent().size(), 2u);

  line_->AddFault({.kind = FaultKind::NoReply, .function = 16, .times = 1});
  EXPECT_EQ(RunJob(GroupSensorTypes + WriteCodeBit), RESULT_TIMEOUT);
  EXPECT_EQ(Sent().size(), 2u) << "the identity and one write";

  line_->AddFault({.kind = FaultKind::NoReply, .address = 1, .times = 1});
  mip_->RangeFirst = 1;
  mip_->RangeLast = 2;
  EXPECT_EQ(RunJob(JobSearch), RESULT_OK);
  EXPECT_EQ(mip_->FoundCount, 0);
  EXPECT_EQ(Sent().size(), 2u) << "one probe per address";
  EXPECT_EQ(mip_->ReadRetries(), 3);
}

TEST_F(JobEngineTest, StartJobIsRefusedWhileBusyAndClearsCancel) {
  Add(1);
  Connect();
  line_->SetReplyDelay(300);
  recorder_.Clear();
  ASSERT_TRUE(mip_->StartJob(OpReadSettings));
  mip_->Cancel = 1;
  EXPECT_FALSE(mip_->StartJob(0));
  EXPECT_EQ(mip_->Cancel, 0);
  ASSERT_TRUE(recorder_.WaitDone());
  EXPECT_EQ(recorder_.Results(), (std::vector<TResult>{RESULT_OK}));  // not cancelled any more
  EXPECT_EQ(mip_->JobCode, OpReadSettings);
}

TEST_F(JobEngineTest, CancelEndsTheArchiveWith13) {
  auto& instrument = Add(1);
  instrument.SetArchiveDepth(5000);
  Connect();
  mip_->RangeFirst = 1;
  mip_->RangeLast = 5000;
  mip_->OnProgress = [this](uint8_t) {
    if (mip_->ArchiveCount() == 3) mip_->Cancel = 1;
  };
  EXPECT_EQ(RunJob(JobReadArchive), RESULT_ABORTED);
  EXPECT_EQ(mip_->ArchiveCount(), 3u);
  EXPECT_EQ(mip_->JobResult, RESULT_ABORTED);
  EXPECT_EQ(mip_->ArchiveNext, 4u) << "a read that goes on starts after the last one read";
}

TEST_F(JobEngineTest, AJobStartedFromOnJobDoneRuns) {
  Add(1);
  Connect();
  std::atomic<int> done{0};
  std::atomic<bool> secondAccepted{false};
  auto recorded = mip_->OnJobDone;
  mip_->OnJobDone = [&, recorded](TResult r) {
    if (++done == 1) secondAccepted = mip_->StartJob(OpReadClock);
    recorded(r);
  };
  recorder_.Clear();
  ASSERT_TRUE(mip_->StartJob(OpReadState));
  ASSERT_TRUE(recorder_.WaitDone(2));
  EXPECT_TRUE(secondAccepted);
  EXPECT_EQ(recorder_.Results(), (std::vector<TResult>{RESULT_OK, RESULT_OK}));
  EXPECT_EQ(mip_->JobCode, OpReadClock);
  EXPECT_EQ(recorder_.Starts(), 2);
}

// The owner tears the object down while a long archive read is under way: the destructor returns,
// and no callback runs after it.
TEST_F(JobEngineTest, DestructionInTheMiddleOfALongArchiveRead) {
  auto& instrument = Add(1);
  instrument.SetArchiveDepth(65535);
  line_->SetPace(9600);
  Connect();
  std::atomic<bool> destroyed{false};
  std::atomic<int> late{0};
  std::atomic<int> progressCalls{0};
  std::atomic<int> doneCalls{0};
  mip_->OnProgress = [&](uint8_t) {
    if (destroyed) ++late;
    ++progressCalls;
  };
  mip_->OnJobDone = [&](TResult) {
    if (destroyed) ++late;
    ++doneCalls;
  };
  mip_->RangeFirst = 1;
  mip_->RangeLast = 65535;
  // On a loaded machine a reply may come late and end the read early: it is then started again,
  // until one is torn down in its middle.
  int endedEarly = 0;
  for (int attempt = 0; attempt < 10 && progressCalls < 4; ++attempt) {
    progressCalls = 0;
    ASSERT_TRUE(mip_->StartJob(JobReadArchive));
    while (progressCalls < 4 && doneCalls == endedEarly) std::this_thread::sleep_for(10ms);
    endedEarly = doneCalls;
  }
  ASSERT_GE(progressCalls, 4);
  mip_.reset();
  destroyed = true;
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(late, 0);
  EXPECT_EQ(doneCalls, endedEarly);  // the interrupted job reports nothing
}

// A callback that waits for the owner's thread, as the window's does, while the owner destroys
// the object: the callback learns of it through Stopping(), so there is no deadlock.
TEST_F(JobEngineTest, DestructionWhileACallbackWaitsForTheOwnerIsNoDeadlock) {
  Add(1);
  Connect();
  TMIP* mip = mip_.get();
  std::atomic<bool> waiting{false};
  mip->OnJobDone = [&waiting, mip](TResult) {
    waiting = true;
    while (!mip->Stopping()) std::this_thread::sleep_for(1ms);
  };
  ASSERT_TRUE(mip->StartJob(OpReadState));
  while (!waiting) std::this_thread::sleep_for(1ms);
  mip_.reset();
  EXPECT_TRUE(waiting);
}

TEST_F(JobEngineTest, DestructionOfAnIdleObjectCallsNothing) {
  Add(1);
  Connect();
  std::atomic<int> calls{0};
  mip_->OnJobStart = [&] { ++calls; };
  mip_->OnJobDone = [&](TResult) { ++calls; };
  mip_.reset();
  EXPECT_EQ(calls, 0);
}

}  // namespace
