// The CLI's dates and times after the Windows regional patterns, through the C runtime's strftime.
#include <gtest/gtest.h>

#include "cli/Platform.h"
#include "files/ArchiveText.h"
#include "instrument/DateTime.h"

namespace {

TEST(RegionalForms, WindowsPatternsBecomeStrftimeFormats) {
  EXPECT_EQ(cli::StrftimeFormat(L"dd.MM.yyyy"), "%d.%m.%Y");
  EXPECT_EQ(cli::StrftimeFormat(L"H:mm:ss"), "%#H:%M:%S");
  EXPECT_EQ(cli::StrftimeFormat(L"h:mm:ss tt"), "%#I:%M:%S %p");
  EXPECT_EQ(cli::StrftimeFormat(L"M/d/yyyy"), "%#m/%#d/%Y");
  EXPECT_EQ(cli::StrftimeFormat(L"d MMMM yyyy 'г.'"), "%#d %B %Y г.");
  EXPECT_EQ(cli::StrftimeFormat(L"yyyy-MM-dd'T'HH 'o''clock' 100%"), "%Y-%m-%dT%H o'clock 100%%");
}

// Russian Windows writes the hour without a leading zero; the C runtime must take "%#H".
TEST(RegionalForms, AnHourBeforeTenKeepsNoLeadingZero) {
  const TDateTime value = EncodeDate(2005, 3, 12) + (9 * 3600 + 5 * 60 + 7) / 86400.0;
  EXPECT_EQ(
      DateTimeText(value, cli::StrftimeFormat(L"dd.MM.yyyy"), cli::StrftimeFormat(L"H:mm:ss")),
      "12.03.2005 9:05:07");
  EXPECT_EQ(
      DateTimeText(value, cli::StrftimeFormat(L"M/d/yyyy"), cli::StrftimeFormat(L"h:mm:ss tt")),
      "3/12/2005 9:05:07 AM");
}

}  // namespace
