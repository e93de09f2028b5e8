// Rendering the data image into the pages, under Russian regional settings (decimal comma).
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimeEdit>

#include <cstring>

#include "GuiTestSupport.h"
#include "SimulatedLine.h"
#include "views/ChoiceLists.h"
#include "views/ImageLists.h"
#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

using TState = TglAskListBox::TState;

// Makes a page (and a sub-page of its nested control) current and renders it.
// The sub-page is chosen first: a page change renders the page it shows, and the tests see
// that only the wanted sub-page was rendered.
void Show(TPageViews& pages, int page, int subPage = 0) {
  if (TglPageControl* nested = pages.SubPages(page)) nested->SetCurrentIndex(subPage);
  pages.PageControl()->SetCurrentIndex(page);
  pages.Render();
}

QList<TState> States(const TglAskListBox* list) {
  QList<TState> states;
  for (int i = 0; i < list->Count(); ++i) states << list->State(i);
  return states;
}

// A check box reacts to clicks on its box and text only, not on the rest of its width.
QPoint Indicator(const QWidget* box) {
  return QPoint(8, box->height() / 2);
}

QList<TState> Repeated(TState state, int count) {
  return QList<TState>(count, state);
}

}  // namespace

class TestRendering : public QObject {
  Q_OBJECT

 private slots:
  void init() { fixture_ = std::make_unique<TFormFixture>(); }
  void cleanup() { fixture_.reset(); }

  void FixedPointText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("three") << 12.34567 << 3 << "12,346";
    QTest::newRow("five") << double(12.34567f) << 5 << "12,34567";
    QTest::newRow("one") << double(0.26f) << 1 << "0,3";
    QTest::newRow("no thousands separator") << 1234567.0 << 3 << "1234567,000";
    QTest::newRow("negative") << -32766.0 << 3 << "-32766,000";
    QTest::newRow("rounds to zero") << -0.0001 << 3 << "0,000";
    QTest::newRow("small positive") << 1e-7 << 3 << "0,000";
    QTest::newRow("half away from zero") << 2.5 << 0 << "3";
    QTest::newRow("sixteen digits") << 1e20 << 3 << "1,00000000000000E+20";
  }
  void FixedPointText() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(TextForms::FixedText(value, decimals), text);
  }

  void DateTimeText() {
    QCOMPARE(TextForms::DateTimeText(EncodeDateTime({2005, 3, 12, 14, 7, 55, 0})),
             QString("12.03.2005 14:07:55"));
    QCOMPARE(TextForms::DateTimeText(EncodeDate(2005, 3, 12)), QString("12.03.2005"));
    QCOMPARE(TextForms::DateTimeText(EncodeDateTime({2005, 3, 12, 0, 0, 1, 0})),
             QString("12.03.2005 00:00:01"));
    // A value far outside the calendar is shown, not trusted.
    QCOMPARE(TextForms::DateTimeText(1e300).isEmpty(), false);
  }

  void Measurements_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("instrument fault") << -32768.0f << "Не норма прибора";
    QTest::newRow("within 0.01") << -32767.995f << "Не норма прибора";
    QTest::newRow("sensor fault") << -32767.0f << "Не норма датчика";
    QTest::newRow("not configured") << -32764.0f << "Датчик не настроен";
    QTest::newRow("cold junction") << -32763.0f << "Не норма КХС";
    QTest::newRow("switched on is a number") << -32765.0f << "-32765,000";
    QTest::newRow("no marker") << -32766.0f << "-32766,000";
    QTest::newRow("beyond the tolerance") << -32763.02f << "-32763,020";
    QTest::newRow("value") << 12.34567f << "12,346";
  }
  void Measurements() {
    QFETCH(float, value);
    QFETCH(QString, text);
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.CurrentValue[4] = value;
    mip.LastCycleValue[4] = value;
    Show(pages, 0);
    QCOMPARE(pages.StringGrid(1)->Cells(1, 5), text);
    Show(pages, 1);
    QCOMPARE(pages.StringGrid(2)->Cells(1, 5), text);
  }

  void LastCycleTime() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.LastCycleTime = EncodeDateTime({2005, 3, 12, 14, 7, 55, 0});
    Show(pages, 1);
    QCOMPARE(pages.StringGrid(2)->Cells(1, 0), QString("12.03.2005 14:07:55"));
    QCOMPARE(pages.StringGrid(2)->Cells(0, 0), QString("Измерено"));
  }

  void DecimalsPerPage() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.CurrentValue[4] = 12.34567f;
    mip.Config.Minimum[4] = 12.34567f;
    mip.Config.Maximum[0] = 100.0f;
    mip.Config.Setpoint[2][1] = 12.5f;
    mip.Config.Hysteresis[0] = 0.26f;
    mip.Config.Comma[4] = 3;  // configures the instrument only
    Show(pages, 0);
    QCOMPARE(pages.StringGrid(1)->Cells(1, 5), QString("12,346"));
    Show(pages, 9, 0);
    QCOMPARE(pages.StringGrid(6)->Cells(1, 5), QString("12,34567"));
    Show(pages, 9, 1);
    QCOMPARE(pages.StringGrid(7)->Cells(1, 1), QString("100,00000"));
    Show(pages, 10, 2);
    QCOMPARE(pages.StringGrid(10)->Cells(1, 2), QString("12,500"));
    QCOMPARE(pages.StringGrid(10)->Cells(1, 3), QString("0,000"));
    Show(pages, 11);
    QCOMPARE(pages.StringGrid(12)->Cells(1, 1), QString("0,3"));
  }

  void ForAllRowsKeepTheirTexts() {
    TPageViews& pages = fixture_->Form().Pages();
    Show(pages, 2);
    Show(pages, 9, 0);
    Show(pages, 14);
    QCOMPARE(pages.StringGrid(3)->Cells(1, 0), QString("Нажмите здесь для установки всех каналов"));
    QCOMPARE(pages.StringGrid(6)->Cells(1, 0), QString("0"));
    QCOMPARE(pages.StringGrid(6)->Cells(0, 3), QString("Минимум 3-го канала"));
  }

  void OnlyTheCurrentPageIsRendered() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.Config.TypeSensor[0] = 5;
    Show(pages, 0);
    QCOMPARE(pages.StringGrid(3)->Cells(1, 1), QString());
    Show(pages, 2);
    QCOMPARE(pages.StringGrid(3)->Cells(1, 1), QString("5. Проверка 100 мВ"));
  }

  void ChoiceCaptions() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.Config.TypeSensor[2] = 37;
    mip.Config.TypeSensor[3] = 99;  // no such item
    mip.Config.KXC[0] = 16;
    mip.Config.Filter[1] = 5;
    mip.Config.Comma[2] = 2;
    mip.Config.SetpointRelay[1][2] = 5;
    mip.Config.SetpointRelay[3][31] = 32;
    Show(pages, 2);
    QCOMPARE(pages.StringGrid(3)->Cells(1, 3), QString("37. Термопара XA(K)"));
    QCOMPARE(pages.StringGrid(3)->Cells(1, 4), QString("99"));
    QCOMPARE(pages.StringGrid(3)->Cells(1, 1), QString("0. Нет датчика"));
    Show(pages, 5);
    QCOMPARE(pages.StringGrid(17)->Cells(1, 1), QString("КХС с 16го канала"));
    QCOMPARE(pages.StringGrid(17)->Cells(1, 2), QString("Нет КХС"));
    Show(pages, 7);
    QCOMPARE(pages.StringGrid(4)->Cells(1, 2), QString("Максимальный 2"));
    Show(pages, 8);
    QCOMPARE(pages.StringGrid(5)->Cells(1, 3), QString("XX. XX"));
    Show(pages, 12, 1);
    QCOMPARE(pages.StringGrid(14)->Cells(1, 3), QString("Реле № 5"));
    Show(pages, 12, 3);
    QCOMPARE(pages.StringGrid(16)->Cells(1, 32), QString("Реле № 32"));
    QCOMPARE(pages.StringGrid(16)->Cells(1, 1), QString("Нет реле"));
  }

  void LogicGrids() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.Config.LogicCondition[2][0] = 1;
    mip.Config.LogicFault[2][0] = 2;
    mip.Config.LogicFilter[2][0] = 1;
    mip.Config.LogicFault[2][31] = 1;
    mip.Config.LogicFault[2][5] = 7;
    Show(pages, 13, 2);
    const TStringGrid* grid = pages.StringGrid(20);
    QCOMPARE(grid->Cells(1, 2), QString("При значении больше уставки"));
    QCOMPARE(grid->Cells(2, 2), QString("Выключить реле"));
    QCOMPARE(grid->Cells(3, 2), QString("Со второго срабатывания"));
    QCOMPARE(grid->Cells(2, 33), QString("Включить реле"));
    QCOMPARE(grid->Cells(2, 7), QString("7"));
    QCOMPARE(grid->Cells(1, 3), QString("При значении меньше уставки"));
    QCOMPARE(grid->Cells(1, 1), QString("Для установки всех каналов"));
    QCOMPARE(pages.StringGrid(18)->Cells(1, 2), QString());
  }

  void ConnectionTypeButtons() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    std::memset(mip.Config.ThreeWire, 1, 32);
    Show(pages, 3);
    QCOMPARE(States(pages.glAskListBox1), Repeated(TState::Button1, 33));
    mip.Config.ThreeWire[7] = 0;
    Show(pages, 3);
    QList<TState> expected = Repeated(TState::Button1, 33);
    expected[0] = TState::None;
    expected[8] = TState::Button2;
    QCOMPARE(States(pages.glAskListBox1), expected);
  }

  void FlagListsShowTheirOwnField() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.Config.BreakCheck[31] = 1;
    mip.Config.SquareRoot[0] = 1;
    mip.Config.RelayTestOn[3] = 1;
    Show(pages, 4);
    QCOMPARE(pages.glAskListBox2->State(32), TState::Button1);
    QCOMPARE(pages.glAskListBox2->State(1), TState::Button2);
    Show(pages, 6);
    QCOMPARE(pages.glAskListBox4->State(1), TState::Button1);
    QCOMPARE(pages.glAskListBox4->State(0), TState::None);
    Show(pages, 12, 6);
    QCOMPARE(pages.glAskListBox6->State(4), TState::Button1);
    QCOMPARE(pages.glAskListBox6->State(5), TState::Button2);
  }

  void AllZeroFlagsPushButtonTwoOnTheForAllLine() {
    TPageViews& pages = fixture_->Form().Pages();
    Show(pages, 4);
    QCOMPARE(States(pages.glAskListBox2), Repeated(TState::Button2, 33));
  }

  // A flag byte other than 0 and 1 (a file written elsewhere) is on for its own line, and the
  // for-all line pushes nothing.
  void OddFlagBytes() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    std::memset(mip.Config.ThreeWire, 5, 32);
    Show(pages, 3);
    QList<TState> expected = Repeated(TState::Button1, 33);
    expected[0] = TState::None;
    QCOMPARE(States(pages.glAskListBox1), expected);
  }

  void RelayControlIsMirrored() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    Show(pages, 12, 5);
    QCOMPARE(States(pages.glAskListBox5), Repeated(TState::Button1, 33));
    std::memset(mip.Config.RelayByComputer, 1, 32);
    Show(pages, 12, 5);
    QCOMPARE(States(pages.glAskListBox5), Repeated(TState::Button2, 33));
    mip.Config.RelayByComputer[0] = 0;
    Show(pages, 12, 5);
    QList<TState> expected = Repeated(TState::Button2, 33);
    expected[0] = TState::None;
    expected[1] = TState::Button1;
    QCOMPARE(States(pages.glAskListBox5), expected);
  }

  void RenderingPushesButtonsWithoutAStateChange() {
    TPageViews& pages = fixture_->Form().Pages();
    int changes = 0;
    QObject::connect(pages.glAskListBox1, &TglAskListBox::StateChanged, [&changes] { ++changes; });
    Show(pages, 3);
    QCOMPARE(changes, 0);
  }

  // Channel counts limit transfers, not what the pages show.
  void EightChannelInstrumentShowsAll32Rows() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.ChannelCount = 8;
    mip.RelayCount = 4;
    mip.Config.TypeSensor[20] = 44;
    mip.CurrentValue[31] = 5.0f;
    mip.Config.RelayTestOn[31] = 1;
    Show(pages, 2);
    QCOMPARE(pages.StringGrid(3)->Cells(1, 21), QString("44. Термопара PK-15"));
    for (int row = 9; row <= 32; ++row) QVERIFY(!pages.StringGrid(3)->Cells(1, row).isEmpty());
    Show(pages, 0);
    QCOMPARE(pages.StringGrid(1)->Cells(1, 32), QString("5,000"));
    Show(pages, 12, 6);
    QCOMPARE(pages.glAskListBox6->State(32), TState::Button1);
  }

  void FaultRelaysWithoutSideEffects() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    pages.CheckBox1->setChecked(true);
    pages.CheckBox3->setChecked(false);
    pages.CheckBox2->setChecked(true);
    pages.CheckBox4->setChecked(true);
    pages.Modified = false;
    mip.Config.DeviceFaultFlags = 2;
    mip.Config.SensorFaultFlags = 0xFC;
    mip.Config.DeviceFaultRelay = 40;  // no such item
    mip.Config.SensorFaultRelay = 7;
    Show(pages, 12, 4);
    QVERIFY(!pages.CheckBox1->isChecked());
    QVERIFY(pages.CheckBox3->isChecked());
    QVERIFY(!pages.CheckBox2->isChecked());
    QVERIFY(!pages.CheckBox4->isChecked());
    QCOMPARE(pages.ComboBox1->currentIndex(), -1);
    QCOMPARE(pages.ComboBox6->currentIndex(), 7);
    QCOMPARE(pages.ComboBox6->currentText(), QString("Реле № 7"));
    QCOMPARE(mip.Config.DeviceFaultFlags, uint8_t(2));
    QCOMPARE(mip.Config.SensorFaultFlags, uint8_t(0xFC));
    QCOMPARE(mip.Config.DeviceFaultRelay, uint8_t(40));
    QCOMPARE(mip.Config.SensorFaultRelay, uint8_t(7));
    QVERIFY(!pages.Modified);
  }

  // The user's own clicks on the same controls do change the image: rendering is what is quiet.
  void FaultRelayEdits() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    fixture_->Form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&fixture_->Form()));
    Show(pages, 12, 4);
    QApplication::processEvents();
    mip.Config.SensorFaultFlags = 0xF0;
    QTest::mouseClick(pages.CheckBox3, Qt::LeftButton, {}, Indicator(pages.CheckBox3));
    QCOMPARE(mip.Config.DeviceFaultFlags, uint8_t(2));
    QVERIFY(pages.Modified);
    QTest::mouseClick(pages.CheckBox2, Qt::LeftButton, {}, Indicator(pages.CheckBox2));
    QCOMPARE(mip.Config.SensorFaultFlags, uint8_t(0xF1));
    pages.ComboBox6->setFocus();
    QTest::keyClick(pages.ComboBox6, Qt::Key_Down);
    QCOMPARE(mip.Config.SensorFaultRelay, uint8_t(1));
  }

  void SettingsPage() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.DeviceState = 137;
    mip.ModelCode = 2;
    mip.FirmwareVersion = 0x0110;
    std::memcpy(mip.DeviceId, "VOSTRELIN!", 11);
    mip.DeviceChannels = 40;
    mip.DeviceRelays = 0;
    mip.ArchiveDepth = 4464;
    mip.ArchiveCurrent = 17;
    mip.NominalPeriod = 0.5f;
    mip.Config.MeasurePeriod = 0.0f;
    mip.Config.ArchivePeriod = 120;
    mip.Config.Password = 1234;
    mip.InterfaceAddress = 17;
    mip.Config.InterfaceSpeed = 1;
    mip.DeviceClock = EncodeDateTime({2005, 3, 15, 14, 30, 0, 0});
    Show(pages, 14);
    QCOMPARE(pages.Label(7)->text(), QString("Оператор"));
    QCOMPARE(pages.Image1->pixmap().toImage(), ImageLists::State(1).toImage());
    QCOMPARE(pages.Label(20)->text(), QString("К7104С1 "));
    QCOMPARE(pages.Label(18)->text(), QString("1.16"));
    QCOMPARE(pages.Label(22)->text(), QString("VOSTRELIN!"));
    QCOMPARE(pages.Label(14)->text(), QString("40"));
    QCOMPARE(pages.Label(15)->text(), QString("0"));
    QCOMPARE(pages.Label(16)->text(), QString("4464"));
    QCOMPARE(pages.Label(9)->text(), QString("17"));
    QCOMPARE(pages.Label(1)->text(), QString("Номинальный 0,500 сек."));
    QCOMPARE(pages.Edit1->text(), QString("0,000"));
    QCOMPARE(pages.Label(25)->text(), QString("60,000 сек."));
    QCOMPARE(pages.CSpinEdit1->value(), 120);
    QCOMPARE(pages.CSpinEdit2->value(), 1234);
    QCOMPARE(pages.CSpinEdit3->value(), 17);
    QCOMPARE(pages.ComboBox2->currentIndex(), 0);
    QCOMPARE(pages.ComboBox3->currentIndex(), 1);
    QCOMPARE(pages.DateTimePicker1->date(), QDate(2005, 3, 15));
    QCOMPARE(pages.DateTimePicker2->time(), QTime(14, 30, 0));
    QCOMPARE(mip.DeviceClock, EncodeDateTime({2005, 3, 15, 14, 30, 0, 0}));

    mip.Config.MeasurePeriod = 2.0f;
    mip.DeviceState = 130;
    mip.ModelCode = 7;
    mip.Config.InterfaceSpeed = 2;
    Show(pages, 14);
    QCOMPARE(pages.Label(25)->text(), QString("240,000 сек."));
    QCOMPARE(pages.Edit1->text(), QString("2,000"));
    QCOMPARE(pages.Label(7)->text(), QString("Неизвестно"));
    QCOMPARE(pages.Image1->pixmap().toImage(), ImageLists::State(3).toImage());
    QCOMPARE(pages.Label(20)->text(), QString("7"));
    QCOMPARE(pages.ComboBox3->currentIndex(), -1);
    mip.ModelCode = 3;
    Show(pages, 14);
    QCOMPARE(pages.Label(20)->text(), QString("Неизвес. "));
  }

  void ArchivePage() {
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    Show(pages, 15);
    QCOMPARE(pages.ArchiveGrid()->RowCount(), 2);
    MeasurementRecord record;
    record.Number = 7;
    record.Time = EncodeDateTime({2005, 3, 12, 14, 7, 55, 0});
    record.Value[0] = -32764.0f;
    record.Value[1] = -32766.0f;
    record.Value[2] = -32765.0f;
    record.Value[3] = 12.3456f;
    record.Value[31] = -32768.0f;
    mip.MeasArchive.push_back(record);
    record.Number = 6;
    record.Time = EncodeDate(2005, 3, 12);
    mip.MeasArchive.push_back(record);
    Show(pages, 15);
    const TArchiveGrid* grid = pages.ArchiveGrid();
    QCOMPARE(grid->RowCount(), 3);
    QCOMPARE(grid->Cells(0, 1), QString("7"));
    QCOMPARE(grid->Cells(1, 1), QString("12.03.2005 14:07:55"));
    QCOMPARE(grid->Cells(2, 1), QString("Н.настр."));
    QCOMPARE(grid->Cells(3, 1), QString("-32766,000"));
    QCOMPARE(grid->Cells(4, 1), QString("Вкл.приб."));
    QCOMPARE(grid->Cells(5, 1), QString("12,346"));
    QCOMPARE(grid->Cells(33, 1), QString("Н.приб."));
    QCOMPARE(grid->Cells(1, 2), QString("12.03.2005"));
    mip.MeasArchive.clear();
    Show(pages, 15);
    QCOMPARE(grid->RowCount(), 2);
    for (int col = 0; col < 34; ++col) QCOMPARE(grid->Cells(col, 1), QString());
    QCOMPARE(grid->Cells(2, 0), QString("Канал № 1"));
  }

  // What a simulated instrument reports, read by the job engine over its line, shows on the pages.
  void ReadFromASimulatedInstrument() {
    k7104sim::Line line(Steps::Reachable());
    k7104sim::Instrument& instrument = line.AddInstrument({1, 6, 8, 4});
    QVERIFY(line.Start());
    instrument.SetLiveValue(0, -32768.0f);
    instrument.SetLiveValue(1, 12.34567f);
    instrument.SetHoldingRegister(128 + 2, 37);
    TMIP& mip = fixture_->Form().Mip();
    TPageViews& pages = fixture_->Form().Pages();
    mip.Config.TypeSensor[20] = 44;  // beyond the instrument's 8 channels: kept and shown
    Steps::PutOnLine(mip.Bus, line);
    QVERIFY(mip.Bus.OpenPort());
    QVERIFY(mip.StartJob(127));
    QTRY_VERIFY_WITH_TIMEOUT(mip.Busy.load() == 0, 60000);
    QCOMPARE(int(mip.JobResult.load()), 0);
    QVERIFY(mip.StartJob(30));
    QTRY_VERIFY_WITH_TIMEOUT(mip.Busy.load() == 0, 60000);
    QCOMPARE(int(mip.JobResult.load()), 0);
    mip.Bus.ClosePort();

    Show(pages, 0);
    QCOMPARE(pages.StringGrid(1)->Cells(1, 1), QString("Не норма прибора"));
    QCOMPARE(pages.StringGrid(1)->Cells(1, 2), QString("12,346"));
    Show(pages, 2);
    QCOMPARE(pages.StringGrid(3)->Cells(1, 3), QString("37. Термопара XA(K)"));
    for (int n = 1; n <= 8; ++n)
      QCOMPARE(pages.StringGrid(3)->Cells(1, n),
               ChoiceLists::CaptionOf(ChoiceLists::SensorTypes(),
                                      instrument.HoldingRegister(127 + n) & 0xFF));
    QCOMPARE(pages.StringGrid(3)->Cells(1, 21), QString("44. Термопара PK-15"));
    Show(pages, 14);
    QCOMPARE(pages.Label(20)->text(), QString("К7104Е025 "));
    QCOMPARE(pages.Label(22)->text(), QString("VOSTRELIN!"));
    QCOMPARE(pages.Label(14)->text(), QString("8"));
    QCOMPARE(pages.Label(15)->text(), QString("4"));
    QCOMPARE(pages.Label(7)->text(), ChoiceLists::StateText(instrument.HoldingRegister(97)));
  }

  void PageJobCodes() {
    TPageViews& pages = fixture_->Form().Pages();
    const int codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    for (int page = 0; page < 9; ++page) {
      pages.PageControl()->SetCurrentIndex(page);
      QCOMPARE(int(pages.PageJobCode()), codes[page]);
    }
    // The pages with sub-pages and the code of their first sub-page.
    const std::pair<int, int> nested[] = {{9, 9}, {10, 11}, {12, 16}, {13, 23}};
    for (const auto& [page, first] : nested) {
      TglPageControl* control = pages.SubPages(page);
      QVERIFY(control);
      pages.PageControl()->SetCurrentIndex(page);
      for (int sub = 0; sub < control->Count(); ++sub) {
        control->SetCurrentIndex(sub);
        QCOMPARE(int(pages.PageJobCode()), first + sub);
      }
    }
    pages.PageControl()->SetCurrentIndex(11);
    QCOMPARE(int(pages.PageJobCode()), 15);
    pages.PageControl()->SetCurrentIndex(14);
    QCOMPARE(int(pages.PageJobCode()), 30);
    pages.PageControl()->SetCurrentIndex(15);
    QCOMPARE(int(pages.PageJobCode()), 34);
  }

 private:
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestRendering)
#include "RenderingTest.moc"
