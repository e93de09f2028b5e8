// Files in a folder with a Cyrillic name, as a Russian user's documents are: the core takes the
// path in UTF-8 and every way it writes or reads a file must reach that folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "files/Journal.h"
#include "files/LiveCsv.h"
#include "files/RegularFile.h"
#include "files/SafeWrite.h"
#include "files/Win32Text.h"

namespace fs = std::filesystem;

namespace {

class CyrillicFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        fs::temp_directory_path() / (L"Настройка К7104 " + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::wstring& name) const {
    return Utf8FromWide((folder_ / name).wstring());
  }
  std::string Contents(const std::wstring& name) const {
    std::string bytes;
    std::FILE* file = _wfopen((folder_ / name).c_str(), L"rb");
    if (file == nullptr) return "(missing)";
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
  }

  fs::path folder_;
};

TEST_F(CyrillicFolder, ReplacedFileIsWrittenThere) {
  const std::string path = Path(L"отчёт.txt");
  ASSERT_TRUE(WriteFileReplacing(path, "первый", 12));
  ASSERT_TRUE(WriteFileReplacing(path, "второй", 12));
  EXPECT_EQ(Contents(L"отчёт.txt"), "второй");
  EXPECT_EQ(FileKindOf(path), TFileKind::Regular);
  const int fd = OpenRegularForReading(path);
  EXPECT_GE(fd, 0);
  if (fd >= 0) CloseRegularFile(fd);
}

TEST_F(CyrillicFolder, LiveLogIsMadeReplacedAndAppendedThere) {
  const std::string path = Path(L"текущие.csv");
  const float values[2] = {1.5f, -2.25f};
  for (const TLiveCsvOpen how : {TLiveCsvOpen::New, TLiveCsvOpen::Replace, TLiveCsvOpen::Append}) {
    TLiveCsvLog log;
    ASSERT_TRUE(log.Open(path, 2, {}, how)) << static_cast<int>(how);
    ASSERT_TRUE(log.Append(45000.5, values));
  }
  // Made, emptied and made again by Replace, one row added by Append: a header and two rows.
  const std::string text = Contents(L"текущие.csv");
  EXPECT_EQ(text.rfind(LiveCsvHeader(2, {}) + "\r\n", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
}

// The journal of writes is made in a folder it creates there (as %APPDATA% of a user with a
// Cyrillic name) and gives its records back with their Russian texts.
TEST_F(CyrillicFolder, JournalKeepsItsRecordsThere) {
  TJournal journal(Path(L"журнал\\journal.sqlite"));
  TJournalRecord record;
  record.Login = "Иванов";
  record.Model = "К7104Т1";
  record.Group = "первых уставок";
  record.Changes = {{"Уставка 1", "не считано", "12,5"}};
  ASSERT_TRUE(journal.Append(record)) << journal.LastDetail();
  std::vector<TJournalRecord> records;
  ASSERT_TRUE(journal.Read({}, records)) << journal.LastDetail();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Login, "Иванов");
  ASSERT_EQ(records[0].Changes.size(), 1u);
  EXPECT_EQ(records[0].Changes[0].Before, "не считано");
}

}  // namespace
