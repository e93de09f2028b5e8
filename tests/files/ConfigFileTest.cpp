// The configuration file: header plus configuration block, exactly 1738 bytes, and a save that
// never destroys the file that was there.
#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "files/ConfigFile.h"
#include "instrument/Mipunit.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> BlockOf(const TDataImage& image) {
  return {image.ConfigBlockBytes(), image.ConfigBlockBytes() + ConfigBlockSize};
}

// A block in which every byte differs from its neighbours, the spare and padding bytes too.
void FillPattern(TDataImage& image) {
  for (size_t i = 0; i < ConfigBlockSize; ++i) {
    image.ConfigBlockBytes()[i] = static_cast<uint8_t>(i * 7 + 3);
  }
}

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("k7104-config-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::vector<fs::path> FolderEntries() const {
    std::vector<fs::path> entries;
    for (const auto& e : fs::directory_iterator(folder_)) entries.push_back(e.path());
    return entries;
  }

  fs::path folder_;
};

TEST_F(ConfigFileTest, SaveWritesHeaderThenBlock) {
  TDataImage image;
  FillPattern(image);
  const std::string file = (folder_ / "a.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, image.Config));
  const std::vector<uint8_t> bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), 1738u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 22), "TPK Vostrelin Kx7104t1");
  EXPECT_EQ(bytes[22], 0);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 23, bytes.end()), BlockOf(image));
}

TEST_F(ConfigFileTest, BlockIsLittleEndianInTheFile) {
  TDataImage image;
  image.Config.ArchivePeriod = 0x1234;
  image.Config.MeasurePeriod = 25.5f;   // 41CC0000
  image.Config.Minimum[1] = -32768.0f;  // C7000000
  const std::string file = (folder_ / "le.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, image.Config));
  const std::vector<uint8_t> bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), 1738u);
  EXPECT_EQ(bytes[23 + 1], 0x34);
  EXPECT_EQ(bytes[23 + 2], 0x12);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 23 + 3, bytes.begin() + 23 + 7),
            (std::vector<uint8_t>{0x00, 0x00, 0xCC, 0x41}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 23 + 119, bytes.begin() + 23 + 123),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0xC7}));
}

TEST_F(ConfigFileTest, RoundTripIsByteIdentical) {
  TMIP saved;
  FillPattern(saved);
  const std::string first = (folder_ / "first.prb").string();
  const std::string second = (folder_ / "second.prb").string();
  ASSERT_TRUE(SaveConfiguration(saved, first));

  TMIP loaded;
  ASSERT_TRUE(LoadConfiguration(loaded, first));
  EXPECT_EQ(BlockOf(loaded), BlockOf(saved));
  ASSERT_TRUE(SaveConfiguration(loaded, second));
  EXPECT_EQ(ReadBytes(second), ReadBytes(first));
}

TEST_F(ConfigFileTest, SpareAndPaddingBytesSurviveLoadAndSave) {
  TDataImage image;
  image.Config.Spare = 0xA5;
  image.Config.Padding = 0x5A;
  const std::string file = (folder_ / "spare.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, image.Config));
  TDataImage other;
  ASSERT_TRUE(LoadConfigFile(file, other.Config));
  EXPECT_EQ(other.Config.Spare, 0xA5);
  EXPECT_EQ(other.Config.Padding, 0x5A);
}

TEST_F(ConfigFileTest, SaveAfterResetGivesZeroBlock) {
  TDataImage image;
  FillPattern(image);
  image.Reset();
  const std::string file = (folder_ / "zero.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, image.Config));
  const std::vector<uint8_t> bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), 1738u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 23, bytes.end()), std::vector<uint8_t>(1715, 0));
}

TEST_F(ConfigFileTest, LoadChangesOnlyTheBlock) {
  TDataImage source;
  FillPattern(source);
  const std::string file = (folder_ / "only-block.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, source.Config));

  TDataImage image;
  image.ChannelCount = 8;
  image.RelayCount = 3;
  std::strcpy(image.DeviceId, "VOSTRELIN!");
  image.Address = 17;
  image.DeviceClock = 38428.5;
  image.CurrentValue[2] = 1.5f;
  ASSERT_TRUE(LoadConfigFile(file, image.Config));
  EXPECT_EQ(BlockOf(image), BlockOf(source));
  EXPECT_EQ(image.ChannelCount, 8);
  EXPECT_EQ(image.RelayCount, 3);
  EXPECT_STREQ(image.DeviceId, "VOSTRELIN!");
  EXPECT_EQ(image.Address, 17);
  EXPECT_EQ(image.DeviceClock, 38428.5);
  EXPECT_EQ(image.CurrentValue[2], 1.5f);
}

// Every damaged file is refused and the block stays as it was.
TEST_F(ConfigFileTest, DamagedFilesAreRefusedWithTheImageUntouched) {
  TDataImage good;
  FillPattern(good);
  const std::string file = (folder_ / "good.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, good.Config));
  const std::vector<uint8_t> original = ReadBytes(file);

  std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
  damaged.emplace_back("1737 bytes", std::vector<uint8_t>(original.begin(), original.end() - 1));
  std::vector<uint8_t> longer = original;
  longer.push_back(0);
  damaged.emplace_back("1739 bytes", longer);
  damaged.emplace_back("empty", std::vector<uint8_t>{});
  for (size_t i = 0; i < 23; ++i) {
    std::vector<uint8_t> changed = original;
    changed[i] ^= 0x20;  // at 22 the terminating zero becomes a blank
    damaged.emplace_back("header byte " + std::to_string(i), changed);
  }

  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    const std::string bad = (folder_ / "bad.prb").string();
    WriteBytes(bad, bytes);
    TDataImage image;
    image.Config.TypeSensor[0] = 37;
    image.Config.Minimum[5] = -50.0f;
    const std::vector<uint8_t> before = BlockOf(image);
    EXPECT_FALSE(LoadConfigFile(bad, image.Config));
    EXPECT_EQ(BlockOf(image), before);
  }
}

TEST_F(ConfigFileTest, MissingFileAndFolderAreRefused) {
  TDataImage image;
  image.Config.Filter[3] = 4;
  const std::vector<uint8_t> before = BlockOf(image);
  EXPECT_FALSE(LoadConfigFile((folder_ / "missing.prb").string(), image.Config));
  EXPECT_FALSE(LoadConfigFile(folder_.string(), image.Config));
  EXPECT_EQ(BlockOf(image), before);
}

TEST_F(ConfigFileTest, SaveReplacesAnExistingFile) {
  const std::string file = (folder_ / "replace.prb").string();
  WriteBytes(file, std::vector<uint8_t>(5000, 0xEE));
  TDataImage image;
  FillPattern(image);
  ASSERT_TRUE(SaveConfigFile(file, image.Config));
  EXPECT_EQ(ReadBytes(file).size(), 1738u);
  EXPECT_EQ(FolderEntries().size(), 1u);  // no temporary file left behind
}

TEST_F(ConfigFileTest, SaveIntoMissingFolderOrOntoFolderFails) {
  TDataImage image;
  EXPECT_FALSE(SaveConfigFile((folder_ / "no-such-folder" / "x.prb").string(), image.Config));
  fs::create_directory(folder_ / "sub");
  EXPECT_FALSE(SaveConfigFile((folder_ / "sub").string(), image.Config));
  EXPECT_TRUE(fs::is_directory(folder_ / "sub"));
}

// A disk that fills up in the middle of the save: the file size limit makes every write beyond
// 1000 bytes fail, as a full disk would.
// File size limits, links and modes are the POSIX side's.
#ifndef _WIN32
TEST_F(ConfigFileTest, FailedSaveKeepsTheExistingFile) {
  TDataImage first;
  FillPattern(first);
  const std::string file = (folder_ / "keep.prb").string();
  ASSERT_TRUE(SaveConfigFile(file, first.Config));
  const std::vector<uint8_t> before = ReadBytes(file);

  TDataImage second;
  second.Config.TypeSensor[0] = 1;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = SaveConfigFile(file, second.Config);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_EQ(FolderEntries().size(), 1u);
}

TEST_F(ConfigFileTest, SaveThroughALinkReplacesTheLinkedFile) {
  TDataImage image;
  FillPattern(image);
  const std::string target = (folder_ / "target.prb").string();
  const std::string link = (folder_ / "link.prb").string();
  WriteBytes(target, {1, 2, 3});
  fs::create_symlink(target, link);
  ASSERT_TRUE(SaveConfigFile(link, image.Config));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadBytes(target).size(), 1738u);
}

TEST_F(ConfigFileTest, SaveKeepsTheModeOfTheReplacedFile) {
  const std::string file = (folder_ / "mode.prb").string();
  WriteBytes(file, {1});
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TDataImage image;
  ASSERT_TRUE(SaveConfigFile(file, image.Config));
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

}  // namespace
