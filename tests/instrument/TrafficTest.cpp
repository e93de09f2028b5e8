// The channel's traffic log against the simulated line: every transaction of a job in order with
// the bytes that travelled, with and without a converter's echo, and a reader that never comes
// does not hold the job up.
#include <gtest/gtest.h>

#include "modbus/Traffic.h"
#include "support/MipLineFixture.h"

namespace {

Frame RequestOf(const TTrafficRecord& record) {
  return Frame(record.Request, record.Request + record.RequestLength);
}

class TrafficTest : public MipLineFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(TrafficTest, ReadAllPublishesEveryTransactionInOrder) {
  const bool echo = GetParam();
  Add(1, 6, 8, 4);
  if (echo) line_->SetEcho(k7104sim::EchoMode::Together);
  Connect();
  auto log = std::make_shared<TTrafficLog>();
  mip_->Bus.SetTrafficLog(log);
  ASSERT_EQ(RunJob(JobReadAll), RESULT_OK);
  const std::deque<TTrafficRecord> records = log->Take();
  const std::vector<Frame> received = line_->ReceivedFrames();
  ASSERT_EQ(records.size(), received.size());
  TTrafficCounters counters;
  for (size_t i = 0; i < records.size(); ++i) {
    const TTrafficRecord& record = records[i];
    counters.Count(record);
    EXPECT_EQ(HexText(RequestOf(record)), HexText(received[i])) << "transaction " << i;
    EXPECT_EQ(record.Echo, echo);
    ASSERT_GE(record.ReplyLength, 5);
    EXPECT_EQ(CalcCRC16(record.Reply, record.ReplyLength), 0) << "a whole reply with its CRC";
    EXPECT_EQ(record.Reply[0], record.Request[0]);
    EXPECT_EQ(record.Reply[1], record.Request[1]);
    EXPECT_EQ(record.End, TReadEnd::Length);
    if (i > 0) {
      EXPECT_GE(record.TimeMs, records[i - 1].TimeMs);
    }
  }
  EXPECT_EQ(counters.Requests, records.size());
  EXPECT_EQ(counters.Replies, records.size());
  EXPECT_EQ(log->Dropped(), 0u);

  const std::vector<std::string> lines = TrafficLines(records.front());
  ASSERT_EQ(lines.size(), echo ? 3u : 2u);
  EXPECT_NE(lines[0].find("→ " + HexText(received[0])), std::string::npos) << lines[0];
  EXPECT_NE(lines.back().find("← "), std::string::npos) << lines.back();
  EXPECT_NE(lines.back().find("по длине"), std::string::npos) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(Echo, TrafficTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

// Nobody takes from a small log during a whole job: the job ends as usual, and the log holds the
// newest transactions, the last one last.
class TrafficLogTest : public MipLineFixture {};

TEST_F(TrafficLogTest, AFullLogDropsTheOldestAndNeverHoldsTheJob) {
  Add(1, 6, 8, 4);
  Connect();
  auto log = std::make_shared<TTrafficLog>(5);
  mip_->Bus.SetTrafficLog(log);
  ASSERT_EQ(RunJob(JobReadAll), RESULT_OK);
  const std::vector<Frame> received = line_->ReceivedFrames();
  ASSERT_GT(received.size(), 5u);
  const std::deque<TTrafficRecord> records = log->Take();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(log->Dropped(), received.size() - 5);
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(HexText(RequestOf(records[i])), HexText(received[received.size() - 5 + i]));

  // A silent address: the timeout is counted, and the channel forgets the log when told to.
  mip_->Bus.SetWaitTime(100);
  mip_->Bus.RequestFrame().SetAddress(9);
  ASSERT_EQ(Run(OpReadState), RESULT_TIMEOUT);
  const std::deque<TTrafficRecord> silent = log->Take();
  ASSERT_EQ(silent.size(), 1u);
  EXPECT_EQ(silent[0].ReplyLength, 0);
  EXPECT_EQ(silent[0].End, TReadEnd::Timeout);
  TTrafficCounters counters;
  counters.Count(silent[0]);
  EXPECT_EQ(counters.Timeouts, 1u);
  EXPECT_EQ(counters.Replies, 0u);
  mip_->Bus.SetTrafficLog(nullptr);
  mip_->Bus.RequestFrame().SetAddress(1);
  ASSERT_EQ(Run(OpReadState), RESULT_OK);
  EXPECT_TRUE(log->Take().empty());
}

}  // namespace
