// Switching pages against a simulated instrument on a real pseudo-terminal: the question about
// the edits of the page left and the write it starts, the rendering of the new page (also while
// an archive read runs) and the polling that follows the new page.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "modbus/Modbusunit.h"
#include "shell/device/ArchQwery.h"

using namespace Steps;

namespace {

constexpr uint16_t SensorTypesRegister = 128;
constexpr uint16_t MinimumsRegister = 896;
constexpr uint16_t PasswordRegister = 102;
constexpr uint16_t ColdJunctionRegister = 608;
constexpr uint16_t FirstSetpointsRegister = 1152;
const QString Question = "Записать изменения в прибор?";

void ClickCell(TStringGrid* grid, int col, int row) {
  grid->scrollToItem(grid->item(row - grid->FixedRows(), col - 1));
  const QRect cell = grid->CellRect(col, row);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid->viewport()->mapFrom(grid, cell.center()));
}

void Type(const QString& text) {
  for (const QChar ch : text) QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
}

}  // namespace

class TestPageChange : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() { line_ = std::make_unique<k7104sim::Line>(Reachable()); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  void StartsOnTheFirstPageWithNothingRemembered() {
    TMainForm& form = Start();
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()), 0);
    QVERIFY(!form.Pages().Modified);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

  void MinimumsToMaximumsAfterAnEditWritesTheMinimums() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start();
    ClickPage(form, 9, 0);
    Button(form, "ToolButton8")->click();
    ClickCell(form.Pages().StringGrid(6), 1, 1);
    Type("12,5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    fixture_->Dialogs().Answers = {true};

    ClickPage(form, 9, 1);

    const QList<TAskedDialog>& asked = fixture_->Dialogs().Asked;
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].Kind, QString("Ask"));
    QCOMPARE(asked[0].Caption, QString("Запись в прибор"));
    QCOMPARE(asked[0].Text, Question);
    QVERIFY(asked[0].Owner == nullptr);
    QCOMPARE(int(form.Mip().JobCode), 137);
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()), 10);
    QVERIFY(!form.Pages().Modified);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    QCOMPARE(instrument.HoldingFloat(MinimumsRegister), 12.5f);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void TheSameSwitchWithThePortClosedAsksNothing() {
    TMainForm& form = Start();
    ClickPage(form, 9, 0);
    form.Pages().Modified = true;
    ClickPage(form, 9, 1);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
    QVERIFY(!form.Pages().Modified);
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()), 10);
    QCOMPARE(int(form.Mip().JobCode), 0);
  }

  void LeavingAnEditedPage_data() {
    QTest::addColumn<int>("fromPage");
    QTest::addColumn<int>("fromSubPage");
    QTest::addColumn<int>("toPage");
    QTest::addColumn<int>("toSubPage");
    QTest::addColumn<int>("job");  // 0: nothing asked, nothing written
    QTest::newRow("sensor types") << 2 << -1 << 3 << -1 << 130;
    QTest::newRow("hysteresis") << 11 << -1 << 12 << 0 << 143;
    QTest::newRow("fourth setpoints to first") << 10 << 3 << 10 << 0 << 142;
    QTest::newRow("fault relays") << 12 << 4 << 13 << 0 << 148;
    QTest::newRow("fourth relay logic to first") << 13 << 3 << 13 << 0 << 154;
    QTest::newRow("device settings") << 14 << -1 << 2 << -1 << 158;
    QTest::newRow("current measurements") << 0 << -1 << 2 << -1 << 0;
    QTest::newRow("last completed cycle") << 1 << -1 << 2 << -1 << 0;
    QTest::newRow("measurement archive") << 15 << -1 << 2 << -1 << 0;
  }
  // With the port open and Yes answered; the live pages among them are being polled.
  void LeavingAnEditedPage() {
    QFETCH(int, fromPage);
    QFETCH(int, fromSubPage);
    QFETCH(int, toPage);
    QFETCH(int, toSubPage);
    QFETCH(int, job);
    line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start();
    ClickPage(form, fromPage, fromSubPage);
    Button(form, "ToolButton8")->click();
    form.Pages().Modified = true;
    fixture_->Dialogs().Answers = {true};

    ClickPage(form, toPage, toSubPage);

    QCOMPARE(Shown(fixture_->Dialogs(), "Ask"), job ? QStringList{Question} : QStringList{});
    QVERIFY(!form.Pages().Modified);
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()),
             int(form.Pages().PageJobCode()));
    if (job) {
      QCOMPARE(int(form.Mip().JobCode), job);
      QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    } else {
      QVERIFY(form.Mip().JobCode < 128);
      QTest::qWait(100);
      QCOMPARE(Reported(form, "Идет запись данных."), 0);
    }
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void DeviceSettingsEditReachesTheInstrumentOnYes() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start();
    ClickPage(form, 14);
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QSpinBox* password = form.Pages().CSpinEdit2;
    QTest::mouseClick(password, Qt::LeftButton, {}, QPoint(10, password->height() / 2));
    password->selectAll();
    Type("4321");
    fixture_->Dialogs().Answers = {true};
    ClickPage(form, 2);
    QCOMPARE(int(form.Mip().JobCode), 158);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    QCOMPARE(instrument.HoldingRegister(PasswordRegister), 4321);
  }

  // No leaves the edit in the data image, unmarked; write current sends it later.
  void NoThenWriteCurrentWritesTheEarlierEdits() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    instrument.SetHoldingRegister(SensorTypesRegister, 0);
    TMainForm& form = Start();
    ClickPage(form, 2);
    Button(form, "ToolButton8")->click();
    ClickCell(form.Pages().StringGrid(3), 1, 1);
    TPopupList* sensorTypes = form.Pages().MenuTypeSensor;
    QVERIFY(sensorTypes->isVisible());
    const QRect item = sensorTypes->actionGeometry(sensorTypes->actions().at(37));
    QTest::mouseClick(sensorTypes, Qt::LeftButton, Qt::NoModifier, item.center());
    QCOMPARE(int(form.Mip().Config.TypeSensor[0]), 37);
    fixture_->Dialogs().Answers = {false};

    ClickPage(form, 3);
    QCOMPARE(Shown(fixture_->Dialogs(), "Ask"), QStringList{Question});
    QVERIFY(!form.Pages().Modified);
    QCOMPARE(int(form.Mip().JobCode), 0);

    ClickPage(form, 2);
    QCOMPARE(Shown(fixture_->Dialogs(), "Ask").size(), 1);
    QCOMPARE(form.Pages().StringGrid(3)->Cells(1, 1), QString("37. Термопара XA(K)"));
    QCOMPARE(instrument.HoldingRegister(SensorTypesRegister), 0);
    Button(form, "ToolButton12")->click();
    QCOMPARE(int(form.Mip().JobCode), 130);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    QCOMPARE(instrument.HoldingRegister(SensorTypesRegister), 37);
  }

  void TheNewPageIsRendered() {
    TMainForm& form = Start();
    form.Mip().Config.TypeSensor[2] = 37;
    form.Mip().Config.Hysteresis[0] = 0.26f;
    ClickPage(form, 2);
    QCOMPARE(form.Pages().StringGrid(3)->Cells(1, 3), QString("37. Термопара XA(K)"));
    ClickPage(form, 11);
    QCOMPARE(form.Pages().StringGrid(12)->Cells(1, 1), QString("0,3"));
  }

  // Polling follows the page: it starts on a live page and stops after the read under way when
  // the page left was the last live one.
  void PollingFollowsThePage() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    instrument.SetLiveValue(1, 12.34567f);
    TMainForm& form = Start();
    ClickPage(form, 2);
    Button(form, "ToolButton8")->click();
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    QCOMPARE(int(form.Mip().JobCode), 2);

    ClickPage(form, 0);
    QCOMPARE(int(form.Mip().JobCode), 0);
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 3, Patience);
    QCOMPARE(form.Pages().StringGrid(1)->Cells(1, 2), QString("12,346"));

    ClickPage(form, 2);
    QVERIFY(NoMoreJobs(form));
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void EditingAGroupThatWasNeverRead_data() {
    QTest::addColumn<bool>("writeCurrent");  // else the page is left and Yes answered
    QTest::newRow("leaving the page") << false;
    QTest::newRow("write current") << true;
  }
  // The first setpoints were never read since connecting: the page shows them as not read, and
  // writing the one value typed reads them first, so the instrument gets its own values back
  // beside the typed one instead of zeros.
  void EditingAGroupThatWasNeverRead() {
    QFETCH(bool, writeCurrent);
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    QList<float> before;
    for (int i = 0; i < 8; ++i) {
      before << 10.5f + static_cast<float>(i);
      instrument.SetHoldingFloat(FirstSetpointsRegister + 2 * i, before[i]);
    }
    TMainForm& form = Start();
    Button(form, "ToolButton8")->click();
    ClickPage(form, 10, 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().Busy == 0 && Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
    TStringGrid* grid = form.Pages().StringGrid(8);
    for (int row = 1; row <= 32; ++row) {
      QCOMPARE(grid->Cells(1, row), QString());
      QVERIFY(grid->CellNotRead(1, row));
    }

    ClickCell(grid, 1, 3);
    Type("33,3");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(grid->Cells(1, 3), QString("33,300"));
    QVERIFY(!grid->CellNotRead(1, 3));
    QVERIFY(grid->CellNotRead(1, 2));
    fixture_->Dialogs().Answers = {true};
    if (writeCurrent)
      Button(form, "ToolButton12")->click();
    else
      ClickPage(form, 10, 1);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);

    QCOMPARE(Shown(fixture_->Dialogs(), "Ask"),
             writeCurrent ? QStringList{} : QStringList{Question});
    for (int i = 0; i < 8; ++i)
      QCOMPARE(instrument.HoldingFloat(FirstSetpointsRegister + 2 * i), i == 2 ? 33.3f : before[i]);
    QCOMPARE(form.Mip().Config.Setpoint[0][0].Get(), before[0]);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void VisitingTheDeviceSettingsPageWhilePolling_data() {
    QTest::addColumn<int>("replyDelay");
    for (int delay : {0, 100, 300, 800})
      QTest::newRow(qPrintable(QString("%1 ms").arg(delay))) << delay;
  }
  // Read all fills the settings that the device settings page shows at its next visit. A visit
  // while the current measurements are polled draws the page when the poll under way ends, after
  // the page change has cleared the modified flag: that drawing is no edit, and leaving the page
  // asks nothing and writes nothing.
  void VisitingTheDeviceSettingsPageWhilePolling() {
    QFETCH(int, replyDelay);
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    instrument.SetHoldingRegister(PasswordRegister, 1234);
    TMainForm& form = Start();
    TPageViews& pages = form.Pages();
    Button(form, "ToolButton8")->click();
    Button(form, "ToolButton11")->click();
    QCOMPARE(int(form.Mip().JobCode), 127);
    QTRY_COMPARE_WITH_TIMEOUT(int(form.Mip().JobCode), 0, Patience);
    QCOMPARE(form.Mip().Config.Password.Get(), uint16_t(1234));
    line_->SetPace(9600);
    line_->SetReplyDelay(replyDelay);
    fixture_->Dialogs().Answers = {true};

    QTRY_VERIFY_WITH_TIMEOUT(form.Mip().Busy != 0, Patience);
    ClickPage(form, 14);
    QTRY_COMPARE_WITH_TIMEOUT(pages.CSpinEdit2->value(), 1234, Patience);
    ClickPage(form, 2);

    QCOMPARE(Shown(fixture_->Dialogs(), "Ask"), QStringList{});
    // A paced line on a busy machine may lose a reply now and then; a failed poll only puts the
    // drawing off to the next one, and is not what this test is about.
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().Busy == 0 && Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
    QCOMPARE(Reported(form, "Идет запись данных."), 0);
  }

  // A page shown while a job runs waits for the job's end, and is drawn only when the job has
  // succeeded: read all stops at the cold-junction sources with the current values already read,
  // and the current measurements page keeps what it showed until its own poll succeeds.
  void APageWaitingForAFailedJobIsNotDrawn() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    instrument.SetLiveValue(1, 12.34567f);
    k7104sim::Fault fault{k7104sim::FaultKind::NoReply};
    fault.function = 3;
    fault.firstRegister = ColdJunctionRegister;
    fault.times = 1;
    line_->AddFault(fault);
    TMainForm& form = Start(300);
    TStringGrid* grid = form.Pages().StringGrid(1);
    QCOMPARE(grid->Cells(1, 2), QString("0,000"));
    ClickPage(form, 2);
    Button(form, "ToolButton8")->click();
    QString shownAtTheError;
    fixture_->Dialogs().WhileErrorShown = [&] { shownAtTheError = grid->Cells(1, 2); };

    Button(form, "ToolButton11")->click();
    QCOMPARE(int(form.Mip().JobCode), 127);
    ClickPage(form, 0);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error").size(), 1, Patience);

    QCOMPARE(form.Mip().CurrentValue[1], 12.34567f);
    QCOMPARE(shownAtTheError, QString("0,000"));
    QTRY_COMPARE_WITH_TIMEOUT(grid->Cells(1, 2), QString("12,346"), Patience);
  }

  // The archive read writes the archive list on the job thread: other pages are shown at once
  // (the sensor types as not read since connecting); the archive page shows the records as they
  // arrive, with records done of those asked on the gauge and the rate on the status line, and
  // keeps what was read when the read is cut off.
  void ArchivePageShowsTheRecordsWhileTheyAreRead() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    line_->SetReplyDelay(20);
    TMainForm& form = Start(3000);
    TArchiveGrid* grid = form.Pages().ArchiveGrid();
    ClickPage(form, 15);
    Button(form, "ToolButton8")->click();
    AnswerRangeDialog(1, 400);
    Button(form, "ToolButton10")->click();
    QCOMPARE(int(form.Mip().JobCode), 34);
    QTRY_VERIFY_WITH_TIMEOUT(instrument.RequestCount() >= 20, Patience);

    ClickPage(form, 2);
    QVERIFY(form.Mip().Busy);
    QVERIFY(form.Pages().StringGrid(3)->CellNotRead(1, 3));
    ClickPage(form, 15);
    QVERIFY(form.Mip().Busy);
    QTRY_VERIFY_WITH_TIMEOUT(grid->RowCount() > 3, Patience);
    QVERIFY(form.Mip().Busy);
    QCOMPARE(grid->Cells(0, 1), QString("1"));
    QCOMPARE(grid->Cells(0, 2), QString("2"));
    QCOMPARE(Control<QProgressBar>(form, "CGauge")->maximum(), 400);
    QVERIFY(Control<QProgressBar>(form, "CGauge")->value() >= 2);
    QVERIFY(Control<QLabel>(form, "ForMessage")->text().contains("из 400"));
    QVERIFY(Control<QLabel>(form, "ForMessage")->text().contains("зап./с"));

    Button(form, "ToolButton8")->click();
    QTRY_COMPARE_WITH_TIMEOUT(
        Reported(form, QString(ResultMessage(RESULT_ABORTED)) + " При чтении архив измерений!!!"),
        1, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().Busy == 0 && Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    QVERIFY(form.Mip().ArchiveCount() >= 18);
    QCOMPARE(grid->RowCount(), int(form.Mip().ArchiveCount()) + 1);
    QCOMPARE(grid->Cells(0, 1), QString::number(form.Mip().ArchiveRecord(0).Number));
    ClickPage(form, 2);
    ClickPage(form, 15);
    QCOMPARE(grid->RowCount(), int(form.Mip().ArchiveCount()) + 1);
    QCOMPARE(grid->Cells(0, 1), QString::number(form.Mip().ArchiveRecord(0).Number));
  }

 private:
  // The window, shown, on COM1 mapped to the simulated line.
  TMainForm& Start(int waitTime = 1300) {
    if (!line_->Running()) line_->Start();
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_, waitTime), true);
    fixture_->Form().show();
    fixture_->Form().activateWindow();
    if (!QTest::qWaitForWindowActive(&fixture_->Form()))
      qWarning("the window did not become active");
    return fixture_->Form();
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestPageChange)
#include "PageChangeTest.moc"
