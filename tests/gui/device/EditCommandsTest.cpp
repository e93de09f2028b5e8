// What the pages' edits start on a simulated instrument: the relay test written at once, the
// clock set from the computer, and a number still being typed when the write command is given.
#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "views/ArchiveGrid.h"
#include "views/AskListBox.h"
#include "views/PageViews.h"
#include "views/PopupList.h"
#include "views/StringGrid.h"

using namespace Steps;

namespace {

constexpr uint16_t RelayTestCoil = 128;
constexpr uint16_t ClockRegister = 11;
constexpr uint16_t MinimumsRegister = 896;

void ClickCell(TStringGrid* grid, int col, int row) {
  grid->scrollToItem(grid->item(row - grid->FixedRows(), col - 1));
  const QRect cell = grid->CellRect(col, row);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid->viewport()->mapFrom(grid, cell.center()));
}

}  // namespace

class TestEditCommands : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    instrument_ = &line_->AddInstrument({1, 6, 8, 4});
  }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  // Switched on in the window, switched on in the instrument: even while the page is polled.
  void RelayTestIsWrittenAtOnce() {
    TMainForm& form = Start();
    ClickPage(form, 12, 6);
    Button(form, "ToolButton8")->click();
    auto* list = form.findChild<TglAskListBox*>("glAskListBox6");
    list->Button(3, 1)->click();
    QCOMPARE(form.Mip().Config.RelayTestOn[2], uint8_t(1));
    QTRY_VERIFY2_WITH_TIMEOUT(instrument_->Coil(RelayTestCoil + 2),
                              qPrintable(form.EventLog().join("\n")), Patience);
    list->Button(3, 2)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!instrument_->Coil(RelayTestCoil + 2), Patience);
    QVERIFY(!form.Pages().Modified);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  // The arrow keys move through the relay test without switching anything; Space and Enter press
  // the button they chose, as a click does.
  void RelayTestKeysOnlyMove() {
    TMainForm& form = Start();
    ClickPage(form, 12, 6);
    Button(form, "ToolButton8")->click();
    TglAskListBox* list = form.Pages().glAskListBox6;
    list->setFocus();
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Left,
                              Qt::Key_Right, Qt::Key_Left})
      QTest::keyClick(list, key);
    QCOMPARE(list->ItemIndex(), 3);
    QCOMPARE(list->KeyButton(), 1);
    QCOMPARE(list->State(3), TglAskListBox::None);
    QCOMPARE(form.Mip().Config.RelayTestOn[2], uint8_t(0));
    QCOMPARE(Reported(form, "Идет запись данных."), 0);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(list->State(3), TglAskListBox::Button1);
    QTRY_VERIFY_WITH_TIMEOUT(instrument_->Coil(RelayTestCoil + 2), Patience);
    QTest::keyClick(list, Qt::Key_Right);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(list->State(3), TglAskListBox::Button2);
    QTRY_VERIFY_WITH_TIMEOUT(!instrument_->Coil(RelayTestCoil + 2), Patience);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  // The device settings page polls the state; the clock button still gets the engine, and the
  // clock it sends is the computer's, not what a read in between brought back.
  void ClockFromTheComputerReachesTheInstrument() {
    instrument_->SetClock(36526.5);  // 1 January 2000, noon
    TMainForm& form = Start();
    ClickPage(form, 14);
    Button(form, "ToolButton8")->click();
    form.findChild<QPushButton*>("Button2")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    const QDate today = QDate::currentDate();
    QCOMPARE(instrument_->HoldingRegister(ClockRegister) & 0xFF, (today.year() - 2000) & 0xFF);
    QCOMPARE(instrument_->HoldingRegister(ClockRegister) >> 8, today.month());
  }

  // An instrument of 8 channels and 4 relays: the rows and lines beyond its counts still show the
  // data image, greyed, and clicks and keys on them change nothing; the relay test sends nothing.
  void RowsBeyondTheInstrumentsCountsAreDisabled() {
    TMainForm& form = Start();
    TPageViews& pages = form.Pages();
    ClickPage(form, 12, 6);
    Button(form, "ToolButton8")->click();
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 2, Patience);
    TglAskListBox* relays = pages.glAskListBox6;
    QVERIFY(relays->LineEnabled(4));
    QVERIFY(!relays->LineEnabled(5));
    QVERIFY(!relays->LineEnabled(32));
    QCOMPARE(relays->State(5), TglAskListBox::Button2);
    QTest::mouseClick(relays->Button(5, 1), Qt::LeftButton);
    QCOMPARE(relays->State(5), TglAskListBox::Button2);
    QCOMPARE(form.Mip().Config.RelayTestOn[4], uint8_t(0));
    QTest::mouseClick(relays->Button(4, 1), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(instrument_->Coil(RelayTestCoil + 3), Patience);
    // The line may carry the write before the window has shown its start.
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, "Идет запись данных."), 1, Patience);
    QVERIFY(!instrument_->Coil(RelayTestCoil + 4));

    // Leaving the live page while its poll runs draws the new page at the poll's end.
    ClickPage(form, 2);
    TStringGrid* sensors = pages.StringGrid(3);
    auto rowsBeyondShown = [sensors] {
      for (int row = 9; row <= 32; ++row)
        if (sensors->Cells(1, row).isEmpty()) return false;
      return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rowsBeyondShown(), Patience);
    QVERIFY(sensors->RowEnabled(8));
    QVERIFY(!sensors->RowEnabled(9));
    ClickCell(sensors, 1, 9);
    QVERIFY(!pages.MenuTypeSensor->isVisible());
    ClickCell(sensors, 1, 8);
    QTRY_VERIFY(pages.MenuTypeSensor->isVisible());
    pages.MenuTypeSensor->close();

    ClickPage(form, 10, 0);
    TStringGrid* setpoints = pages.StringGrid(8);
    QTRY_VERIFY_WITH_TIMEOUT(!setpoints->RowEnabled(9), Patience);
    setpoints->scrollToItem(setpoints->item(8, 0));
    QTest::mouseDClick(
        setpoints->viewport(), Qt::LeftButton, Qt::NoModifier,
        setpoints->viewport()->mapFrom(setpoints, setpoints->CellRect(1, 9).center()));
    QVERIFY(!qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QVERIFY(setpoints->currentRow() != 9);
    QVERIFY(!pages.Modified);
    QVERIFY(!pages.StringGrid(18)->RowEnabled(10));
    QVERIFY(pages.StringGrid(18)->RowEnabled(9));
    QVERIFY(!pages.glAskListBox1->LineEnabled(9));
    QVERIFY(!pages.glAskListBox5->LineEnabled(5));
    // Choice lists offer only the instrument's relays and channels.
    QVERIFY(pages.MenuRelay->ItemEnabled(4));
    QVERIFY(!pages.MenuRelay->ItemEnabled(5));
    QSignalSpy chosen(pages.MenuRelay, &TPopupList::ItemChosen);
    pages.MenuRelay->ChooseItem(5);
    QCOMPARE(chosen.count(), 0);
    QVERIFY(pages.KXCMenu->ItemEnabled(8));
    QVERIFY(!pages.KXCMenu->ItemEnabled(9));
    const auto comboItemEnabled = [](QComboBox* combo, int index) {
      return bool(combo->model()->flags(combo->model()->index(index, 0)) & Qt::ItemIsEnabled);
    };
    QVERIFY(comboItemEnabled(pages.ComboBox1, 4));
    QVERIFY(!comboItemEnabled(pages.ComboBox6, 5));
    TArchiveModel* archive = form.findChild<TArchiveGrid*>()->Model();
    QCOMPARE(archive->flags(archive->index(0, 9)), Qt::NoItemFlags);
    QVERIFY(archive->flags(archive->index(0, 8)) & Qt::ItemIsSelectable);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void WriteCurrentTakesOverTheNumberBeingTyped() {
    TMainForm& form = Start();
    ClickPage(form, 9, 0);
    Button(form, "ToolButton8")->click();
    auto* grid = form.findChild<TStringGrid*>("StringGrid6");
    ClickCell(grid, 1, 1);
    for (const QChar ch : QString("7,25"))
      QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
    Button(form, "ToolButton12")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    QCOMPARE(instrument_->HoldingFloat(MinimumsRegister), 7.25f);
  }

 private:
  TMainForm& Start() {
    if (!line_->Running()) line_->Start();
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    fixture_->Form().show();
    fixture_->Form().activateWindow();
    if (!QTest::qWaitForWindowActive(&fixture_->Form()))
      qWarning("the window did not become active");
    return fixture_->Form();
  }

  std::unique_ptr<k7104sim::Line> line_;
  k7104sim::Instrument* instrument_ = nullptr;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestEditCommands)
#include "EditCommandsTest.moc"
