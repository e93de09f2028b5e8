// The journal of writes with the real job engine on a simulated line: what a write records, and
// that a journal which cannot be kept never stops or undoes a write unless it is required.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "files/Journal.h"
#include "files/JournalRecorder.h"
#include "support/MipLineFixture.h"
#include "support/TmpfsMount.h"

namespace {

namespace fs = std::filesystem;

constexpr uint8_t kFirstSetpoints = 11;
constexpr uint8_t kWriteFirstSetpoints = kFirstSetpoints + WriteCodeBit;

std::vector<char> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class JournalTest : public MipLineFixture {
 protected:
  void SetUp() override {
    MipLineFixture::SetUp();
    folder_ = fs::temp_directory_path() /
              ("k7104-journal-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    MipLineFixture::TearDown();  // the job thread goes before the recorder it tells
    recorder_.reset();
    journal_.reset();
    fs::remove_all(folder_);
  }

  // The instrument at 1 on the line, its writes recorded into the journal at path.
  void ConnectJournal(const fs::path& path) {
    Connect();
    journal_ = std::make_unique<TJournal>(path.string());
    recorder_ = std::make_unique<TJournalRecorder>(*journal_, mip_->Bus, "k7104-test", "1.0", ".");
    recorder_->OnFailure = [this](TJournalError error, const std::string&) {
      failures_.push_back(error);
    };
    mip_->SetWriteObserver(recorder_.get());
  }

  std::vector<TJournalRecord> Records() {
    std::vector<TJournalRecord> records;
    EXPECT_TRUE(journal_->Read({}, records)) << journal_->LastDetail();
    return records;
  }

  // The first setpoint of channel 3 edited on the page.
  void EditSetpoint(float value) {
    mip_->Config.Setpoint[0][2] = value;
    mip_->MarkEdited(&mip_->Config.Setpoint[0][2], sizeof(TLeFloat));
  }

  fs::path folder_;
  std::unique_ptr<TJournal> journal_;
  std::unique_ptr<TJournalRecorder> recorder_;
  std::vector<TJournalError> failures_;
};

std::vector<std::string> Changes(const TJournalRecord& record) {
  std::vector<std::string> texts;
  for (const TJournalChange& change : record.Changes)
    texts.push_back(change.Element + ": " + change.Before + " -> " + change.After);
  return texts;
}

// After a read, a write all records one record per group, only the edited value among its
// changes with the value read before it; a page write of that group and the clock the same way.
TEST_F(JournalTest, WritesAfterAReadRecordTheValuesChangedSinceTheRead) {
  auto& instrument = Add(1, 1, 8, 4);
  instrument.SetHoldingFloat(1152 + 4, 20.0f);
  ConnectJournal(folder_ / "journal.sqlite");
  ASSERT_EQ(RunJob(JobReadAll), RESULT_OK);
  EditSetpoint(21.5f);
  ASSERT_EQ(RunJob(JobWriteAll), RESULT_OK);
  std::vector<TJournalRecord> records = Records();
  ASSERT_EQ(records.size(), 26u);
  for (const TJournalRecord& record : records) {
    EXPECT_EQ(record.Address, 1);
    EXPECT_EQ(record.Model, "К7104Т1");
    EXPECT_EQ(record.Firmware, "2.3");
    EXPECT_EQ(record.Program, "k7104-test");
    EXPECT_EQ(record.Line, line_->SlavePath() + ", 9600 бод");
    EXPECT_EQ(record.Outcome, TJournalOutcome::Confirmed);
    const bool setpoints = record.Group == "первых уставок";
    EXPECT_EQ(Changes(record), setpoints ? std::vector<std::string>{"Канал 3: 20.000 -> 21.500"}
                                         : std::vector<std::string>{})
        << record.Group;
  }

  EditSetpoint(-4.25f);
  ASSERT_EQ(RunJob(kWriteFirstSetpoints), RESULT_OK);
  records = Records();
  ASSERT_EQ(records.size(), 27u);
  EXPECT_EQ(records.front().Group, "первых уставок");
  EXPECT_EQ(Changes(records.front()), std::vector<std::string>{"Канал 3: 21.500 -> -4.250"});

  // Read all read the clock too: its value then is the one before.
  const std::string readClock = JournalDateTimeText(mip_->DeviceClock);
  mip_->DeviceClock = EncodeDateTime({2031, 5, 6, 7, 8, 9, 0});
  ASSERT_EQ(RunJob(OpWriteClock), RESULT_OK);
  const TJournalRecord clock = Records().front();
  EXPECT_EQ(Changes(clock),
            std::vector<std::string>{"Часы: " + readClock + " -> 2031-05-06 07:08:09"});
  EXPECT_TRUE(failures_.empty());
}

// A damaged journal file is left as it was and reported once; the writes go through. Required,
// it keeps every write from starting, and the instrument keeps its values.
TEST_F(JournalTest, ADamagedJournalNeverStopsAWriteUnlessRequired) {
  auto& instrument = Add(1, 1, 8, 4);
  const fs::path path = folder_ / "journal.sqlite";
  {
    std::ofstream damaged(path, std::ios::binary);
    damaged << std::string(4096, 'x');
  }
  const std::vector<char> before = FileBytes(path);
  ConnectJournal(path);
  ASSERT_EQ(RunJob(JobReadAll), RESULT_OK);
  EditSetpoint(11.0f);
  EXPECT_EQ(RunJob(kWriteFirstSetpoints), RESULT_OK);
  EXPECT_EQ(instrument.HoldingFloat(1152 + 4), 11.0f);
  EditSetpoint(12.0f);
  EXPECT_EQ(RunJob(kWriteFirstSetpoints), RESULT_OK);
  EXPECT_EQ(instrument.HoldingFloat(1152 + 4), 12.0f);
  EXPECT_EQ(failures_, std::vector<TJournalError>{TJournalError::Damaged});
  EXPECT_EQ(recorder_->LostRecords(), 2);
  EXPECT_EQ(FileBytes(path), before);

  recorder_->SetRequired(true);
  EditSetpoint(13.0f);
  EXPECT_EQ(RunJob(kWriteFirstSetpoints), RESULT_ABORTED);
  EXPECT_EQ(mip_->JobJournalRefused, 1);
  EXPECT_EQ(instrument.HoldingFloat(1152 + 4), 12.0f);
  EXPECT_EQ(RunJob(JobReadAll), RESULT_OK);  // reads go on
  EXPECT_EQ(mip_->JobJournalRefused, 0);
}

// A journal on a full disk: the write is done, the failure reported once, and required the next
// write does not start.
TEST_F(JournalTest, AJournalOnAFullDiskNeverStopsAWriteUnlessRequired) {
  TmpfsMount disk((folder_ / "full").string(), 64);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  auto& instrument = Add(1, 1, 8, 4);
  ASSERT_TRUE(disk.Fill());
  ConnectJournal(folder_ / "full" / "k7104-configurator" / "journal.sqlite");
  ASSERT_EQ(RunJob(JobReadAll), RESULT_OK);
  EditSetpoint(31.0f);
  EXPECT_EQ(RunJob(kWriteFirstSetpoints), RESULT_OK);
  EXPECT_EQ(instrument.HoldingFloat(1152 + 4), 31.0f);
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_NE(failures_[0], TJournalError::None);
  EXPECT_EQ(recorder_->LostRecords(), 1);

  recorder_->SetRequired(true);
  EditSetpoint(32.0f);
  EXPECT_EQ(RunJob(kWriteFirstSetpoints), RESULT_ABORTED);
  EXPECT_EQ(instrument.HoldingFloat(1152 + 4), 31.0f);
}

// Two programs adding records to one journal at the same time lose none of them.
TEST(Journal, TwoProcessesWritingAtOnceLoseNoRecord) {
  const fs::path folder =
      fs::temp_directory_path() / ("k7104-journal-two-" + std::to_string(getpid()));
  fs::remove_all(folder);
  const std::string path = (folder / "journal.sqlite").string();
  constexpr int kEach = 150;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t child = fork();
    if (child == 0) {
      TJournal journal(path);
      bool all = true;
      for (int k = 0; k < kEach; ++k) {
        TJournalRecord record;
        record.Address = writer + 1;
        record.Group = std::to_string(k);
        record.Changes = {{"Канал 1", "1", std::to_string(k)}};
        all = journal.Append(record) && all;
      }
      _exit(all ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TJournal journal(path);
  std::vector<TJournalRecord> records;
  ASSERT_TRUE(journal.Read({}, records)) << journal.LastDetail();
  std::set<std::pair<int, std::string>> seen;
  for (const TJournalRecord& record : records) {
    seen.insert({record.Address, record.Group});
    EXPECT_EQ(record.Changes.size(), 1u);
  }
  EXPECT_EQ(records.size(), 2u * kEach);
  EXPECT_EQ(seen.size(), 2u * kEach);
  TJournalFilter ofTwo;
  ofTwo.Address = 2;
  ASSERT_TRUE(journal.Read(ofTwo, records));
  EXPECT_EQ(records.size(), static_cast<size_t>(kEach));
  EXPECT_EQ(records.front().Group, std::to_string(kEach - 1));  // newest first
  fs::remove_all(folder);
}

// What the window's journal dialog and the configuration report ask for: a model, a group, a
// last day (its end included) and the newest N, each narrowing the others.
TEST(Journal, FiltersByModelGroupDaysAndCount) {
  const fs::path folder =
      fs::temp_directory_path() / ("k7104-journal-filters-" + std::to_string(getpid()));
  fs::remove_all(folder);
  TJournal journal((folder / "journal.sqlite").string());
  const struct {
    const char* Local;
    const char* Model;
    const char* Group;
  } added[] = {{"2026-12-01 08:00:00", "К7104Т1", "первых уставок"},
               {"2026-12-02 23:59:59", "К7104Т1", "типы датчиков"},
               {"2026-12-03 00:00:00", "К7104Т1", "первых уставок"},
               {"2026-12-03 09:00:00", "К7104Е025", "первых уставок"}};
  for (const auto& a : added) {
    TJournalRecord record;
    record.Local = a.Local;
    record.Address = 1;
    record.Model = a.Model;
    record.Group = a.Group;
    ASSERT_TRUE(journal.Append(record)) << journal.LastDetail();
  }
  const auto locals = [&journal](const TJournalFilter& filter) {
    std::vector<TJournalRecord> records;
    EXPECT_TRUE(journal.Read(filter, records)) << journal.LastDetail();
    std::vector<std::string> texts;
    for (const TJournalRecord& r : records) texts.push_back(r.Local);
    return texts;
  };
  using Texts = std::vector<std::string>;
  TJournalFilter ofModelAndGroup;
  ofModelAndGroup.Model = "К7104Т1";
  ofModelAndGroup.Group = "первых уставок";
  EXPECT_EQ(locals(ofModelAndGroup), (Texts{"2026-12-03 00:00:00", "2026-12-01 08:00:00"}));
  TJournalFilter ofOneDay;
  ofOneDay.Since = "2026-12-02";
  ofOneDay.Until = "2026-12-02 23:59:59";
  EXPECT_EQ(locals(ofOneDay), Texts{"2026-12-02 23:59:59"});
  TJournalFilter newestTwo;
  newestTwo.Address = 1;
  newestTwo.Model = "К7104Т1";
  newestTwo.Limit = 2;
  EXPECT_EQ(locals(newestTwo), (Texts{"2026-12-03 00:00:00", "2026-12-02 23:59:59"}));
  TJournalFilter ofTwo;
  ofTwo.Address = 2;
  EXPECT_TRUE(locals(ofTwo).empty());
  fs::remove_all(folder);
}

}  // namespace
