// The menu "Наладка" against a simulated instrument: the comparison with a configuration file,
// the writing of the file's values of the ticked groups only, and the configuration report.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "files/ConfigFile.h"
#include "files/ConfigReport.h"
#include "files/ConfigValues.h"
#include "shell/Mainunit.h"
#include "shell/setup/CompareDialog.h"

using namespace Steps;

namespace {

// The instrument's configuration registers and coils, for telling what a write has changed.
std::map<int, int> ConfigurationRegisters(const k7104sim::Instrument& instrument) {
  std::map<int, int> values;
  const std::pair<int, int> ranges[] = {{98, 112}, {128, 223}, {448, 767}, {896, 1727}};
  for (const auto& [first, last] : ranges)
    for (int reg = first; reg <= last; ++reg)
      values[reg] = instrument.HoldingRegister(static_cast<uint16_t>(reg));
  for (int coil = 0; coil < 128; ++coil)
    values[100000 + coil] = instrument.Coil(static_cast<uint16_t>(coil));
  return values;
}

std::map<int, int> Changed(const std::map<int, int>& before, const std::map<int, int>& after) {
  std::map<int, int> changed;
  for (const auto& [key, value] : after)
    if (before.at(key) != value) changed[key] = value;
  return changed;
}

QStringList Column(const QTableWidget* table, int column) {
  QStringList texts;
  for (int row = 0; row < table->rowCount(); ++row) texts << table->item(row, column)->text();
  return texts;
}

void Tick(QTableWidget* groups, const QString& name, bool on) {
  for (int row = 0; row < groups->rowCount(); ++row)
    if (groups->item(row, 0)->text() == name)
      groups->item(row, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

class TestSetupMenu : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    instrument_ = &line_->AddInstrument({1, 1, 8, 4});
    QVERIFY(line_->Start());
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    form().show();
    Button(form(), "ToolButton8")->click();
    QVERIFY(form().Mip().Bus.IsOpen());
    ClickPage(form(), 2);  // a page that is not polled
    // The file the instrument's own configuration is saved to, through the window.
    original_ = dir_->filePath("original.prb");
    fixture_->Dialogs().FileNames = {original_};
    TriggerItem(form(), "CompareWithFileItem");
    QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);  // no such file yet
    // Connecting forgot what was read; the poll of the first page may report a read as well.
    Button(form(), "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(AllRead(form().Mip()) && form().Mip().Busy == 0, Patience);
    QVERIFY(SaveConfiguration(form().Mip(), original_.toStdString()));
  }

  void cleanup() {
    fixture_.reset();
    line_.reset();
    dir_.reset();
  }

  void TheMenuComesAfterView() {
    const QList<QAction*> menus = Control<QMenuBar>(form(), "oxMenu1")->actions();
    const int view =
        static_cast<int>(menus.indexOf(Control<QMenu>(form(), "ViewMenu")->menuAction()));
    const int setup =
        static_cast<int>(menus.indexOf(Control<QMenu>(form(), "SetupMenu")->menuAction()));
    QVERIFY(view >= 0);
    QCOMPARE(setup, view + 1);
    QCOMPARE(Control<QMenu>(form(), "SetupMenu")->title(), QString("Наладка"));
    QCOMPARE(Control<QMenu>(form(), "SetupMenu")->actions().value(0)->text(),
             QString("Сравнить с файлом…"));
    QCOMPARE(Control<QMenu>(form(), "SetupMenu")->actions().value(1)->text(),
             QString("Отчёт о настройке…"));
  }

  void WritesOnlyTheTickedGroupsAndComparesAgain() {
    TConfigBlock block{};
    QVERIFY(LoadConfigFile(original_.toStdString(), block));
    block.TypeSensor[1] = static_cast<uint8_t>((block.TypeSensor[1] + 1) % 48);
    block.KXC[3] = 16;
    block.Setpoint[0][0] = 12.5f;
    block.Password = static_cast<uint16_t>(block.Password.Get() == 1234 ? 4321 : 1234);
    const QString changed = dir_->filePath("changed.prb");
    QVERIFY(SaveConfigFile(changed.toStdString(), block));

    fixture_->Dialogs().FileNames = {changed};
    TriggerItem(form(), "CompareWithFileItem");
    TCompareDialog* dialog = Control<TCompareDialog>(form(), "CompareDialog");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(Column(dialog->GroupTable, 0),
             QStringList({"типы датчиков", "КХС", "первых уставок", "дополнительное"}));
    QCOMPARE(Column(dialog->DifferenceTable, 1),
             QStringList({"Канал 2", "Канал 4", "Канал 1", "Пароль"}));
    QCOMPARE(dialog->DifferenceTable->item(1, 3)->text(), QString("КХС с 16го канала"));
    QCOMPARE(dialog->DifferenceTable->item(2, 3)->text(), QString("12,500"));
    QVERIFY(dialog->ResultLabel->text().endsWith("различий 4"));

    Tick(dialog->GroupTable, "КХС", false);
    Tick(dialog->GroupTable, "дополнительное", false);
    const auto before = ConfigurationRegisters(*instrument_);
    fixture_->Dialogs().Answers = {true};
    QTest::mouseClick(dialog->WriteButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dialog->DifferenceTable->rowCount(), 2, Patience);
    QVERIFY(dialog->WriteButton->isEnabled());
    QCOMPARE(Column(dialog->GroupTable, 0), QStringList({"КХС", "дополнительное"}));

    // The sensor type of channel 2 and the first setpoint of channel 1 (two registers), no more.
    const auto written = Changed(before, ConfigurationRegisters(*instrument_));
    for (const auto& [key, value] : written)
      QVERIFY2(key == 128 + 1 || key == 1152 || key == 1153, qPrintable(QString::number(key)));
    QCOMPARE(instrument_->HoldingRegister(128 + 1), uint16_t(block.TypeSensor[1]));
    QCOMPARE(instrument_->HoldingFloat(1152), 12.5f);
    QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);  // the one of init
  }

  void EqualFileMatchesAndTheReportRecordsIt() {
    fixture_->Dialogs().FileNames = {original_};
    TriggerItem(form(), "CompareWithFileItem");
    TCompareDialog* dialog = Control<TCompareDialog>(form(), "CompareDialog");
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(dialog->ResultLabel->text().endsWith("Совпадает полностью"));
    QCOMPARE(dialog->DifferenceTable->rowCount(), 0);
    QVERIFY(!dialog->WriteButton->isEnabled());

    const QString html = dir_->filePath("report.html");
    const QString pdf = dir_->filePath("report.pdf");
    fixture_->Dialogs().FileNames = {html, pdf};
    TriggerItem(form(), "ConfigurationReportItem");
    TriggerItem(form(), "ConfigurationReportItem");
    const QString text = QString::fromUtf8(FileBytes(html));
    QVERIFY(text.contains("<td>VOSTRELIN!</td>"));
    QVERIFY(text.contains("<td>К7104Т1</td>"));
    QVERIFY(text.contains("<p>Совпадает полностью</p>"));
    QVERIFY(text.contains("original.prb"));
    // A row per channel of the instrument, and the groups that are no channel's under their own
    // headings.
    QVERIFY(text.contains("<tr><td>8</td>"));
    QVERIFY(!text.contains("<tr><td>9</td>"));
    for (const TGroup* group : ConfigurationGroups())
      if (group->Count != TCountRule::Channels)
        QVERIFY2(
            text.contains(QString::fromStdString("<h2>" + GroupHeading(group->Code) + "</h2>")),
            group->Name);
    QVERIFY(!text.contains("Не считано"));
    QVERIFY(FileBytes(pdf).startsWith("%PDF"));
    QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);  // the one of init
  }

 private:
  TMainForm& form() { return fixture_->Form(); }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<k7104sim::Line> line_;
  k7104sim::Instrument* instrument_ = nullptr;
  std::unique_ptr<TFormFixture> fixture_;
  QString original_;
};

K7104_GUI_TEST_MAIN(TestSetupMenu)
#include "SetupMenuTest.moc"
