// The menu "Вид" against the simulated line: the traffic monitor (every request of a read-all as
// it travelled, failures counted and shown red, the list saved as text), the logging of polled
// values to CSV and the trend charts.
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "modbus/Traffic.h"
#include "shell/Mainunit.h"
#include "shell/view/TrafficMonitor.h"
#ifndef K7104_WITHOUT_CHARTS
#include "shell/view/TrendWindow.h"
#include "support/TmpfsMount.h"
#endif
#include "SimulatedLine.h"

using namespace Steps;

namespace {

QStringList RequestBytes(const TTrafficModel& model) {
  QStringList requests;
  for (int row = 0; row < model.rowCount(); ++row)
    if (model.index(row, TTrafficModel::Direction).data().toString() == "→")
      requests << model.index(row, TTrafficModel::Bytes).data().toString();
  return requests;
}

}  // namespace

class TestViewMenu : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void ListsEveryFrameAndCountsFailures() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 6, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line, 200), true);
    TMainForm& form = fixture.Form();
    form.show();
    form.findChild<QToolButton*>("TrafficMonitorButton")->click();
    TTrafficMonitor* monitor = Control<TTrafficMonitor>(form, "TrafficMonitor");
    QVERIFY(monitor && monitor->isVisible());
    line.ClearReceived();
    Button(form, "ToolButton8")->click();
    ClickPage(form, 2);
    Button(form, "ToolButton11")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    QVERIFY(NoMoreJobs(form));

    QStringList sent;
    for (const auto& frame : line.ReceivedFrames())
      sent << QString::fromStdString(HexText(frame.data(), frame.size()));
    QTRY_COMPARE_WITH_TIMEOUT(RequestBytes(*monitor->Model()), sent, Patience);
    QCOMPARE(monitor->Counters().Replies, uint64_t(sent.size()));
    QVERIFY(monitor->CountersLabel->text().startsWith(QString("Запросов: %1 ").arg(sent.size())));

    // A silent address: the timeout is counted and its row is red.
    QTest::mouseClick(monitor->ClearButton, Qt::LeftButton);
    QCOMPARE(monitor->Model()->rowCount(), 0);
    Control<QSpinBox>(form, "CSpinEditAddress")->setValue(9);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(monitor->Counters().Timeouts, uint64_t(1), Patience);
    TTrafficModel* model = monitor->Model();
    const QModelIndex outcome = model->index(model->rowCount() - 1, TTrafficModel::Outcome);
    QVERIFY(outcome.data().toString().contains("Вышло время ожидания!!!"));
    QVERIFY(outcome.data(Qt::ForegroundRole).value<QColor>().red() > 150);

    QTemporaryDir dir;
    const QString path = dir.filePath("traffic.txt");
    fixture.Dialogs().FileNames = {path};
    QTest::mouseClick(monitor->SaveButton, Qt::LeftButton);
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(saved.readAll());
    QCOMPARE(text.count("\r\n"), model->rowCount());
    QVERIFY(text.startsWith(model->RowText(0)));
  }

  // Logging while the current values are polled: a header and one row per poll until stopped; a
  // file that cannot be made is reported and logs nothing.
  void PolledValuesAreLoggedToCsv() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 6, 8, 4}).SetLiveValue(1, 12.34567f);
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    QTemporaryDir dir;
    fixture.Dialogs().FileNames = {dir.filePath("no-folder/live.csv"), dir.filePath("live.csv")};
    TriggerItem(form, "CsvLoggingItem");
    QVERIFY(!View(form).CsvLogging());
    QVERIFY(!Item(form, "CsvLoggingItem")->isChecked());
    QCOMPARE(Shown(fixture.Dialogs(), "Error").size(), 1);

    Button(form, "ToolButton8")->click();
    TriggerItem(form, "CsvLoggingItem");
    QVERIFY(View(form).CsvLogging());
    QVERIFY(Control<QLabel>(form, "CsvLoggingLabel")->isVisible());
    QVERIFY(Control<QLabel>(form, "CsvLoggingLabel")->text().contains("live.csv"));
    QFile csv(dir.filePath("live.csv"));
    const auto rows = [&csv] {
      csv.open(QIODevice::ReadOnly);
      const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
      csv.close();
      return lines;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rows().size() >= 4, Patience);
    TriggerItem(form, "CsvLoggingItem");
    QVERIFY(!View(form).CsvLogging());
    QVERIFY(Control<QLabel>(form, "CsvLoggingLabel")->isHidden());
    const QStringList lines = rows();
    QCOMPARE(lines.front(), QString("Дата и время,Канал_1,Канал_2,Канал_3,Канал_4,Канал_5,Канал_6,"
                                    "Канал_7,Канал_8"));
    QCOMPARE(lines[1].count(','), 8);
    QCOMPARE(lines[1].section(',', 2, 2), QString("12.346"));
    QVERIFY(Shown(fixture.Dialogs(), "Error").size() == 1);
  }

  // A log file that is there already: the user says whether to append to it (under its one
  // header), to replace it, or neither, which leaves it as it was.
  void LoggingToAnExistingFileAsks() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 6, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QTemporaryDir dir;
    const QString path = dir.filePath("live.csv");
    const auto logUntil = [&](int rows) {
      fixture.Dialogs().FileNames = {path};
      TriggerItem(form, "CsvLoggingItem");
      if (!View(form).CsvLogging()) return false;
      const bool logged = QTest::qWaitFor(
          [&] { return ReadText(path).split("\r\n", Qt::SkipEmptyParts).size() > rows; }, Patience);
      TriggerItem(form, "CsvLoggingItem");
      return logged;
    };
    QVERIFY(logUntil(2));
    QVERIFY(Shown(fixture.Dialogs(), "Ask").isEmpty());
    const QByteArray first = FileBytes(path);
    const int firstRows = QString::fromUtf8(first).split("\r\n", Qt::SkipEmptyParts).size();

    fixture.Dialogs().Answers = {true};
    QVERIFY(logUntil(firstRows + 2));
    QCOMPARE(
        Shown(fixture.Dialogs(), "Ask"),
        QStringList{"Файл " + path + " уже существует.\nДописать текущие значения в конец файла?"});
    const QByteArray appended = FileBytes(path);
    QVERIFY(appended.startsWith(first));
    QCOMPARE(QString::fromUtf8(appended).count("Дата и время"), 1);

    fixture.Dialogs().Answers = {false, false};
    fixture.Dialogs().FileNames = {path};
    TriggerItem(form, "CsvLoggingItem");
    QVERIFY(!View(form).CsvLogging());
    QVERIFY(!Item(form, "CsvLoggingItem")->isChecked());
    QCOMPARE(Shown(fixture.Dialogs(), "Ask").size(), 3);
    QCOMPARE(FileBytes(path), appended);

    fixture.Dialogs().Answers = {false, true};
    QVERIFY(logUntil(1));
    QCOMPARE(Shown(fixture.Dialogs(), "Ask").last(),
             "Заменить файл " + path + "? Строки, записанные в нём, будут потеряны.");
    const QByteArray replaced = FileBytes(path);
    QVERIFY(replaced.size() < appended.size());
    QVERIFY(replaced.startsWith(first.left(first.indexOf("\r\n") + 2)));
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
  }

#ifndef K7104_WITHOUT_CHARTS
  // The live chart gets every poll of the chosen channels; a marker is a gap that the read-out
  // names. The archive chart plots the records that have a time.
  void TrendsPlotPolledValuesAndTheArchive() {
    k7104sim::Line line(Reachable());
    k7104sim::Instrument& instrument = line.AddInstrument({1, 6, 4, 4});
    instrument.SetLiveValue(0, -32768.0f);
    instrument.SetLiveValue(1, 12.34567f);
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    form.findChild<QAction*>("LiveTrendItem")->trigger();
    TTrendWindow* trend = Control<TTrendWindow>(form, "LiveTrend");
    QVERIFY(trend && trend->isVisible());
    trend->ChannelList->item(1)->setCheckState(Qt::Checked);
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(trend->PointCount(2) >= 3, Patience);
    QCOMPARE(trend->PointCount(1), 0);
    QCOMPARE(trend->PieceCount(1), 0);
    QVERIFY(trend->ChannelList->item(4)->isHidden());
    const QString readout = trend->ReadoutAt(QDateTime::currentMSecsSinceEpoch());
    QVERIFY2(readout.contains("Канал 1: Не норма прибора"), qPrintable(readout));
    QVERIFY2(readout.contains("Канал 2: 12"), qPrintable(readout));
    Button(form, "ToolButton8")->click();

    std::vector<MeasurementRecord>& archive = form.Mip().MeasArchive;
    archive.clear();
    for (int k = 0; k < 5; ++k) {
      MeasurementRecord record;
      record.Number = static_cast<uint16_t>(k + 1);
      record.Time = k == 4 ? NoDateTime : EncodeDateTime({2026, 3, 1, 10, k, 0, 0});
      record.Value[0] = k == 2 ? -32765.0f : 1.5f * static_cast<float>(k);
      archive.push_back(record);
    }
    form.findChild<QAction*>("ArchiveTrendItem")->trigger();
    TTrendWindow* archiveTrend = Control<TTrendWindow>(form, "ArchiveTrend");
    QVERIFY(archiveTrend && archiveTrend->isVisible());
    QCOMPARE(archiveTrend->PointCount(1), 3);
    QCOMPARE(archiveTrend->PieceCount(1), 2);

    // The picture replaces the old one whole or not at all: on a full disk the old one stays and
    // the save says that it failed.
    QTemporaryDir dir;
    fixture.Dialogs().FileNames = {dir.filePath("chart.png")};
    archiveTrend->SaveButton->click();
    QVERIFY(FileBytes(dir.filePath("chart.png")).startsWith("\x89PNG"));
    QVERIFY(FileBytes(dir.filePath("chart.png")).endsWith("IEND\xAE\x42\x60\x82"));
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
    TmpfsMount disk(dir.filePath("full").toStdString(), 64);
    if (!disk.Mounted()) QSKIP(disk.Why().c_str());
    const QString old = dir.filePath("full/chart.png");
    QVERIFY(WriteBytes(old, "the old picture"));
    QVERIFY(disk.Fill());
    fixture.Dialogs().FileNames = {old};
    archiveTrend->SaveButton->click();
    QCOMPARE(FileBytes(old), QByteArray("the old picture"));
    QCOMPARE(Shown(fixture.Dialogs(), "Error"), QStringList{"Не удалось записать файл " + old});
  }
#else
  // Built without Qt Charts, the menu has no trend items at all rather than items that do nothing.
  void NoTrendItemsWithoutCharts() {
    TFormFixture fixture;
    QStringList items;
    for (const QAction* action : Control<QMenu>(fixture.Form(), "ViewMenu")->actions())
      if (!action->isSeparator()) items << action->text();
    QCOMPARE(items,
             QStringList({"Обмен", "Запись текущих значений в CSV…", "Десятичная запятая в CSV"}));
  }
#endif
};

K7104_GUI_TEST_MAIN(TestViewMenu)
#include "ViewMenuTest.moc"
