// What the engineer sees and prints, whole: at the window's default size and at the screen's scale
// (the program runs once as it is and once under QT_SCALE_FACTOR=2) the range dialog's caption,
// the archive read's count and message beside the Stop button, the traffic monitor's captions and
// outcomes and the archive trend's time labels are not cut; the archive grid's record numbers and
// dates stay in view while the channels scroll sideways; the configuration report of a
// 32-channel instrument is a landscape A4 table of at most four pages with a row per channel.
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "CommandSteps.h"
#include "shell/Mainunit.h"
#include "shell/view/TrafficMonitor.h"
#ifndef K7104_WITHOUT_CHARTS
#include "shell/view/TrendWindow.h"
#endif
#include "SimulatedLine.h"
#include "views/ArchiveGrid.h"

using namespace Steps;

namespace {

constexpr int ArchivePage = 15;

// The room a title bar needs for the caption whole: its text in the title font, the icon and
// the buttons of the bar.
int TitleBarWidth(const QWidget& dialog) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(dialog.windowTitle()) +
         4 * dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dialog);
}

// The width an item view's cell needs for the text: the item delegate's margins on both sides.
int CellWidth(const QTableView& table, const QString& text) {
  const int margin = table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1;
  return table.fontMetrics().horizontalAdvance(text) + 2 * margin;
}

std::vector<MeasurementRecord> HourlyRecords(int count) {
  std::vector<MeasurementRecord> records;
  for (int k = count; k >= 1; --k) {
    MeasurementRecord record;
    record.Number = static_cast<uint16_t>(k);
    record.Time = EncodeDateTime({2026, 10, 25, 0, 0, 0, 0}) + k / 24.0;
    for (int ch = 0; ch < MaxChannels; ++ch)
      record.Value[ch] = static_cast<float>(100 * ch + k) + 0.125f;
    records.push_back(record);
  }
  return records;
}

// The text pdftotext finds in the file, its pages ended by form feeds; empty when it cannot run.
QString PdfText(const QString& pdf) {
  QProcess process;
  process.start("pdftotext", {"-layout", pdf, "-"});
  if (!process.waitForFinished(Patience) || process.exitCode() != 0) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

}  // namespace

class TestLayout : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  // Both of its uses: the search and the archive read.
  void RangeDialogShowsItsCaptionWhole() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.show();
    QStringList cut;
    const auto look = [&cut](TArchQwery* dialog) {
      if (dialog->width() < TitleBarWidth(*dialog))
        cut << QString("%1 (%2 of %3 px)")
                   .arg(dialog->windowTitle())
                   .arg(dialog->width())
                   .arg(TitleBarWidth(*dialog));
      for (const QLabel* label : dialog->findChildren<QLabel*>())
        if (label->sizeHint().width() > label->width()) cut << label->text();
      dialog->CancelBtn->click();
    };
    WhenModalShown<TArchQwery>(look);
    Button(form, "ToolButton9")->click();
    ClickPage(form, ArchivePage);
    WhenModalShown<TArchQwery>(look);
    Button(form, "ToolButton10")->click();
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
  }

  // A long read: the gauge holds the count, and the message ends before the Stop button.
  void ArchiveReadCountAndMessageStayInView() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 1, 32, 32}).SetArchiveDepth(20000);
    line.SetReplyDelay(20);
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, ArchivePage);
    Button(form, "ToolButton8")->click();
    AnswerRangeDialog(1, 20000);
    Button(form, "ToolButton10")->click();
    auto* gauge = Control<QProgressBar>(form, "CGauge");
    auto* message = Control<QLabel>(form, "ForMessage");
    auto* stop = Control<QPushButton>(form, "StopButton");
    QTRY_VERIFY_WITH_TIMEOUT(gauge->value() >= 2 && message->text().contains("зап./с"), Patience);
    QVERIFY(stop->isVisible());
    const QString fullCount = QString("%1/%1").arg(gauge->maximum());
    QVERIFY2(gauge->fontMetrics().horizontalAdvance(fullCount) + 8 <= gauge->width(),
             qPrintable(QString("%1 px for %2").arg(gauge->width()).arg(fullCount)));
    QVERIFY2(message->geometry().right() < stop->geometry().left(),
             qPrintable(QString("the message reaches %1, the Stop button begins at %2")
                            .arg(message->geometry().right())
                            .arg(stop->geometry().left())));
    stop->click();
    QTRY_VERIFY_WITH_TIMEOUT(form.Mip().Busy == 0 && gauge->isHidden(), Patience);
    QVERIFY(message->geometry().right() > stop->geometry().left());
  }

  void TrafficMonitorShowsCaptionsAndOutcomesWhole() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 6, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line, 200), true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "TrafficMonitorButton")->click();
    TTrafficMonitor* monitor = Control<TTrafficMonitor>(form, "TrafficMonitor");
    QVERIFY(monitor && monitor->isVisible());
    Button(form, "ToolButton8")->click();
    ClickPage(form, 2);
    Button(form, "ToolButton11")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    Control<QSpinBox>(form, "CSpinEditAddress")->setValue(9);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(monitor->Counters().Timeouts, uint64_t(1), Patience);
    QVERIFY(NoMoreJobs(form));
    monitor->TakeTraffic();

    const QTableView& table = *monitor->Table;
    const QHeaderView* header = table.horizontalHeader();
    for (int column = 0; column < TTrafficModel::ColumnCount; ++column)
      QVERIFY2(
          header->sectionSize(column) >= header->sectionSizeHint(column),
          qPrintable(
              monitor->Model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()));
    const TTrafficModel& model = *monitor->Model();
    for (int row = 0; row < model.rowCount(); ++row) {
      const QString outcome = model.index(row, TTrafficModel::Outcome).data().toString();
      QVERIFY2(CellWidth(table, outcome) <= header->sectionSize(TTrafficModel::Outcome),
               qPrintable(outcome));
    }
    // At the window's own size the outcome is in view without scrolling sideways.
    QVERIFY(header->sectionViewportPosition(TTrafficModel::Outcome) +
                header->sectionSize(TTrafficModel::Outcome) <=
            table.viewport()->width());
  }

#ifndef K7104_WITHOUT_CHARTS
  // The labels under the chart carry the whole date and time, at the window's size and wider.
  void ArchiveTrendTimeLabelsAreWhole() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.show();
    form.Mip().MeasArchive = HourlyRecords(200);
    TriggerItem(form, "ArchiveTrendItem");
    TTrendWindow* trend = Control<TTrendWindow>(form, "ArchiveTrend");
    QVERIFY(trend && trend->isVisible());
    const QRegularExpression whole("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d$");
    const QRegularExpression dated("^\\d\\d\\.\\d\\d");
    for (const int width : {trend->width(), trend->width() * 3 / 2}) {
      trend->resize(width, trend->height());
      QStringList labels;
      const auto read = [&] {
        QApplication::processEvents();
        labels.clear();
        for (const QGraphicsItem* item : trend->ChartView->scene()->items())
          if (const auto* text = dynamic_cast<const QGraphicsTextItem*>(item))
            if (text->isVisible() && dated.match(text->toPlainText()).hasMatch())
              labels << text->toPlainText();
        return labels.size() >= 2;
      };
      QTRY_VERIFY_WITH_TIMEOUT(read(), Patience);
      for (const QString& label : labels)
        QVERIFY2(whole.match(label).hasMatch(),
                 qPrintable(QString("%1 at %2 px").arg(label).arg(width)));
    }
  }
#endif

  // End in a row moves to the last channel; the numbers and dates stay where they were.
  void ArchiveNumbersAndDatesStayInViewWhileScrollingSideways() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, ArchivePage);
    form.Mip().MeasArchive = HourlyRecords(30);
    form.Pages().Render();
    TArchiveGrid* grid = form.Pages().ArchiveGrid();
    const QRect fixed(0, 0, grid->ColWidth(0) + grid->ColWidth(1), grid->height() / 2);
    QApplication::processEvents();
    const QImage before = grid->grab(fixed).toImage();
    const QModelIndex first = grid->Model()->index(0, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(first).center());
    QTest::keyClick(grid, Qt::Key_End);
    QCOMPARE(grid->currentIndex().column(), MaxChannels);
    QVERIFY(grid->horizontalScrollBar()->value() > 0);
    QApplication::processEvents();
    QCOMPARE(grid->grab(fixed).toImage(), before);
  }

  void ReportOfThirtyTwoChannelsIsFourLandscapePagesAtMost() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 1, 32, 32});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, 2);  // a page that is not polled
    Button(form, "ToolButton8")->click();
    QTemporaryDir dir;
    const QString pdf = dir.filePath("отчёт.pdf");
    fixture.Dialogs().FileNames = {pdf};
    TriggerItem(form, "ConfigurationReportItem");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pdf), Patience);
    const QByteArray bytes = FileBytes(pdf);
    QVERIFY(bytes.startsWith("%PDF"));
    const QRegularExpressionMatch box =
        QRegularExpression("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")
            .match(QString::fromLatin1(bytes));
    QVERIFY(box.hasMatch());
    QVERIFY2(box.captured(1).toDouble() > box.captured(2).toDouble(), "the page is not landscape");

#ifdef _WIN32
    QSKIP("the report is read back by pdftotext, a Linux program a Windows one cannot start");
#endif
    const QString text = PdfText(pdf);
    QVERIFY2(!text.isEmpty(), "pdftotext (poppler-utils, scripts/setup) did not read the report");
    const int pages = static_cast<int>(text.count('\f'));
    QVERIFY2(pages >= 1 && pages <= 4, qPrintable(QString("%1 pages").arg(pages)));
    // Each channel's row: its number, then its sensor type's number as the page shows it.
    for (int channel = 1; channel <= 32; ++channel) {
      const int sensor = form.Mip().Config.TypeSensor[channel - 1];
      const QRegularExpression row(QString("(^|\\n)\\s*%1\\s+%2\\. ").arg(channel).arg(sensor));
      QVERIFY2(row.match(text).hasMatch(), qPrintable(QString("channel %1").arg(channel)));
    }
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
  }
};

K7104_GUI_TEST_MAIN(TestLayout)
#include "LayoutTest.moc"
