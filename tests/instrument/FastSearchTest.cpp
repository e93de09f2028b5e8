// The fast search against simulated instruments that answer at the pace of the wire and 5 ms
// late: it finds what the standard search finds, a reply later than its timeout still leads to
// the instrument, and the silent addresses can be probed again with the standard timeout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/MipLineFixture.h"

namespace {

struct RateCase {
  uint8_t BaudIndex;
  uint32_t Rate;
};

class FastSearchTest : public MipLineFixture, public ::testing::WithParamInterface<RateCase> {
 protected:
  void ConnectPaced(uint32_t rate, uint8_t baudIndex) {
    line_->SetPace(rate);
    line_->SetReplyDelay(5);
    Connect();
    mip_->Bus.SetBaudIndex(baudIndex);
    ASSERT_EQ(mip_->Bus.BaudRate(), rate);
  }

  std::vector<std::string> Search(TSearchMode mode, uint16_t first, uint16_t last) {
    mip_->SearchMode = mode;
    mip_->RangeFirst = first;
    mip_->RangeLast = last;
    EXPECT_EQ(RunJob(JobSearch), RESULT_OK);
    std::vector<std::string> found;
    for (int i = 0; i < mip_->FoundCount; ++i)
      found.push_back(std::to_string(mip_->FoundDevices[i].Address) + ":" +
                      std::to_string(mip_->FoundDevices[i].ModelCode));
    return found;
  }
};

TEST_P(FastSearchTest, FindsWhatTheStandardSearchFinds) {
  Add(3, 1);
  Add(9, 2, 16, 8);
  Add(19, 6);
  ConnectPaced(GetParam().Rate, GetParam().BaudIndex);
  mip_->Bus.SetWaitTime(1300);
  const std::vector<std::string> standard = Search(TSearchMode::Standard, 1, 20);
  EXPECT_EQ(standard, (std::vector<std::string>{"3:1", "9:2", "19:6"}));
  EXPECT_EQ(Search(TSearchMode::Fast, 1, 20), standard);
  EXPECT_EQ(mip_->Bus.WaitTime(), 1300);
}

INSTANTIATE_TEST_SUITE_P(Rates, FastSearchTest,
                         ::testing::Values(RateCase{DefaultBaudIndex, 9600}, RateCase{12, 115200}),
                         [](const auto& info) { return "Baud" + std::to_string(info.param.Rate); });

class FastSearchLine : public FastSearchTest {};

TEST_F(FastSearchLine, LateReplyIsProbedAgainAndSilentAddressesOnRequest) {
  Add(5, 1);
  Add(12, 1);
  Add(20, 6);
  line_->AddFault({k7104sim::FaultKind::Late, 40, 12});
  line_->AddFault({k7104sim::FaultKind::NoReply, 0, 20, 0, -1, -1, 1});
  ConnectPaced(9600, DefaultBaudIndex);
  EXPECT_EQ(Search(TSearchMode::Fast, 1, 22), (std::vector<std::string>{"5:1", "12:1"}))
      << "the reply 40 ms late arrives in the next probe's time; the request lost leaves 20 "
         "silent";
  EXPECT_EQ(Search(TSearchMode::SilentAgain, 1, 22),
            (std::vector<std::string>{"5:1", "12:1", "20:6"}));
}

TEST(FastProbeWait, NeverBelowThreeAndAHalfCharactersAndTheMargin) {
  EXPECT_EQ(FastProbeWaitMs(9600, 0), 15);       // 4.4 ms of silence and 10 ms
  EXPECT_EQ(FastProbeWaitMs(115200, 0), 11);     // 0.4 ms and 10 ms
  EXPECT_EQ(FastProbeWaitMs(9600, 20000), 35);   // 4.4 ms and 1.5 times the latency
  EXPECT_EQ(FastProbeWaitMs(1200, 0), 45);       // 35 ms of silence at 1200 Bd
  EXPECT_EQ(FastProbeWaitMs(9600, 500000), 150)  // never longer than the standard probe
      << "a slow instrument found leaves the fast search no slower than the standard one";
}

}  // namespace
