// The device commands end to end against simulated instruments on a real pseudo-terminal:
// connecting, searching, choosing the instrument, reading and writing, the polling of live
// pages, and the window's end while a job runs, while a command waits and while an error box is
// open.
#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "modbus/Modbusunit.h"
#include "shell/device/ArchQwery.h"
#include "shell/window/JobBridge.h"
#include "shell/window/StatusBar.h"
#include "views/PageViews.h"

using namespace Steps;

namespace {

constexpr uint16_t CurrentValuesRegister = 768;
constexpr uint16_t SensorTypesRegister = 128;

// Ends the test program with a name when a step that must end does not, instead of a test that
// never returns.
class TWatchdog {
 public:
  explicit TWatchdog(const char* what) : thread_([this, what] { Watch(what); }) {}
  ~TWatchdog() {
    {
      const std::lock_guard lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }

 private:
  void Watch(const char* what) {
    std::unique_lock lock(mutex_);
    if (!ended_.wait_for(lock, std::chrono::minutes(2), [this] { return done_; }))
      qFatal("Did not end: %s", what);
  }

  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

// Waits on the test's own thread, without running the window's events; false when the time is up.
bool WaitWithoutEvents(const std::function<bool()>& done) {
  for (int i = 0; i < Patience / 10; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

QStringList Tabs(const QTabBar* tabs) {
  QStringList texts;
  for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
  return texts;
}

void ShowPage(TPageViews& pages, int page, int subPage = 0) {
  pages.ShowPage(page, subPage);
  pages.Render();
}

bool AskedForRegister(const k7104sim::Line& line, uint8_t function, uint16_t reg) {
  for (const std::vector<uint8_t>& frame : line.ReceivedFrames())
    if (frame.size() >= 4 && frame[1] == function && ((frame[2] << 8) | frame[3]) == reg)
      return true;
  return false;
}

k7104sim::Fault NoReplyTo(uint16_t reg) {
  k7104sim::Fault fault{k7104sim::FaultKind::NoReply};
  fault.function = 3;
  fault.firstRegister = reg;
  return fault;
}

// Answers the next range dialog with the two values, or cancels it; keeps what it was offered.
struct TRangeAnswer {
  QString Caption;
  int Maximum1 = 0, Maximum2 = 0, Minimum1 = 0, Value1 = 0, Value2 = 0;

  void Give(int first, int last, bool ok = true) {
    WhenModalShown<TArchQwery>([this, first, last, ok](TArchQwery* dialog) {
      Caption = dialog->windowTitle();
      Maximum1 = dialog->CSpinEdit1->maximum();
      Maximum2 = dialog->CSpinEdit2->maximum();
      Minimum1 = dialog->CSpinEdit1->minimum();
      Value1 = dialog->CSpinEdit1->value();
      Value2 = dialog->CSpinEdit2->value();
      dialog->CSpinEdit1->setValue(first);
      dialog->CSpinEdit2->setValue(last);
      (ok ? dialog->OKBtn : dialog->CancelBtn)->click();
    });
  }
};

}  // namespace

class TestDeviceCommands : public QObject {
  Q_OBJECT

 private slots:
  // Closing a window that was never shown must not end the test program's event loops.
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() { line_ = std::make_unique<k7104sim::Line>(Reachable()); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  void ConnectingOnCurrentMeasurementsPollsOverAndOver() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    instrument.SetLiveValue(1, 12.34567f);
    TMainForm& form = Start();
    Button(form, "ToolButton8")->click();

    QVERIFY(form.Mip().Bus.IsOpen());
    QVERIFY(Button(form, "ToolButton8")->isChecked());
    QCOMPARE(Button(form, "ToolButton8")->toolTip(), QString("Разорвать связь"));
    QVERIFY(Item(form, "N12")->isChecked());
    QCOMPARE(Item(form, "N12")->text(), QString("Разорвать связь"));
    QCOMPARE(Control<TStatusBar>(form, "StatusBar")->PanelText(2), QString("OnLine"));
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 3, Patience);
    QVERIFY(Reported(form, "Идет считывание данных.") >= 3);
    // The polls fold into two lines that count them.
    const QStringList& log = form.EventLog();
    QCOMPARE(log.size(), 4);
    QVERIFY(log[2].endsWith("] " + PortOpened(*line_)));
    QVERIFY(log[1].contains("] Идет считывание данных. (×"));
    QVERIFY(log[0].contains("] " + ReadOf8And4 + " (×"));
    TStringGrid* grid = form.Pages().StringGrid(1);
    QCOMPARE(grid->Cells(1, 2), QString("12,346"));
    instrument.SetLiveValue(1, 1.5f);
    QTRY_COMPARE_WITH_TIMEOUT(grid->Cells(1, 2), QString("1,500"), Patience);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());

    Button(form, "ToolButton8")->click();
    QVERIFY(!form.Mip().Bus.IsOpen());
    QVERIFY(!Button(form, "ToolButton8")->isChecked());
    QCOMPARE(Button(form, "ToolButton8")->toolTip(), QString("Соединиться"));
    QVERIFY(!Item(form, "N12")->isChecked());
    QCOMPARE(Item(form, "N12")->text(), QString("Соединиться"));
    QCOMPARE(Control<TStatusBar>(form, "StatusBar")->PanelText(2), QString("OffLine"));
    QCOMPARE(Reported(form, "Порт закрыт."), 1);
    QVERIFY(NoMoreJobs(form));
    // A disconnect that stops a poll is the user's wish, no error.
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void PortThatDoesNotExistStaysClosed() {
    fixture_ =
        std::make_unique<TFormFixture>("[PortDevices]\nCom1=/dev/k7104-no-such-port\n", true);
    TMainForm& form = fixture_->Form();
    Button(form, "ToolButton8")->click();
    QVERIFY(!form.Mip().Bus.IsOpen());
    QVERIFY(!Button(form, "ToolButton8")->isChecked());
    QVERIFY(!Item(form, "N12")->isChecked());
    QCOMPARE(Control<TStatusBar>(form, "StatusBar")->PanelText(2), QString("OffLine"));
    QCOMPARE(Reported(form, "Порт закрыт. Порт /dev/k7104-no-such-port не существует."), 1);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
    QCOMPARE(int(form.Mip().Busy), 0);
  }

  void SearchFindsTwoInstrumentsAndSelectsTheFirst() {
    line_->AddInstrument({3, 1, 32, 32});
    line_->AddInstrument({17, 6, 8, 8});
    TMainForm& form = Start();
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(20, 1);
    Button(form, "ToolButton9")->click();

    QCOMPARE(range.Caption, QString("Поиск прибора"));
    QCOMPARE(range.Maximum1, 255);
    QCOMPARE(range.Maximum2, 255);
    QCOMPARE(range.Minimum1, 1);
    QCOMPARE(range.Value1, 1);
    QCOMPARE(range.Value2, 255);
    QCOMPARE(int(form.Mip().JobCode), 126);
    QCOMPARE(int(form.Mip().RangeFirst), 1);
    QCOMPARE(int(form.Mip().RangeLast), 20);
    QCOMPARE(int(form.State().AddressMin), 1);
    QCOMPARE(int(form.State().AddressMax), 20);
    QVERIFY(!Button(form, "ToolButton9")->isEnabled());
    QVERIFY(!Button(form, "ToolButton18")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == 1, Patience);

    QCOMPARE(Reported(form, "Идет поиск приборов."), 1);
    QCOMPARE(Tabs(Control<QTabBar>(form, "TabSet1")),
             QStringList({"К7104Т1 Адрес 3", "К7104Е025 Адрес 17"}));
    QCOMPARE(Control<QTabBar>(form, "TabSet1")->currentIndex(), 0);
    QVERIFY(Control<QTabBar>(form, "TabSet1")->isEnabled());
    QVERIFY(!form.State().ManualAddressMode);
    QVERIFY(!Button(form, "ToolButton18")->isChecked());
    QVERIFY(!Item(form, "N27")->isChecked());
    QVERIFY(!Control<QSpinBox>(form, "CSpinEditAddress")->isVisible());
    QVERIFY(Button(form, "ToolButton9")->isEnabled());
    QVERIFY(Button(form, "ToolButton18")->isEnabled());
    QVERIFY(Control<QProgressBar>(form, "CGauge")->isHidden());
    QCOMPARE(int(Devices(form).Addresses().CurrentAddress()), 3);

    // Choosing a tab starts nothing; the next job goes to that instrument.
    Control<QTabBar>(form, "TabSet1")->setCurrentIndex(1);
    QCOMPARE(int(Devices(form).Addresses().CurrentAddress()), 17);
    QCOMPARE(int(form.Mip().Busy), 0);
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Данные с 8-ти каналов(8-ти реле) считаны.") == 1,
                             Patience);
    QCOMPARE(int(form.Mip().Address), 17);

    // With the port closed the search fails and the tabs stay as they were.
    Button(form, "ToolButton8")->click();
    range.Give(1, 20);
    Button(form, "ToolButton9")->click();
    const QString failure = PortNotOpen + " При чтении ";
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error"), QStringList{failure}, Patience);
    QCOMPARE(fixture_->Dialogs().Asked.last().Caption, QString("Ошибка"));
    QCOMPARE(ReportedError(form, failure), 1);
    QCOMPARE(Tabs(Control<QTabBar>(form, "TabSet1")),
             QStringList({"К7104Т1 Адрес 3", "К7104Е025 Адрес 17"}));
    QVERIFY(!form.State().ManualAddressMode);
    QTRY_VERIFY_WITH_TIMEOUT(Button(form, "ToolButton9")->isEnabled(), Patience);
    QVERIFY(Button(form, "ToolButton18")->isEnabled());
  }

  void SearchFindingNoneKeepsManualAddressMode() {
    line_->AddInstrument({30, 1, 8, 4});
    TMainForm& form = Start();
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(1, 3);
    TriggerItem(form, "N21");
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == 1, Patience);
    QCOMPARE(Control<QTabBar>(form, "TabSet1")->count(), 0);
    QVERIFY(!Control<QTabBar>(form, "TabSet1")->isEnabled());
    QVERIFY(form.State().ManualAddressMode);
    QVERIFY(Button(form, "ToolButton18")->isChecked());
    QVERIFY(Item(form, "N27")->isChecked());
    QVERIFY(Control<QSpinBox>(form, "CSpinEditAddress")->isVisible());
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

  void CancelledRangeDialogStartsNothing() {
    TMainForm& form = Start();
    TRangeAnswer range;
    range.Give(5, 6, false);
    Button(form, "ToolButton9")->click();
    QCOMPARE(range.Caption, QString("Поиск прибора"));
    QCOMPARE(int(form.Mip().JobCode), 0);
    QCOMPARE(int(form.State().AddressMin), 1);
    QCOMPARE(int(form.State().AddressMax), 255);
    QVERIFY(Button(form, "ToolButton9")->isEnabled());
    QVERIFY(Button(form, "ToolButton18")->isEnabled());

    ShowPage(form.Pages(), 15);
    range.Give(5, 6, false);
    Button(form, "ToolButton10")->click();
    QCOMPARE(range.Caption, QString("Считывание архива"));
    QCOMPARE(int(form.Mip().JobCode), 0);
    QCOMPARE(int(form.State().MinArch), 1);
    QCOMPARE(int(form.State().MaxArch), 100);
    QTest::qWait(100);
    QCOMPARE(Reported(form, "Идет считывание данных."), 0);
  }

  void ReadCurrentOnTheArchivePageAsksForTheRange() {
    line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start();
    ShowPage(form.Pages(), 15);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(50, 10);
    TriggerItem(form, "N14");
    QCOMPARE(range.Caption, QString("Считывание архива"));
    QCOMPARE(range.Maximum1, 65535);
    QCOMPARE(range.Maximum2, 65535);
    QCOMPARE(range.Value1, 1);
    QCOMPARE(range.Value2, 100);
    QCOMPARE(int(form.Mip().JobCode), 34);
    QCOMPARE(int(form.Mip().RangeFirst), 10);
    QCOMPARE(int(form.Mip().RangeLast), 50);
    QCOMPARE(int(form.State().MinArch), 10);
    QCOMPARE(int(form.State().MaxArch), 50);
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) == 1, Patience);
    QCOMPARE(form.Pages().ArchiveGrid()->RowCount(), 42);
  }

  void WriteCurrent_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("subPage");
    QTest::addColumn<int>("job");  // 0: refused
    QTest::addColumn<QString>("group");
    QTest::newRow("current measurements") << 0 << 0 << 0 << QString();
    QTest::newRow("last cycle") << 1 << 0 << 0 << QString();
    QTest::newRow("archive") << 15 << 0 << 0 << QString();
    QTest::newRow("sensor types") << 2 << 0 << 130 << "типы датчиков";
    QTest::newRow("maximums") << 9 << 1 << 138 << "максимумов";
    QTest::newRow("hystereses") << 11 << 0 << 143 << "гистерезисов";
    QTest::newRow("relay test") << 12 << 6 << 150 << "тест реле";
    QTest::newRow("fourth relay logic") << 13 << 3 << 154 << "логика реле четвертых уставок";
    QTest::newRow("device settings") << 14 << 0 << 158 << "дополнительное";
  }
  // With the port closed a page that may be written starts its write, which fails at once.
  void WriteCurrent() {
    QFETCH(int, page);
    QFETCH(int, subPage);
    QFETCH(int, job);
    QFETCH(QString, group);
    TMainForm& form = Start();
    ShowPage(form.Pages(), page, subPage);
    Button(form, "ToolButton12")->click();
    if (job == 0) {
      QCOMPARE(fixture_->Dialogs().Asked.size(), 1);
      QCOMPARE(fixture_->Dialogs().Asked[0].Kind, QString("Message"));
      QCOMPARE(fixture_->Dialogs().Asked[0].Text, QString("Текущее значения нельзя записывать!!!"));
      QCOMPARE(int(form.Mip().JobCode), 0);
      QCOMPARE(int(form.Mip().Busy), 0);
      return;
    }
    QCOMPARE(int(form.Mip().JobCode), job);
    const QString failure = PortNotOpen + " При записи " + group + "!!!";
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error"), QStringList{failure}, Patience);
    QCOMPARE(Reported(form, "Идет запись данных."), 1);
  }

  void WriteCurrentOnTheDeviceSettingsPage() {
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start();
    TPageViews& pages = form.Pages();
    ShowPage(pages, 14);
    Button(form, "ToolButton8")->click();
    // The page is polled for the instrument's state.
    QTRY_COMPARE_WITH_TIMEOUT(pages.Label(7)->text(), QString("Измерения"), Patience);
    QCOMPARE(pages.Label(9)->text(), QString::number(instrument.HoldingRegister(10)));
    instrument.SetHoldingRegister(97, 137);
    QTRY_COMPARE_WITH_TIMEOUT(pages.Label(7)->text(), QString("Оператор"), Patience);

    Button(form, "ToolButton10")->click();
    QCOMPARE(int(form.Mip().JobCode), 30);
    QTRY_VERIFY_WITH_TIMEOUT(pages.Label(22)->text() == "VOSTRELIN!", Patience);
    pages.Modified = true;
    Button(form, "ToolButton12")->click();
    QCOMPARE(int(form.Mip().JobCode), 158);
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, WrittenOf8And4) == 1, Patience);
    QVERIFY(!pages.Modified);
    QCOMPARE(Reported(form, "Идет запись данных."), 1);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void WriteAll() {
    TMainForm& form = Start();
    fixture_->Dialogs().Answers = {false, true};
    TriggerItem(form, "N17");
    QCOMPARE(fixture_->Dialogs().Asked.size(), 1);
    QCOMPARE(fixture_->Dialogs().Asked[0].Kind, QString("Ask"));
    QCOMPARE(fixture_->Dialogs().Asked[0].Caption, QString("Запись всей конфигурации в прибор"));
    QCOMPARE(fixture_->Dialogs().Asked[0].Text,
             QString("Вы уверены, что вы хотите записать всю конфигурацию в прибор?"));
    QCOMPARE(int(form.Mip().JobCode), 0);
    QCOMPARE(int(form.Mip().Busy), 0);

    TriggerItem(form, "N17");
    QCOMPARE(int(form.Mip().JobCode), 255);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error"),
                              QStringList{PortNotOpen + " При записи "}, Patience);
  }

  // New has set every value to zero on purpose; writing all of it says so before it asks.
  void WriteAllAfterNewSaysSo() {
    TMainForm& form = Start();
    Button(form, "ToolButton1")->click();
    TriggerItem(form, "N17");
    const QStringList asked = Shown(fixture_->Dialogs(), "Ask");
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked[0].contains("«Новый»"), qPrintable(asked[0]));
    QVERIFY(asked[0].endsWith("Вы уверены, что вы хотите записать всю конфигурацию в прибор?"));
    QCOMPARE(int(form.Mip().Busy), 0);
  }

  void ManualAddressModeOffBeforeAnySearchAsks() {
    TMainForm& form = Start();
    auto expectManual = [&form] {
      QVERIFY(form.State().ManualAddressMode);
      QVERIFY(Button(form, "ToolButton18")->isChecked());
      QVERIFY(Item(form, "N27")->isChecked());
      QVERIFY(Control<QSpinBox>(form, "CSpinEditAddress")->isVisible());
      QVERIFY(!Control<QTabBar>(form, "TabSet1")->isEnabled());
    };
    Button(form, "ToolButton18")->click();
    QCOMPARE(fixture_->Dialogs().Asked.size(), 1);
    QCOMPARE(fixture_->Dialogs().Asked[0].Kind, QString("Ask"));
    QCOMPARE(fixture_->Dialogs().Asked[0].Caption, QString("Поиск приборов"));
    QCOMPARE(fixture_->Dialogs().Asked[0].Text, QString("Провести поиск приборов?"));
    expectManual();
    TriggerItem(form, "N27");
    QCOMPARE(fixture_->Dialogs().Asked.size(), 2);
    expectManual();

    // Yes runs the search command, whose range dialog comes up.
    fixture_->Dialogs().Answers = {true};
    TRangeAnswer range;
    range.Give(1, 1, false);
    Button(form, "ToolButton18")->click();
    QCOMPARE(range.Caption, QString("Поиск прибора"));
    expectManual();
    QCOMPARE(int(form.Mip().JobCode), 0);
  }

  void ManualAddressModeTogglesAfterASearch() {
    line_->AddInstrument({2, 1, 8, 4});
    TMainForm& form = Start();
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(1, 3);
    Button(form, "ToolButton9")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == 1, Patience);
    QVERIFY(!form.State().ManualAddressMode);
    Control<QSpinBox>(form, "CSpinEditAddress")->setValue(5);

    Button(form, "ToolButton18")->click();
    QVERIFY(form.State().ManualAddressMode);
    QVERIFY(Control<QSpinBox>(form, "CSpinEditAddress")->isVisible());
    QVERIFY(!Control<QTabBar>(form, "TabSet1")->isEnabled());
    QCOMPARE(int(Devices(form).Addresses().CurrentAddress()), 5);
    TriggerItem(form, "N27");
    QVERIFY(!form.State().ManualAddressMode);
    QVERIFY(!Control<QSpinBox>(form, "CSpinEditAddress")->isVisible());
    QVERIFY(Control<QTabBar>(form, "TabSet1")->isEnabled());
    QVERIFY(!Item(form, "N27")->isChecked());
    QCOMPARE(int(Devices(form).Addresses().CurrentAddress()), 2);
    QVERIFY(Shown(fixture_->Dialogs(), "Ask").isEmpty());
  }

  void SensorTypeReadThatTimesOut() {
    line_->AddInstrument({1, 6, 8, 4});
    line_->AddFault(NoReplyTo(SensorTypesRegister));
    TMainForm& form = Start(200);
    TPageViews& pages = form.Pages();
    ShowPage(pages, 2);
    Button(form, "ToolButton8")->click();
    const QString before = pages.StringGrid(3)->Cells(1, 1);
    form.Mip().Config.TypeSensor[0] = 37;  // shown only if the failed read rendered the page
    Button(form, "ToolButton10")->click();
    const QString failure = "Вышло время ожидания!!! При чтении типы датчиков!!!";
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error"), QStringList{failure}, Patience);
    QCOMPARE(fixture_->Dialogs().Asked.last().Caption, QString("Ошибка"));
    QCOMPARE(ReportedError(form, failure), 1);
    QVERIFY(Control<QLabel>(form, "ForMessage")->text().endsWith("] Ошибка: " + failure));
    QCOMPARE(pages.StringGrid(3)->Cells(1, 1), before);
    QTRY_VERIFY_WITH_TIMEOUT(Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
  }

  void AddressChangeInManualAddressMode() {
    line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start(300);
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton8")->click();
    ChangeAddressTo(form, 9);
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->value(), 9);
    QCOMPARE(int(form.Mip().Address), 9);
    QVERIFY(form.State().ManualAddressMode);
    QCOMPARE(Control<QTabBar>(form, "TabSet1")->count(), 0);
    QVERIFY(line_->Find(9) != nullptr);

    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) == 1, Patience);
  }

  void AddressChangeWithFoundInstruments() {
    line_->AddInstrument({1, 6, 8, 4});
    line_->AddInstrument({17, 1, 8, 4});
    TMainForm& form = Start(300);
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(1, 20);
    Button(form, "ToolButton9")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == 1, Patience);
    ChangeAddressTo(form, 9);
    QCOMPARE(Tabs(Control<QTabBar>(form, "TabSet1")),
             QStringList({"К7104Е025 Адрес 9", "К7104Т1 Адрес 17"}));
    QCOMPARE(Control<QTabBar>(form, "TabSet1")->currentIndex(), 0);
    QVERIFY(!form.State().ManualAddressMode);
    QCOMPARE(int(Devices(form).Addresses().CurrentAddress()), 9);
  }

  void DisconnectingWhileAPolledReadWaits() {
    line_->AddInstrument({1, 6, 8, 4});
    line_->AddFault(NoReplyTo(CurrentValuesRegister));
    TMainForm& form = Start(30000);
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(AskedForRegister(*line_, 3, CurrentValuesRegister), Patience);
    Button(form, "ToolButton8")->click();
    // The user asked for it: the sentence goes to the status line and the log, without a box.
    const QString stopped =
        QString(ResultMessage(RESULT_ABORTED)) + " При чтении текущих измерений!!!";
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, stopped), 1, Patience);
    QVERIFY(Control<QLabel>(form, "ForMessage")->text().endsWith("] " + stopped));
    QCOMPARE(ReportedError(form, stopped), 0);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    QVERIFY(NoMoreJobs(form));
    QCOMPARE(Reported(form, "Идет считывание данных."), 1);
  }

  // The Stop button and Escape stop a long job; what it had done stays, no error box.
  void StoppingALongJob_data() {
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Stop button") << false;
    QTest::newRow("Escape") << true;
  }
  void StoppingALongJob() {
    QFETCH(bool, byEscape);
    line_->AddInstrument({1, 6, 8, 4});
    line_->SetReplyDelay(20);
    TMainForm& form = Start();
    ShowPage(form.Pages(), 15);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(1, 500);
    Button(form, "ToolButton10")->click();
    QCOMPARE(int(form.Mip().JobCode), 34);
    QTRY_VERIFY_WITH_TIMEOUT(Control<QPushButton>(form, "StopButton")->isVisible() &&
                                 Control<QProgressBar>(form, "CGauge")->value() > 0,
                             Patience);
    QVERIFY(Control<QPushButton>(form, "StopButton")->geometry().right() <=
            Control<QProgressBar>(form, "CGauge")->geometry().left());
    if (byEscape)
      QTest::keyClick(form.Pages().PageControl(), Qt::Key_Escape);
    else
      QTest::mouseClick(Control<QPushButton>(form, "StopButton"), Qt::LeftButton);
    const QString stopped =
        QString(ResultMessage(RESULT_ABORTED)) + " При чтении архив измерений!!!";
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, stopped), 1, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().Busy == 0 && Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
    QVERIFY(Control<QPushButton>(form, "StopButton")->isHidden());
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    QVERIFY(form.Mip().Bus.IsOpen());
    QVERIFY(form.Mip().ArchiveCount() < 500);

    // A search stops the same way; the next job runs as usual.
    range.Give(1, 255);
    Button(form, "ToolButton9")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Control<QPushButton>(form, "StopButton")->isVisible(), Patience);
    QTest::mouseClick(Control<QPushButton>(form, "StopButton"), Qt::LeftButton);
    const QString searchStopped =
        QString(ResultMessage(RESULT_ABORTED)) + " При поиске приборов!!! Найдено приборов: ";
    QTRY_COMPARE_WITH_TIMEOUT(ReportedStarting(form, searchStopped), 1, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(Button(form, "ToolButton9")->isEnabled(), Patience);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    // Escape with no long job running stops nothing.
    QTest::keyClick(form.Pages().PageControl(), Qt::Key_Escape);
    QVERIFY(Control<QPushButton>(form, "StopButton")->isHidden());
  }

  // With a poll interval the live page is read once and then again only after the pause; a page
  // change reads the new live page at once.
  void PollIntervalSpacesThePolls() {
    line_->AddInstrument({1, 6, 8, 4});
    QVERIFY(line_->Start());
    fixture_ = std::make_unique<TFormFixture>(
        LineSettings(*line_) + "[SettingsPort]\nPollInterval=60000\n", true);
    TMainForm& form = fixture_->Form();
    QCOMPARE(form.State().PollInterval, 60000);
    form.show();
    Button(form, "ToolButton8")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    QVERIFY(NoMoreJobs(form));
    QCOMPARE(Reported(form, ReadOf8And4), 1);
    ClickPage(form, 1);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 2, Patience);
    QVERIFY(NoMoreJobs(form));
    QCOMPARE(Reported(form, ReadOf8And4), 2);
  }

  void PortGoneStopsPollingAfterOneReport_data() {
    QTest::addColumn<bool>("hangUp");
    QTest::newRow("line hangs up") << true;
    QTest::newRow("line closed") << false;
  }
  // A pulled converter: the window reports once, shows the port closed and lets the user connect
  // again or leave.
  void PortGoneStopsPollingAfterOneReport() {
#ifdef _WIN32
    QSKIP(
        "a converter pulled out is a pseudo-terminal hanging up behind its link; Windows has none");
#endif
    QFETCH(bool, hangUp);
    QTemporaryDir dir;
    k7104sim::LineOptions options;
    options.linkPath = dir.filePath("line").toStdString();
    line_ = std::make_unique<k7104sim::Line>(options);
    line_->AddInstrument({1, 6, 8, 4});
    QVERIFY(line_->Start());
    fixture_ = std::make_unique<TFormFixture>(LineSettings(dir.filePath("line")), true);
    TMainForm& form = fixture_->Form();
    form.show();
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    if (hangUp) {
      k7104sim::Fault fault{k7104sim::FaultKind::HangUp};
      fault.function = 3;
      fault.firstRegister = CurrentValuesRegister;
      fault.times = 1;
      line_->AddFault(fault);
    } else {
      line_->Stop();
    }
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error").size(), 1, Patience);
    const QString error = Shown(fixture_->Dialogs(), "Error").first();
    QVERIFY2(error.startsWith(ResultMessage(RESULT_UNKNOWN)) ||
                 error.startsWith(ResultMessage(RESULT_WRITE_FAILED)),
             qPrintable(error));
    QVERIFY(!form.Mip().Bus.IsOpen());
    QCOMPARE(Control<TStatusBar>(form, "StatusBar")->PanelText(2), QString("OffLine"));
    QVERIFY(!Button(form, "ToolButton8")->isChecked());
    QVERIFY(!Item(form, "N12")->isChecked());
    QVERIFY(NoMoreJobs(form));
    QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);

    if (hangUp) {
      // The line is back (the link leads to its fresh terminal): connecting polls again.
      const int reads = Reported(form, ReadOf8And4);
      Button(form, "ToolButton8")->click();
      QVERIFY(form.Mip().Bus.IsOpen());
      QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) > reads, Patience);
      QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);
    }
    TWatchdog watchdog("leaving after the port has gone");
    Button(form, "ToolButton21")->click();
    QVERIFY(!form.isVisible());
    fixture_->Close();
  }

  // A command given while a live page is polled waits for the read under way and then gets the
  // engine: the poll's end leaves it alone.
  void CommandDuringPollingGetsTheEngine() {
    line_->AddInstrument({1, 6, 8, 4});
    line_->SetReplyDelay(20);
    TMainForm& form = Start();
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    for (int i = 0; i < 5; ++i) {
      const int readsBefore = Reported(form, ReadOf8And4);
      Button(form, "ToolButton11")->click();
      QCOMPARE(int(form.Mip().JobCode), 127);
      QVERIFY(Reported(form, ReadOf8And4) <= readsBefore + 1);
      // Polling goes on afterwards.
      QTRY_COMPARE_WITH_TIMEOUT(int(form.Mip().JobCode), 0, Patience);
    }
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  void MenuItemsAndButtons_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("N14") << "N14" << 2 << "Error" << PortNotOpen + " При чтении типы датчиков!!!";
    QTest::newRow("ToolButton10") << "ToolButton10" << 9 << "Error"
                                  << PortNotOpen + " При чтении минимумов!!!";
    QTest::newRow("N15") << "N15" << 2 << "Error" << PortNotOpen + " При чтении ";
    QTest::newRow("ToolButton11") << "ToolButton11" << 0 << "Error" << PortNotOpen + " При чтении ";
    QTest::newRow("N16") << "N16" << 0 << "Message"
                         << "Текущее значения нельзя записывать!!!";
    QTest::newRow("N17") << "N17" << 0 << "Ask"
                         << "Вы уверены, что вы хотите записать всю конфигурацию в прибор?";
    QTest::newRow("N27") << "N27" << 0 << "Ask"
                         << "Провести поиск приборов?";
  }
  void MenuItemsAndButtons() {
    QFETCH(QString, control);
    QFETCH(int, page);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    TMainForm& form = Start();
    ShowPage(form.Pages(), page);
    if (auto* button = form.findChild<QToolButton*>(control))
      button->click();
    else
      form.findChild<QAction*>(control)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!fixture_->Dialogs().Asked.isEmpty(), Patience);
    QCOMPARE(fixture_->Dialogs().Asked[0].Kind, kind);
    QCOMPARE(fixture_->Dialogs().Asked[0].Text, text);
  }

  void ConnectFromTheMenu() {
    line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = Start();
    ShowPage(form.Pages(), 2);
    TriggerItem(form, "N12");
    QVERIFY(form.Mip().Bus.IsOpen());
    QVERIFY(Button(form, "ToolButton8")->isChecked());
    QVERIFY(Item(form, "N12")->isChecked());
    TriggerItem(form, "N12");
    QVERIFY(!form.Mip().Bus.IsOpen());
    QVERIFY(!Button(form, "ToolButton8")->isChecked());
    QVERIFY(!Item(form, "N12")->isChecked());
    QCOMPARE(Reported(form, PortOpened(*line_)), 1);
    QCOMPARE(Reported(form, "Порт закрыт."), 1);
  }

  void EnterInTheAddressBoxIsSwallowed() {
    TMainForm& form = Start();
    int reached = 0;
    TKeySpy spy(reached);
    Control<QSpinBox>(form, "CSpinEditAddress")->installEventFilter(&spy);
    form.installEventFilter(&spy);
    QTest::keyClick(Control<QSpinBox>(form, "CSpinEditAddress"), Qt::Key_Return);
    QTest::keyClick(Control<QSpinBox>(form, "CSpinEditAddress"), Qt::Key_Enter);
    QCOMPARE(reached, 0);
    QTest::keyClick(Control<QSpinBox>(form, "CSpinEditAddress"), Qt::Key_Up);
    QCOMPARE(reached, 1);
    QCOMPARE(int(form.Mip().Address), 2);
  }

  void ClosingTheWindowWhileAJobRuns() {
    line_->AddInstrument({1, 6, 8, 4});
    line_->AddFault(NoReplyTo(CurrentValuesRegister));
    TMainForm& form = Start(30000);
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(AskedForRegister(*line_, 3, CurrentValuesRegister), Patience);
    {
      TWatchdog watchdog("closing the window while a job runs");
      form.close();
      fixture_->Close();
    }
    QTest::qWait(50);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  // The job thread waits for the window to show the job's end; the window goes first.
  void DestroyingTheWindowWhileAJobEndWaitsForIt() {
    TMainForm& form = Start();
    ShowPage(form.Pages(), 2);
    QVERIFY(Devices(form).Jobs().JobStart(2));
    QVERIFY(WaitWithoutEvents([&form] { return form.Mip().Busy == 0; }));
    {
      TWatchdog watchdog("destroying the window while a job end waits for it");
      fixture_->Close();
    }
    QTest::qWait(50);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

  void ClosingTheWindowWhileAnErrorBoxIsOpen() {
    line_->AddInstrument({1, 6, 8, 4});
    line_->AddFault(NoReplyTo(CurrentValuesRegister));
    TMainForm& form = Start(200);
    bool busyWhileShown = true;
    fixture_->Dialogs().WhileErrorShown = [&] {
      QEventLoop box;
      QTimer::singleShot(20, &box, [&] {
        busyWhileShown = form.Mip().Busy != 0;
        form.close();
        box.quit();
      });
      box.exec();
    };
    Button(form, "ToolButton8")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error").size(), 1, Patience);
    QVERIFY(!busyWhileShown);  // no re-read started behind the box
    QTest::qWait(300);
    QCOMPARE(int(form.Mip().Busy), 0);
    QCOMPARE(Reported(form, "Идет считывание данных."), 1);
    TWatchdog watchdog("destroying the window after its error box");
    fixture_->Close();
  }

  void ClosingTheWindowWhileACommandWaits() {
    TMainForm& form = Start();
    ShowPage(form.Pages(), 2);
    Button(form, "ToolButton8")->click();
    TRangeAnswer range;
    range.Give(1, 60);
    Button(form, "ToolButton9")->click();
    QCOMPARE(int(form.Mip().JobCode), 126);
    QTimer::singleShot(100, &form, [&form] { form.close(); });
    {
      TWatchdog watchdog("a command waiting for the engine when the window closes");
      Button(form, "ToolButton11")->click();
    }
    QCOMPARE(int(form.Mip().JobCode), 126);
    TWatchdog watchdog("destroying the window during a search");
    fixture_->Close();
  }

  // The job thread's report of a job's end runs on the GUI thread, and the job thread waits for it.
  void BridgeWaitsForTheWorkOnTheGuiThread() {
    TJobBridge bridge;
    std::atomic<bool> returned{false};
    bool onGuiThread = false;
    std::thread job([&] {
      bridge.PostAndWait([&] { onGuiThread = QThread::currentThread() == qApp->thread(); },
                         [] { return false; });
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QVERIFY(!returned);
    QTRY_VERIFY_WITH_TIMEOUT(returned, Patience);
    job.join();
    QVERIFY(onGuiThread);
  }

  void BridgeReleasesTheJobThreadWhenItsInstrumentStops() {
    TJobBridge bridge;
    std::atomic<bool> stopping{false};
    std::atomic<bool> returned{false};
    bool ran = false;
    std::thread job([&] {
      bridge.PostAndWait([&] { ran = true; }, [&] { return stopping.load(); });
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stopping = true;
    const bool released = WaitWithoutEvents([&] { return returned.load(); });
    job.join();
    QVERIFY(released);
    bridge.Shutdown();
    QTest::qWait(50);
    QVERIFY(!ran);
  }

  void BridgeShutdownReleasesTheJobThreadAndDropsTheWork() {
    TJobBridge bridge;
    std::atomic<bool> returned{false};
    int ran = 0;
    std::thread job([&] {
      bridge.Post([&] { ++ran; });
      bridge.PostAndWait([&] { ++ran; }, [] { return false; });
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bridge.Shutdown();
    const bool released = WaitWithoutEvents([&] { return returned.load(); });
    job.join();
    QVERIFY(released);
    bridge.Post([&] { ++ran; });
    QTest::qWait(50);
    QCOMPARE(ran, 0);
  }

  void RangeDialogKeys() {
    TArchQwery dialog;
    dialog.Prepare("Поиск прибора", 255, 0, 300);
    QCOMPARE(dialog.windowTitle(), QString("Поиск прибора"));
    QCOMPARE(dialog.CSpinEdit1->value(), 1);
    QCOMPARE(dialog.CSpinEdit2->value(), 255);
    dialog.Prepare("Считывание архива", 65535, 50, 10);
    QCOMPARE(dialog.Range(), std::make_pair(10, 50));
    dialog.CSpinEdit2->setValue(50);
    QCOMPARE(dialog.Range(), std::make_pair(50, 50));

    WhenModalShown<TArchQwery>(
        [](TArchQwery* shown) { QTest::keyClick(shown->CSpinEdit1, Qt::Key_Return); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    WhenModalShown<TArchQwery>(
        [](TArchQwery* shown) { QTest::keyClick(shown->CSpinEdit2, Qt::Key_Enter); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    WhenModalShown<TArchQwery>(
        [](TArchQwery* shown) { QTest::keyClick(shown->CSpinEdit2, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    WhenModalShown<TArchQwery>([](TArchQwery* shown) { shown->close(); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
  }

 private:
  // Records key presses that reach the objects it watches.
  class TKeySpy : public QObject {
   public:
    explicit TKeySpy(int& reached) : reached_(reached) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::KeyPress) ++reached_;
      return false;
    }

   private:
    int& reached_;
  };

  // The window, shown, on the simulated line, with the given reply timeout.
  TMainForm& Start(int waitTime = 1300) {
    if (!line_->Running()) line_->Start();
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_, waitTime), true);
    fixture_->Form().show();
    return fixture_->Form();
  }

  // What the device settings page's address button does: the new address in CSpinEdit3 and the
  // image, then job 159.
  void ChangeAddressTo(TMainForm& form, int address) {
    form.Pages().CSpinEdit3->setValue(address);
    form.Mip().InterfaceAddress = static_cast<uint8_t>(address);
    QVERIFY(Devices(form).Jobs().JobStart(OpChangeAddress));
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, WrittenOf8And4) == 1, Patience);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestDeviceCommands)
#include "DeviceCommandsTest.moc"
