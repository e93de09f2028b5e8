// The comparison of an instrument's configuration with a file, and the configuration report,
// against a simulated instrument of 8 channels and 4 relays read over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "files/ConfigCompare.h"
#include "files/ConfigReport.h"
#include "files/ConfigValues.h"
#include "support/MipLineFixture.h"

namespace {

class ConfigCompareTest : public MipLineFixture {
 protected:
  void SetUp() override {
    MipLineFixture::SetUp();
    Add(1, 1, 8, 4);
    Connect();
    ASSERT_EQ(RunJob(JobReadAll), RESULT_OK);
    file_ = mip_->Config;
  }

  TConfigBlock file_{};
};

uint8_t Other(uint8_t value, uint8_t count) {
  return static_cast<uint8_t>((value + 1) % count);
}

TEST_F(ConfigCompareTest, OneValueChangedInEachGroupListsExactlyThoseValues) {
  TConfigBlock& f = file_;
  f.TypeSensor[2] = Other(f.TypeSensor[2], 48);
  f.ThreeWire[0] = !f.ThreeWire[0];
  f.BreakCheck[1] = !f.BreakCheck[1];
  f.KXC[3] = 16;
  f.SquareRoot[4] = !f.SquareRoot[4];
  f.Filter[5] = Other(f.Filter[5], 6);
  f.Comma[6] = Other(f.Comma[6], 4);
  f.Minimum[7] = f.Minimum[7] + 1.0f;
  f.Maximum[0] = f.Maximum[0] - 2.5f;
  for (int k = 0; k < SetpointCount; ++k) {
    f.Setpoint[k][k] = f.Setpoint[k][k] + 10.0f;
    f.SetpointRelay[k][1] = Other(f.SetpointRelay[k][1], 5);
  }
  // Below what the page shows: the difference is given in full.
  f.Hysteresis[2] = std::nextafter(f.Hysteresis[2].Get(), 1e9f);
  f.DeviceFaultFlags ^= 2;
  f.RelayByComputer[3] = !f.RelayByComputer[3];
  f.LogicCondition[0][0] = Other(f.LogicCondition[0][0], 2);
  f.LogicFault[1][1] = Other(f.LogicFault[1][1], 3);
  f.LogicFilter[2][2] = Other(f.LogicFilter[2][2], 2);
  f.LogicCondition[3][7] = Other(f.LogicCondition[3][7], 2);
  f.Password = static_cast<uint16_t>(f.Password.Get() == 1234 ? 4321 : 1234);
  // Beyond the instrument's channels and relays, and the relay test: none of them counts.
  f.TypeSensor[8] = Other(f.TypeSensor[8], 48);
  f.Minimum[31] = f.Minimum[31] + 1.0f;
  f.RelayByComputer[4] = !f.RelayByComputer[4];
  f.RelayTestOn[0] = !f.RelayTestOn[0];
  f.Spare ^= 0xFF;

  const TComparison comparison = CompareWithImage(*mip_, f, ",");
  const std::vector<const TGroup*> groups = ConfigurationGroups();
  ASSERT_EQ(comparison.Groups.size(), groups.size());
  EXPECT_EQ(comparison.Differences.size(), groups.size());
  for (const TGroupComparison& g : comparison.Groups) {
    EXPECT_TRUE(g.Compared) << g.GroupName;
    EXPECT_EQ(g.Differences, 1u) << g.GroupName;
  }
  std::map<std::string, TDifference> byGroup;
  for (const TDifference& d : comparison.Differences) byGroup[d.GroupName] = d;
  const TDifference& kxc = byGroup["КХС"];
  EXPECT_EQ(kxc.Element, "Канал 4");
  EXPECT_EQ(kxc.FileValue, "КХС с 16го канала");
  const TDifference& sensor = byGroup["типы датчиков"];
  EXPECT_EQ(sensor.Element, "Канал 3");
  EXPECT_EQ(sensor.FileValue.rfind(std::to_string(f.TypeSensor[2]) + ". ", 0), 0u);
  EXPECT_EQ(byGroup["реле дополнительное"].Element,
            "Реле не нормы прибора: Реакция со второго раза");
  EXPECT_EQ(byGroup["логика реле третьих уставок"].Element, "Канал 3, Фильтр реле");
  EXPECT_EQ(byGroup["управление реле"].Element, "Реле 4");
  EXPECT_EQ(byGroup["дополнительное"].FileValue, std::to_string(f.Password.Get()));
  const TDifference& hysteresis = byGroup["гистерезисов"];
  EXPECT_NE(hysteresis.InstrumentValue, hysteresis.FileValue);
  EXPECT_NE(hysteresis.FileValue.find(','), std::string::npos) << hysteresis.FileValue;
  EXPECT_EQ(DifferenceLine(kxc), "КХС\tКанал 4\t" + kxc.InstrumentValue + "\tКХС с 16го канала");

  EXPECT_TRUE(CompareWithImage(*mip_, mip_->Config, ",").Equal());
}

// A group not read from the instrument is not compared, and the comparison says so.
TEST_F(ConfigCompareTest, GroupsNotReadAreNotCompared) {
  file_.TypeSensor[0] = Other(file_.TypeSensor[0], 48);
  mip_->GroupSource[GroupSensorTypes] = TGroupSource::Loaded;
  const TComparison comparison = CompareWithImage(*mip_, file_, ".");
  EXPECT_TRUE(comparison.Equal());
  EXPECT_FALSE(comparison.Complete());
  EXPECT_FALSE(comparison.GroupOf(GroupSensorTypes)->Compared);
}

TEST_F(ConfigCompareTest, ReportHoldsIdentityAndEveryGroupEscaped) {
  std::memcpy(mip_->DeviceId, "A<b>&\"'\xC0\xFF!", 10);
  TReportFacts facts;
  facts.Port = "/dev/<pty>";
  facts.Baud = 9600;
  facts.ComparedFile = "настройка & проверка.prb";
  const TComparison comparison = CompareWithImage(*mip_, file_, ",");
  facts.Comparison = &comparison;
  TTextForm form;
  form.DecimalSeparator = ",";
  form.DateTimeText = [](TDateTime) { return std::string("<когда>"); };
  const std::string html = ConfigurationReportHtml(*mip_, facts, form);

  EXPECT_NE(html.find("<td>A&lt;b&gt;&amp;&quot;&#39;\u0410\u044F!</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>К7104Т1</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>/dev/&lt;pty&gt;</td>"), std::string::npos);
  EXPECT_NE(html.find("&lt;когда&gt;"), std::string::npos);
  EXPECT_NE(html.find("настройка &amp; проверка.prb"), std::string::npos);
  EXPECT_NE(html.find("<p>Совпадает полностью</p>"), std::string::npos);
  EXPECT_NE(html.find("<th>Считано</th><td>не известно</td>"), std::string::npos);
  EXPECT_EQ(html.find("<когда>"), std::string::npos);
  for (const TGroup* group : ConfigurationGroups()) {
    if (group->Count == TCountRule::Channels) continue;
    const std::string heading = "<h2>" + GroupHeading(group->Code) + "</h2>";
    EXPECT_NE(html.find(heading), std::string::npos) << heading;
  }
  EXPECT_NE(html.find("<h2>Реле: Дополнительное</h2>"), std::string::npos);
  EXPECT_NE(html.find("<h2>Реле: Управление реле</h2>"), std::string::npos);
  EXPECT_NE(html.find("<h2>Дополнительно</h2>"), std::string::npos);
  EXPECT_EQ(html.find("Не считано"), std::string::npos);

  // One row per channel, beginning with its sensor type as the page numbers it.
  for (int ch = 1; ch <= mip_->ChannelCount; ++ch) {
    const std::string row = "<tr><td>" + std::to_string(ch) + "</td><td>" +
                            std::to_string(mip_->Config.TypeSensor[ch - 1]) + ". ";
    EXPECT_NE(html.find(row), std::string::npos) << row;
  }
  EXPECT_EQ(html.find("<tr><td>" + std::to_string(mip_->ChannelCount + 1) + "</td>"),
            std::string::npos);

  // A group loaded from a file is not what the instrument holds: its cells are left empty.
  mip_->GroupSource[GroupSensorTypes] = TGroupSource::Loaded;
  const std::string loaded = ConfigurationReportHtml(*mip_, facts, form);
  EXPECT_NE(loaded.find("<tr><td>1</td><td></td>"), std::string::npos);
  EXPECT_NE(loaded.find("Не считано (пустые ячейки): Типы датчиков</p>"), std::string::npos);
}

}  // namespace
