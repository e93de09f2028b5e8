// The archive text file: Windows-1251, TAB-separated, CR LF, one decimal, the regional
// separator and date-time form handed in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "files/ArchiveText.h"
#include "instrument/Mipunit.h"
#include "instrument/NumberTexts.h"
#include "support/TestNames.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TTextForm RussianForm() {
  TTextForm form;
  form.DecimalSeparator = ",";
  form.DateTimeText = [](TDateTime t) { return DateTimeText(t, "%d.%m.%Y", "%H:%M:%S"); };
  return form;
}

MeasurementRecord Record(uint16_t number, TDateTime time, std::initializer_list<float> values) {
  MeasurementRecord r;
  r.Number = number;
  r.Time = time;
  int i = 0;
  for (float v : values) r.Value[i++] = v;
  for (; i < MaxChannels; ++i) r.Value[i] = 1000.0f + static_cast<float>(i);
  return r;
}

// "#Зап", "Дата Время" and "Канал_" in Windows-1251.
const std::string Zap = "#\xC7\xE0\xEF";
const std::string DateTimeHeader = "\xC4\xE0\xF2\xE0 \xC2\xF0\xE5\xEC\xFF";
const std::string Channel = "\xCA\xE0\xED\xE0\xEB_";

class ArchiveTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("k7104-archive-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
};

TEST_F(ArchiveTextTest, EmptyArchiveGivesTheHeaderLineOnly) {
  const std::string file = (folder_ / "empty.txt").string();
  ASSERT_TRUE(WriteArchiveText(file, {}, 3, RussianForm()));
  EXPECT_EQ(ReadFile(file), Zap + "\t" + DateTimeHeader + "\t" + Channel + "1\t" + Channel + "2\t" +
                                Channel + "3\r\n");
}

TEST_F(ArchiveTextTest, RecordsInListOrderWithOneDecimalAndMarkersAsNumbers) {
  const TDateTime day = EncodeDate(2005, 3, 17);
  const std::vector<MeasurementRecord> records = {
      Record(7, day + EncodeTime(14, 25, 36, 0), {12.34567f, -32764.0f, 0.26f}),
      Record(3, day, {-32766.0f, -32768.0f, -0.04f}),
  };
  const std::string file = (folder_ / "records.txt").string();
  ASSERT_TRUE(WriteArchiveText(file, records, 3, RussianForm()));
  const std::string expected = Zap + "\t" + DateTimeHeader + "\t" + Channel + "1\t" + Channel +
                               "2\t" + Channel + "3\r\n" +
                               "7\t17.03.2005 14:25:36\t12,3\t-32764,0\t0,3\r\n"
                               "3\t17.03.2005\t-32766,0\t-32768,0\t0,0\r\n";
  EXPECT_EQ(ReadFile(file), expected);
}

// A record whose date was no date keeps an empty date field, not a time of another record.
TEST_F(ArchiveTextTest, RecordWithoutTimeHasAnEmptyDateField) {
  const std::vector<MeasurementRecord> records = {
      Record(8, EncodeDate(2005, 3, 17), {1.0f}),
      Record(9, NoDateTime, {2.0f}),
  };
  const std::string file = (folder_ / "timeless.txt").string();
  ASSERT_TRUE(WriteArchiveText(file, records, 1, RussianForm()));
  EXPECT_EQ(ReadFile(file), Zap + "\t" + DateTimeHeader + "\t" + Channel + "1\r\n" +
                                "8\t17.03.2005\t1,0\r\n9\t\t2,0\r\n");
}

// CSV for analysis: UTF-8, ISO times, values with the grid's three decimals and a point, and a
// marker as its text in the channel's state field with the value field empty.
TEST_F(ArchiveTextTest, CsvKeepsValuesNumericAndMarkersAsText) {
  const std::vector<MeasurementRecord> records = {
      Record(7, EncodeDate(2005, 3, 17) + EncodeTime(14, 25, 36, 0), {12.34567f, -32764.0f}),
      Record(3, NoDateTime, {-32766.0f, -0.0004f}),
  };
  const std::string file = (folder_ / "records.csv").string();
  ASSERT_TRUE(WriteArchiveCsv(file, records, 2));
  EXPECT_EQ(ReadFile(file),
            "Запись,Дата и время,Канал_1,Канал_1_состояние,Канал_2,Канал_2_состояние\r\n"
            "7,2005-03-17T14:25:36,12.346,,,Н.настр.\r\n"
            "3,,-32766.000,,0.000,\r\n");
}

TEST_F(ArchiveTextTest, ColumnsFollowTheChannelCountNotTheRecord) {
  const std::vector<MeasurementRecord> records = {Record(1, 40000.5, {1, 2, 3, 4, 5, 6, 7, 8, 9})};
  const auto lines = ArchiveTextLines(records, 8, RussianForm());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 9);
  EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'), 9);
  EXPECT_TRUE(lines[1].ends_with("\t8,0"));
}

TEST_F(ArchiveTextTest, MoreThan32ChannelsAreCappedAt32) {
  const auto lines = ArchiveTextLines({Record(1, 40000.5, {})}, 40, RussianForm());
  EXPECT_TRUE(lines[0].ends_with("\tКанал_32"));
  EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'), 33);
}

TEST_F(ArchiveTextTest, DecimalPointFollowsTheForm) {
  TTextForm form = RussianForm();
  form.DecimalSeparator = ".";
  const auto lines = ArchiveTextLines({Record(9, 40000.5, {-32768.0f})}, 1, form);
  EXPECT_TRUE(lines[1].ends_with("\t-32768.0"));
}

TEST_F(ArchiveTextTest, FailedWriteKeepsTheExistingFile) {
  const std::string file = (folder_ / "keep.txt").string();
  { std::ofstream(file) << "previous export"; }
  fs::create_directory(folder_ / "sub");
  EXPECT_FALSE(WriteArchiveText((folder_ / "sub").string(), {}, 1, RussianForm()));
  EXPECT_FALSE(WriteArchiveText((folder_ / "missing" / "x.txt").string(), {}, 1, RussianForm()));
  EXPECT_EQ(ReadFile(file), "previous export");
}

struct FixedCase {
  double value;
  int decimals;
  const char* text;
};

class FixedTextTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedTextTest, RoundsHalfAwayFromZero) {
  const FixedCase& c = GetParam();
  EXPECT_EQ(FixedText(c.value, c.decimals, ","), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FixedTextTest,
    ::testing::Values(FixedCase{12.34567f, 3, "12,346"}, FixedCase{12.34567f, 5, "12,34567"},
                      FixedCase{0.26f, 1, "0,3"}, FixedCase{0.25, 1, "0,3"},
                      FixedCase{-0.25, 1, "-0,3"}, FixedCase{-0.04, 1, "0,0"},
                      FixedCase{-32768.0f, 1, "-32768,0"}, FixedCase{-32766.0f, 3, "-32766,000"},
                      FixedCase{9.96, 1, "10,0"}, FixedCase{999.5, 0, "1000"},
                      FixedCase{123.0, 0, "123"}, FixedCase{1e15, 1, "1,00000000000000E+15"},
                      FixedCase{-3.4028235e38, 1, "-3,40282350000000E+38"},
                      FixedCase{999999999999999.0, 1, "999999999999999,0"}),
    [](const auto& info) {
      char value[32];
      std::snprintf(value, sizeof value, "%g", info.param.value);
      return CaseName(std::string(info.param.text) + " from " + value);
    });

TEST(FixedTextSpecialTest, NotANumberAndInfinity) {
  EXPECT_EQ(FixedText(std::numeric_limits<double>::quiet_NaN(), 1, ","), "NAN");
  EXPECT_EQ(FixedText(std::numeric_limits<double>::infinity(), 1, ","), "INF");
  EXPECT_EQ(FixedText(-std::numeric_limits<double>::infinity(), 1, ","), "-INF");
}

// A process that takes the user's locale (the command-line tool does) must not change the digits.
TEST(FixedTextSpecialTest, TheProcessNumericLocaleChangesNothing) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  // The second name is the Windows C runtime's.
  if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "Russian_Russia.1251") == nullptr)
    GTEST_SKIP() << "no Russian locale";
  EXPECT_EQ(FixedText(12.34567, 3, ","), "12,346");
  EXPECT_EQ(FixedText(-32765.0, 1, ","), "-32765,0");
  EXPECT_EQ(FixedText(1e20, 1, ","), "1,00000000000000E+20");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(DateTimeTextTest, TimeLeftOutAtExactlyMidnight) {
  const TDateTime day = EncodeDate(2005, 3, 12);
  EXPECT_EQ(DateTimeText(day, "%d.%m.%Y", "%H:%M:%S"), "12.03.2005");
  EXPECT_EQ(DateTimeText(day + EncodeTime(14, 7, 55, 0), "%d.%m.%Y", "%H:%M:%S"),
            "12.03.2005 14:07:55");
  EXPECT_EQ(DateTimeText(day + EncodeTime(0, 0, 1, 0), "%d.%m.%Y", "%H:%M:%S"),
            "12.03.2005 00:00:01");
}

TEST(DateTimeTextTest, WeekdayAndMonthNamesFollowTheDate) {
  // 12 March 2005 was a Saturday.
  EXPECT_EQ(DateTimeText(EncodeDate(2005, 3, 12) + 0.5, "%a %b %d %Y", "%H"), "Sat Mar 12 2005 12");
}

// An export read back: every text DateTimeText gives comes back as its value, in numeric and
// named forms, with two-digit years and the twelve-hour clock; anything else is refused.
TEST(DateTimeTextTest, TextsComeBackAsTheirValues) {
#ifdef _WIN32
  // The C runtime of the Windows build knows only the basic conversions (no %e %F %T %r %R).
  const std::pair<const char*, const char*> forms[] = {
      {"%d.%m.%Y", "%H:%M:%S"}, {"%m/%d/%y", "%H:%M:%S"}, {"%d %b %Y", "%H:%M"}};
#else
  const std::pair<const char*, const char*> forms[] = {{"%d.%m.%Y", "%H:%M:%S"},
                                                       {"%m/%d/%y", "%H:%M:%S"},
                                                       {"%m/%d/%Y", "%r"},
                                                       {"%e %b %Y", "%R"},
                                                       {"%F", "%T"}};
#endif
  const TDateTime day = EncodeDate(2005, 3, 2);
  const TDateTime values[] = {day, day + EncodeTime(0, 30, 0, 0), day + EncodeTime(12, 0, 1, 0),
                              EncodeDate(2031, 12, 31) + EncodeTime(23, 59, 59, 0)};
  for (const auto& [date, time] : forms)
    for (const TDateTime value : values) {
      const std::string text = DateTimeText(value, date, time);
      TDateTime back = 0;
      ASSERT_TRUE(DateTimeOfText(text, date, time, back)) << text;
      EXPECT_EQ(DateTimeText(back, date, time), text);
      EXPECT_NEAR(back, value, 1.0 / 1440) << text;
    }
  TDateTime value = 0;
  for (const char* text : {"", "31.02.2005", "02.03.2005 14:07:55 ", "02.03.2005 14:07",
                           "03/02/05 14:07:55", "2.3.2005 14:07:55"})
    EXPECT_FALSE(DateTimeOfText(text, "%d.%m.%Y", "%H:%M:%S", value)) << text;
}

TEST(Windows1251Test, CyrillicBecomesSingleBytesAndUnknownCharactersAQuestionMark) {
  EXPECT_EQ(ToWindows1251("Канал_1"), "\xCA\xE0\xED\xE0\xEB_1");
  EXPECT_EQ(ToWindows1251("a\xE2\x9C\x93z"), "a?z");  // U+2713 has no Windows-1251 code
  EXPECT_EQ(ToWindows1251("a\xFFz"), "a?z");          // a broken sequence
  EXPECT_EQ(FromWindows1251("\xCA\xE0\xED\xE0\xEB_1"), "Канал_1");
}

}  // namespace
