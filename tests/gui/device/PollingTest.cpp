// Polling that survives the line: a run of failed polls shows one box and is counted on the status
// line; while live values are logged to CSV no box waits and the failures are rows of the log;
// a typed address nobody answers is named; the values of a failed poll show grey until read.
#include <QApplication>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/Mainunit.h"

using namespace Steps;

namespace {

constexpr int CurrentValuesRegister = 768;
const QString CrcFailure = "Ошибка CRC!!! При чтении текущих измерений!!! (адрес 1)";

k7104sim::Fault BadCrcOnCurrentValues(int times = -1) {
  k7104sim::Fault fault{k7104sim::FaultKind::BadCrc};
  fault.function = 3;
  fault.firstRegister = CurrentValuesRegister;
  fault.times = times;
  return fault;
}

QLabel* FailureCount(const TMainForm& form) {
  return Control<QLabel>(form, "PollFailureCount");
}

// The count the status bar shows, 0 while it is hidden.
int CountedFailures(const TMainForm& form) {
  QLabel* count = FailureCount(form);
  if (!count || count->isHidden()) return 0;
  return count->text().section(' ', -1).toInt();
}

bool ValuesGrey(TMainForm& form) {
  TStringGrid* grid = form.Pages().StringGrid(1);
  for (int row = 1; row <= 8; ++row)
    if (!grid->CellNotRead(1, row) || grid->Cells(1, row).isEmpty()) return false;
  return true;
}

bool ValuesLive(TMainForm& form) {
  TStringGrid* grid = form.Pages().StringGrid(1);
  for (int row = 1; row <= 8; ++row)
    if (grid->CellNotRead(1, row)) return false;
  return true;
}

QStringList CsvLines(const QString& path) {
  return ReadText(path).split("\r\n", Qt::SkipEmptyParts);
}

}  // namespace

class TestPolling : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  // The first failure of a run gets its box; the others are counted on the status line and fold
  // in the event log; the values stay on screen grey. A read the user asks for meanwhile keeps
  // its box and ends the run; a poll that succeeds ends it too.
  void FailedPollsAfterTheFirstAreCountedWithoutABox() {
    TMainForm& form = Start();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QVERIFY(ValuesLive(form));
    line_->AddFault(BadCrcOnCurrentValues());
    QTRY_VERIFY_WITH_TIMEOUT(CountedFailures(form) >= 3, Patience);
    QCOMPARE(Shown(fixture_->Dialogs(), "Error"), QStringList{CrcFailure});
    QVERIFY(ReportedError(form, CrcFailure) >= 3);
    QVERIFY2(form.EventLog().size() <= 6, qPrintable(form.EventLog().join('\n')));
    QVERIFY(ValuesGrey(form));

    Button(form, "ToolButton10")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error").size() >= 2, Patience);
    QCOMPARE(Shown(fixture_->Dialogs(), "Error")[1],
             QString("Ошибка CRC!!! При чтении текущих измерений!!!"));

    line_->ClearFaults();
    QTRY_VERIFY_WITH_TIMEOUT(FailureCount(form)->isHidden(), Patience);
    QTRY_VERIFY_WITH_TIMEOUT(ValuesLive(form), Patience);
  }

  // Nobody answers a box while the values are logged: a failed poll is a row saying so, and the
  // rows go on.
  void FailedPollsWhileLoggingAreRowsOfTheLog() {
    TMainForm& form = Start();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QTemporaryDir dir;
    const QString path = dir.filePath("live.csv");
    fixture_->Dialogs().FileNames = {path};
    TriggerItem(form, "CsvLoggingItem");
    QVERIFY(View(form).CsvLogging());
    QTRY_VERIFY_WITH_TIMEOUT(CsvLines(path).size() >= 2, Patience);
    line_->AddFault(BadCrcOnCurrentValues(2));
    const QString failedRow = "\"" + CrcFailure + "\",,,,,,,";
    auto failedRows = [&] { return CsvLines(path).filter(failedRow).size(); };
    QTRY_COMPARE_WITH_TIMEOUT(failedRows(), 2, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(!CsvLines(path).last().endsWith(failedRow), Patience);
    TriggerItem(form, "CsvLoggingItem");
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    const QStringList lines = CsvLines(path);
    for (const QString& row : lines.mid(1)) QCOMPARE(row.count(','), 8);
    QCOMPARE(failedRows(), 2);
  }

  // An address typed on a live page that nobody answers: the failure names it, and the values of
  // the instrument before show grey.
  void TypedAddressNobodyAnswersIsNamed() {
    TMainForm& form = Start(200);
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QSpinBox* address = Control<QSpinBox>(form, "CSpinEditAddress");
    address->setFocus();
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(address, "9");
    const QString timeout = "Вышло время ожидания!!! При чтении текущих измерений!!! (адрес 9)";
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error"), QStringList{timeout}, Patience);
    QVERIFY(ValuesGrey(form));
    QTRY_VERIFY_WITH_TIMEOUT(CountedFailures(form) >= 2, Patience);
    QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);
  }

 private:
  TMainForm& Start(int waitTime = 1300) {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    for (int channel = 0; channel < 8; ++channel) instrument.SetLiveValue(channel, 1.5f * channel);
    if (!line_->Start()) qFatal("the simulated line did not start");
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_, waitTime), true);
    TMainForm& form = fixture_->Form();
    form.show();
    Button(form, "ToolButton8")->click();
    return form;
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestPolling)
#include "PollingTest.moc"
