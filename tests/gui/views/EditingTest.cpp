// The user's edits on the pages, driven through the real window's controls under Russian
// regional settings: popup choice lists on the choice grids, the button lists, the fault-relay
// controls, numbers typed into the physical-values grids and the device settings page.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>

#include <cfloat>

#include "GuiTestSupport.h"
#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

using TState = TglAskListBox::TState;

template <typename T>
T* Find(QObject* root, const QString& name) {
  T* found = root->findChild<T*>(name);
  if (!found) qFatal("no control named %s", qPrintable(name));
  return found;
}

// Makes a page (and a sub-page of its nested control) current and renders it, as a page change
// does.
void Show(TPageViews& pages, int page, int subPage = 0) {
  pages.ShowPage(page, subPage);
  pages.Render();
  QApplication::processEvents();
}

// The page and sub-page that show a grid.
std::pair<int, int> PageOfGrid(int grid) {
  if (grid == 3) return {2, 0};
  if (grid == 4) return {7, 0};
  if (grid == 5) return {8, 0};
  if (grid == 17) return {5, 0};
  if (grid == 6 || grid == 7) return {9, grid - 6};
  if (grid >= 8 && grid <= 11) return {10, grid - 8};
  if (grid == 12) return {11, 0};
  if (grid >= 13 && grid <= 16) return {12, grid - 13};
  return {13, grid - 18};
}

QTableWidgetItem* ItemAt(TStringGrid* grid, int col, int row) {
  return grid->item(row - grid->FixedRows(), col - 1);
}

// A left click on a value cell, scrolled into view first as the user would.
void ClickCell(TStringGrid* grid, int col, int row) {
  grid->scrollToItem(ItemAt(grid, col, row));
  const QRect cell = grid->CellRect(col, row);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid->viewport()->mapFrom(grid, cell.center()));
}

// A click into the text of an entry field, away from a spin edit's buttons.
void ClickText(QWidget* field) {
  QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, QPoint(10, field->height() / 2));
}

// Types into the widget that has the focus, key by key.
void Type(const QString& text) {
  for (const QChar ch : text) QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
}

void PressEnter() {
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

// Picks an item of a shown popup list with the mouse.
void ClickItem(TPopupList* list, int index) {
  QAction* action = list->actions().at(index);
  const QRect place = list->actionGeometry(action);
  QVERIFY2(list->rect().contains(place.center()), "the item lies outside the shown list");
  QTest::mouseClick(list, Qt::LeftButton, Qt::NoModifier, place.center());
}

QStringList Column(const TStringGrid* grid, int col, int firstRow, int lastRow) {
  QStringList texts;
  for (int row = firstRow; row <= lastRow; ++row) texts << grid->Cells(col, row);
  return texts;
}

QList<TState> States(const TglAskListBox* list, int first, int last) {
  QList<TState> states;
  for (int line = first; line <= last; ++line) states << list->State(line);
  return states;
}

QList<uint8_t> Bytes(const uint8_t* values, int count = MaxChannels) {
  return QList<uint8_t>(values, values + count);
}

QList<float> Floats(const TLeFloat* values) {
  QList<float> list;
  for (int i = 0; i < MaxChannels; ++i) list << values[i].Get();
  return list;
}

// The field each choice grid column edits.
uint8_t* ChoiceField(TConfigBlock& c, int grid, int col) {
  switch (grid) {
    case 3:
      return c.TypeSensor;
    case 4:
      return c.Filter;
    case 5:
      return c.Comma;
    case 17:
      return c.KXC;
    case 13:
    case 14:
    case 15:
    case 16:
      return c.SetpointRelay[grid - 13];
    default:
      break;
  }
  const int k = grid - 18;
  return col == 1 ? c.LogicCondition[k] : col == 2 ? c.LogicFault[k] : c.LogicFilter[k];
}

TLeFloat* NumberField(TConfigBlock& c, int grid) {
  if (grid == 6) return c.Minimum;
  if (grid == 7) return c.Maximum;
  if (grid == 12) return c.Hysteresis;
  return c.Setpoint[grid - 8];
}

}  // namespace

class TestEditing : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<TFormFixture>();
    TMainForm& form = fixture_->Form();
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
  }
  void cleanup() { fixture_.reset(); }

  // ---- choice grids and popup lists ----

  void ClickOnTheLabelColumnShowsNoList() {
    Show(Pages(), 2);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid3");
    auto* list = Find<TPopupList>(&Form(), "MenuTypeSensor");
    QHeaderView* labels = grid->verticalHeader();
    QTest::mouseClick(labels->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(labels->width() / 2, labels->sectionViewportPosition(2) + 5));
    QVERIFY(!list->isVisible());
    QVERIFY(!Pages().Modified);
  }

  void ChoosingForAllChannels() {
    TConfigBlock& c = Form().Mip().Config;
    std::fill(std::begin(c.TypeSensor), std::end(c.TypeSensor), 37);
    c.TypeSensor[9] = 5;
    Show(Pages(), 2);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid3");
    auto* list = Find<TPopupList>(&Form(), "MenuTypeSensor");

    ClickCell(grid, 1, 0);
    QVERIFY(list->isVisible());
    QCOMPARE(list->BannerText(), QString("Пожалуйста выбирите тип датчика для всех каналов"));
    ClickItem(list, 0);

    QVERIFY(!list->isVisible());
    QCOMPARE(Bytes(c.TypeSensor), QList<uint8_t>(MaxChannels, 0));
    QCOMPARE(Column(grid, 1, 1, 32), QStringList(MaxChannels, "0. Нет датчика"));
    QCOMPARE(grid->Cells(1, 0), QString("Нажмите здесь для установки всех каналов"));
    QVERIFY(Pages().Modified);
  }

  void ChoosingForOneChannel_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("banner");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("caption");
    QTest::newRow("sensor type") << 3 << 1 << 4 << "MenuTypeSensor"
                                 << "Пожалуйста выбирите тип датчика для 4-го канала" << 21
                                 << "21. Термосопротивление 100 M";
    QTest::newRow("filter") << 4 << 1 << 2 << "MenuFilter"
                            << "2-го канала" << 5 << "Максимальный 2";
    QTest::newRow("decimal point") << 5 << 1 << 32 << "MenuComma"
                                   << "32-го канала" << 3 << "X. XXX";
    QTest::newRow("cold junction")
        << 17 << 1 << 3 << "KXCMenu"
        << "Пожалуйста выбирите KXC для 3-го канала" << 16 << "КХС с 16го канала";
    QTest::newRow("relay of the second setpoint")
        << 14 << 1 << 3 << "MenuRelay"
        << "Пожалуйста выберите реле для3-го канала" << 5 << "Реле № 5";
    QTest::newRow("relay of the fourth setpoint")
        << 16 << 1 << 1 << "MenuRelay"
        << "Пожалуйста выберите реле для1-го канала" << 7 << "Реле № 7";
    QTest::newRow("setpoint logic")
        << 18 << 1 << 5 << "MenuLogicCharter"
        << "Логики уставки для4-го канала" << 1 << "При значении больше уставки";
    QTest::newRow("relay logic") << 19 << 2 << 33 << "MenuLogicRelay"
                                 << "Логики реле для32-го канала" << 2 << "Выключить реле";
    QTest::newRow("relay filter") << 21 << 3 << 2 << "MenuFilterReley"
                                  << "Фильтр реле для1-го канала" << 1 << "Со второго срабатывания";
  }
  void ChoosingForOneChannel() {
    QFETCH(int, grid);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QString, list);
    QFETCH(QString, banner);
    QFETCH(int, item);
    QFETCH(QString, caption);
    const auto [page, subPage] = PageOfGrid(grid);
    Show(Pages(), page, subPage);
    auto* shownGrid = Find<TStringGrid>(&Form(), QString("StringGrid%1").arg(grid));
    auto* popup = Find<TPopupList>(&Form(), list);
    const int channel = grid >= 18 ? row - 1 : row;

    ClickCell(shownGrid, col, row);
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->BannerText(), banner);
    ClickItem(popup, item);

    QList<uint8_t> expected(MaxChannels, 0);
    expected[channel - 1] = static_cast<uint8_t>(item);
    QCOMPARE(Bytes(ChoiceField(Form().Mip().Config, grid, col)), expected);
    QCOMPARE(shownGrid->Cells(col, row), caption);
    QVERIFY(Pages().Modified);
  }

  void ClosingAListWithoutChoosingChangesNothing() {
    Show(Pages(), 7);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid4");
    auto* list = Find<TPopupList>(&Form(), "MenuFilter");
    ClickCell(grid, 1, 6);
    QVERIFY(list->isVisible());
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!list->isVisible());
    QCOMPARE(Bytes(Form().Mip().Config.Filter), QList<uint8_t>(MaxChannels, 0));
    QCOMPARE(grid->Cells(1, 6), QString("Слабый 1"));
    QVERIFY(!Pages().Modified);
  }

  void LogicForAllChannelsOfTheThirdSetpoints() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 13, 2);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid20");
    auto* list = Find<TPopupList>(&Form(), "MenuLogicRelay");
    ClickCell(grid, 2, 1);
    QCOMPARE(list->BannerText(), QString("Логики реле для всех каналов"));
    ClickItem(list, 2);
    QCOMPARE(Bytes(c.LogicFault[2]), QList<uint8_t>(MaxChannels, 2));
    QCOMPARE(Column(grid, 2, 2, 33), QStringList(MaxChannels, "Выключить реле"));
    QCOMPARE(grid->Cells(2, 1), QString("Для установки всех каналов"));
    QCOMPARE(Column(grid, 1, 2, 33), QStringList(MaxChannels, "При значении меньше уставки"));
    QCOMPARE(Bytes(c.LogicFault[1]), QList<uint8_t>(MaxChannels, 0));
    QVERIFY(Pages().Modified);
  }

  // The logic lists remember the setpoint of the grid that showed them last.
  void LogicListsFollowTheGridThatShowedThem() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 13, 0);
    auto* first = Find<TStringGrid>(&Form(), "StringGrid18");
    ClickCell(first, 1, 3);
    ClickItem(Find<TPopupList>(&Form(), "MenuLogicCharter"), 1);
    Show(Pages(), 13, 3);
    auto* fourth = Find<TStringGrid>(&Form(), "StringGrid21");
    ClickCell(fourth, 3, 3);
    ClickItem(Find<TPopupList>(&Form(), "MenuFilterReley"), 1);

    QCOMPARE(c.LogicCondition[0][1], uint8_t(1));
    QCOMPARE(c.LogicFilter[3][1], uint8_t(1));
    QCOMPARE(c.LogicFilter[0][1], uint8_t(0));
    QCOMPARE(fourth->Cells(3, 3), QString("Со второго срабатывания"));
    QCOMPARE(first->Cells(3, 3), QString("С первого срабатывания"));
  }

  void RelayListWritesTheGridOfItsSetpoint() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 12, 2);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid15");
    ClickCell(grid, 1, 0);
    auto* list = Find<TPopupList>(&Form(), "MenuRelay");
    QCOMPARE(list->BannerText(), QString("Пожалуйста выберите реле для всех каналов"));
    QCOMPARE(list->Tag(), 2);
    ClickItem(list, 0);
    QCOMPARE(Column(grid, 1, 1, 32), QStringList(MaxChannels, "Нет реле"));
    std::fill(std::begin(c.SetpointRelay[2]), std::end(c.SetpointRelay[2]), 9);
    ClickCell(grid, 1, 0);
    ClickItem(list, 1);
    QCOMPARE(Bytes(c.SetpointRelay[2]), QList<uint8_t>(MaxChannels, 1));
    QCOMPARE(Bytes(c.SetpointRelay[1]), QList<uint8_t>(MaxChannels, 0));
    QCOMPARE(Find<TStringGrid>(&Form(), "StringGrid14")->Cells(1, 1), QString());
  }

  // ---- button lists ----

  void PushingTheOtherButtonOfAChannel() {
    TConfigBlock& c = Form().Mip().Config;
    std::fill(std::begin(c.ThreeWire), std::end(c.ThreeWire), 1);
    Show(Pages(), 3);
    auto* list = Find<TglAskListBox>(&Form(), "glAskListBox1");
    QCOMPARE(list->State(0), TState::Button1);
    QTest::mouseClick(list->Button(5, 2), Qt::LeftButton);
    QCOMPARE(c.ThreeWire[4], uint8_t(0));
    QCOMPARE(list->State(5), TState::Button2);
    QCOMPARE(list->State(0), TState::None);
    QVERIFY(Pages().Modified);
    QList<uint8_t> expected(MaxChannels, 1);
    expected[4] = 0;
    QCOMPARE(Bytes(c.ThreeWire), expected);
  }

  void ReleasingAChannelsButtonPushesItAgain() {
    TConfigBlock& c = Form().Mip().Config;
    std::fill(std::begin(c.ThreeWire), std::end(c.ThreeWire), 1);
    c.ThreeWire[4] = 0;
    Show(Pages(), 3);
    auto* list = Find<TglAskListBox>(&Form(), "glAskListBox1");
    Pages().Modified = false;
    QTest::mouseClick(list->Button(5, 2), Qt::LeftButton);
    QCOMPARE(list->State(5), TState::Button2);
    QVERIFY(list->Button(5, 2)->isChecked());
    QCOMPARE(c.ThreeWire[4], uint8_t(0));
    QCOMPARE(list->State(0), TState::None);
    QVERIFY(Pages().Modified);
  }

  // The channels may differ from what line 0 shows when a read has changed them unseen.
  void ReleasingTheForAllLineWhileChannelsDiffer() {
    TConfigBlock& c = Form().Mip().Config;
    std::fill(std::begin(c.BreakCheck), std::end(c.BreakCheck), 1);
    Show(Pages(), 4);
    auto* list = Find<TglAskListBox>(&Form(), "glAskListBox2");
    QCOMPARE(list->State(0), TState::Button1);
    c.BreakCheck[1] = 0;
    QTest::mouseClick(list->Button(0, 1), Qt::LeftButton);
    QCOMPARE(list->State(0), TState::None);
    QList<uint8_t> expected(MaxChannels, 1);
    expected[1] = 0;
    QCOMPARE(Bytes(c.BreakCheck), expected);
    QCOMPARE(list->State(2), TState::Button1);
    QVERIFY(!Pages().Modified);
  }

  void ForAllLineSetsEveryChannel_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("subPage");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("stored");
    QTest::newRow("connection type, four-wire") << "glAskListBox1" << 3 << 0 << 2 << 0;
    QTest::newRow("break check, check") << "glAskListBox2" << 4 << 0 << 1 << 1;
    QTest::newRow("square root, extract") << "glAskListBox4" << 6 << 0 << 1 << 1;
    QTest::newRow("relay control, computer") << "glAskListBox5" << 12 << 5 << 2 << 1;
    QTest::newRow("relay control, instrument") << "glAskListBox5" << 12 << 5 << 1 << 0;
  }
  void ForAllLineSetsEveryChannel() {
    QFETCH(QString, name);
    QFETCH(int, page);
    QFETCH(int, subPage);
    QFETCH(int, button);
    QFETCH(int, stored);
    TConfigBlock& c = Form().Mip().Config;
    uint8_t* flags = name == "glAskListBox1"   ? c.ThreeWire
                     : name == "glAskListBox2" ? c.BreakCheck
                     : name == "glAskListBox4" ? c.SquareRoot
                                               : c.RelayByComputer;
    // Every channel starts on the other value, one of them on a third.
    std::fill(flags, flags + MaxChannels, static_cast<uint8_t>(1 - stored));
    flags[30] = 2;
    Show(Pages(), page, subPage);
    auto* list = Find<TglAskListBox>(&Form(), name);
    QCOMPARE(list->State(0), TState::None);

    QTest::mouseClick(list->Button(0, button), Qt::LeftButton);
    const auto pushed = static_cast<TState>(button);
    QCOMPARE(Bytes(flags), QList<uint8_t>(MaxChannels, static_cast<uint8_t>(stored)));
    QCOMPARE(States(list, 0, 32), QList<TState>(33, pushed));
    QVERIFY(Pages().Modified);

    // Releasing the for-all line while all agree pushes it again and sets them all once more.
    Pages().Modified = false;
    QTest::mouseClick(list->Button(0, button), Qt::LeftButton);
    QCOMPARE(list->State(0), pushed);
    QCOMPARE(Bytes(flags), QList<uint8_t>(MaxChannels, static_cast<uint8_t>(stored)));
    QVERIFY(Pages().Modified);
  }

  // Relay control is mirrored: "Прибор" stores 0 and "Компьютер" 1.
  void RelayControlIsMirrored() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 12, 5);
    auto* list = Find<TglAskListBox>(&Form(), "glAskListBox5");
    QCOMPARE(States(list, 0, 32), QList<TState>(33, TState::Button1));
    QTest::mouseClick(list->Button(3, 2), Qt::LeftButton);
    QCOMPARE(c.RelayByComputer[2], uint8_t(1));
    QCOMPARE(list->State(0), TState::None);
    QTest::mouseClick(list->Button(3, 1), Qt::LeftButton);
    QCOMPARE(c.RelayByComputer[2], uint8_t(0));
    QCOMPARE(list->State(0), TState::Button1);
  }

  // ---- relay test ----

  void RelayTestWithThePortClosed() {
    TMIP& mip = Form().Mip();
    Show(Pages(), 12, 6);
    auto* list = Find<TglAskListBox>(&Form(), "glAskListBox6");
    QSignalSpy changed(&Pages(), &TPageViews::RelayTestChanged);
    QList<uint8_t> seenBefore;
    Pages().BeforeRelayTest = [&] { seenBefore << mip.Config.RelayTestOn[6]; };
    Pages().Modified = false;

    QTest::mouseClick(list->Button(7, 1), Qt::LeftButton);
    QCOMPARE(mip.Config.RelayTestOn[6], uint8_t(1));
    QCOMPARE(seenBefore, QList<uint8_t>{0});
    QCOMPARE(changed.count(), 1);
    QVERIFY(!Pages().Modified);
    QVERIFY(!mip.Bus.IsOpen());
    QCOMPARE(mip.Busy.load(), uint8_t(0));

    // A released line is pushed again and still counts as a change to switch.
    QTest::mouseClick(list->Button(7, 1), Qt::LeftButton);
    QCOMPARE(list->State(7), TState::Button1);
    QCOMPARE(changed.count(), 2);

    QTest::mouseClick(list->Button(0, 1), Qt::LeftButton);
    QCOMPARE(Bytes(mip.Config.RelayTestOn), QList<uint8_t>(MaxChannels, 1));
    QCOMPARE(changed.count(), 3);

    // The for-all line released while the relays differ: nothing to switch.
    mip.Config.RelayTestOn[3] = 0;
    QTest::mouseClick(list->Button(0, 1), Qt::LeftButton);
    QCOMPARE(list->State(0), TState::None);
    QCOMPARE(mip.Config.RelayTestOn[3], uint8_t(0));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(seenBefore.size(), 4);
    QVERIFY(!Pages().Modified);
    Pages().BeforeRelayTest = nullptr;
  }

  // ---- fault relays ----

  void FaultRelayCheckBoxesSetTheirBits() {
    TConfigBlock& c = Form().Mip().Config;
    c.DeviceFaultFlags = 0;
    c.SensorFaultFlags = 0xF0;
    Show(Pages(), 12, 4);
    auto* check3 = Find<QCheckBox>(&Form(), "CheckBox3");
    QVERIFY(!Find<QCheckBox>(&Form(), "CheckBox1")->isChecked());
    QTest::mouseClick(check3, Qt::LeftButton, Qt::NoModifier, QPoint(8, check3->height() / 2));
    QCOMPARE(c.DeviceFaultFlags, uint8_t(2));
    QVERIFY(Pages().Modified);

    auto* check2 = Find<QCheckBox>(&Form(), "CheckBox2");
    QTest::mouseClick(check2, Qt::LeftButton, Qt::NoModifier, QPoint(8, check2->height() / 2));
    QCOMPARE(c.SensorFaultFlags, uint8_t(0xF1));
    QTest::mouseClick(check3, Qt::LeftButton, Qt::NoModifier, QPoint(8, check3->height() / 2));
    QCOMPARE(c.DeviceFaultFlags, uint8_t(0));
  }

  void FaultRelayListsStoreTheIndex() {
    TConfigBlock& c = Form().Mip().Config;
    c.DeviceFaultRelay = 6;
    c.SensorFaultRelay = 1;
    Show(Pages(), 12, 4);
    auto* combo1 = Find<QComboBox>(&Form(), "ComboBox1");
    auto* combo6 = Find<QComboBox>(&Form(), "ComboBox6");
    combo1->setFocus();
    QTest::keyClick(combo1, Qt::Key_Down);
    QCOMPARE(c.DeviceFaultRelay, uint8_t(7));
    QCOMPARE(combo1->currentText(), QString("Реле № 7"));
    QVERIFY(Pages().Modified);
    combo6->setFocus();
    QTest::keyClick(combo6, Qt::Key_Up);
    QCOMPARE(c.SensorFaultRelay, uint8_t(0));
  }

  // ---- numbers ----

  void ReadingNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<float>("value");
    QTest::newRow("comma") << "12,5" << true << 12.5f;
    QTest::newRow("point") << "12.5" << false << 0.0f;
    QTest::newRow("blanks and sign") << "  -3,25 " << true << -3.25f;
    QTest::newRow("plus and exponent") << "+1,5e2" << true << 150.0f;
    QTest::newRow("negative exponent") << "1E-3" << true << 0.001f;
    QTest::newRow("trailing separator") << "5," << true << 5.0f;
    QTest::newRow("leading separator") << ",5" << true << 0.5f;
    QTest::newRow("tiny") << "0,0000001" << true << 1e-7f;
    QTest::newRow("empty") << "" << false << 0.0f;
    QTest::newRow("sign only") << "-" << false << 0.0f;
    QTest::newRow("exponent only") << "e5" << false << 0.0f;
    QTest::newRow("two separators") << "1,2,3" << false << 0.0f;
    QTest::newRow("thousands") << "1 000" << false << 0.0f;
    QTest::newRow("word") << "abc" << false << 0.0f;
    QTest::newRow("infinity") << "inf" << false << 0.0f;
    QTest::newRow("beyond single precision") << "1e39" << false << 0.0f;
    QTest::newRow("largest single") << "3,4e38" << true << 3.4e38f;
  }
  void ReadingNumbers() {
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(float, value);
    float read = -1;
    QCOMPARE(TextForms::ReadNumber(text, &read), isNumber);
    if (isNumber) QCOMPARE(read, value);
  }

  void TypingANumber_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<float>("stored");
    QTest::addColumn<QString>("shown");
    // The old value of every cell is 7.25.
    QTest::newRow("setpoint, comma") << 8 << 3 << "12,5" << 12.5f << "12,500";
    QTest::newRow("setpoint, point is no number") << 8 << 3 << "12.5" << 7.25f << "7,250";
    QTest::newRow("hysteresis, exponent") << 12 << 1 << "1e3" << 1000.0f << "1000,0";
    QTest::newRow("setpoint, tiny") << 11 << 32 << "0,0000001" << 1e-7f << "0,000";
    QTest::newRow("minimum, negative") << 6 << 2 << "-2,5" << -2.5f << "-2,50000";
    QTest::newRow("maximum, rounded to a float")
        << 7 << 5 << "1,123456789" << 1.123456789f << "1,12346";
    QTest::newRow("beyond single precision") << 10 << 4 << "1e39" << 7.25f << "7,250";
    QTest::newRow("word") << 9 << 4 << "abc" << 7.25f << "7,250";
  }
  void TypingANumber() {
    QFETCH(int, grid);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(float, stored);
    QFETCH(QString, shown);
    TLeFloat* field = NumberField(Form().Mip().Config, grid);
    for (int i = 0; i < MaxChannels; ++i) field[i] = 7.25f;
    const auto [page, subPage] = PageOfGrid(grid);
    Show(Pages(), page, subPage);
    auto* shownGrid = Find<TStringGrid>(&Form(), QString("StringGrid%1").arg(grid));

    ClickCell(shownGrid, 1, row);
    Type(typed);
    QVERIFY(!Pages().Modified);
    PressEnter();

    QCOMPARE(field[row - 1].Get(), stored);
    QCOMPARE(shownGrid->Cells(1, row), shown);
    QVERIFY(Pages().Modified);
    QApplication::processEvents();  // the cell editor closes
    QCOMPARE(shownGrid->Cells(1, row), shown);
    for (int i = 0; i < MaxChannels; ++i)
      if (i != row - 1) QCOMPARE(field[i].Get(), 7.25f);
    QCOMPARE(shownGrid->Cells(1, 0), QString("0"));
  }

  void ForAllRowAppliedByMovingToAnotherCell() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 9, 1);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid7");
    ClickCell(grid, 1, 0);
    Type("100");
    ClickCell(grid, 1, 5);
    QCOMPARE(Floats(c.Maximum), QList<float>(MaxChannels, 100.0f));
    QCOMPARE(Column(grid, 1, 0, 32), QStringList(33, "100,00000"));
    QVERIFY(Pages().Modified);
  }

  void ForAllRowWithTextThatIsNoNumber() {
    TConfigBlock& c = Form().Mip().Config;
    c.Hysteresis[3] = 0.5f;
    Show(Pages(), 11);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid12");
    ClickCell(grid, 1, 0);
    Type("12");
    PressEnter();
    QCOMPARE(grid->Cells(1, 0), QString("12,0"));
    Pages().Modified = false;
    ClickCell(grid, 1, 0);
    Type("abc");
    PressEnter();
    QCOMPARE(grid->Cells(1, 0), QString("0"));
    QCOMPARE(Floats(c.Hysteresis), QList<float>(MaxChannels, 12.0f));
    QCOMPARE(grid->Cells(1, 4), QString("12,0"));
    QVERIFY(Pages().Modified);
  }

  void EnterWithoutTypingAppliesTheShownNumber() {
    TConfigBlock& c = Form().Mip().Config;
    for (int i = 0; i < MaxChannels; ++i) c.Minimum[i] = 3.0f;
    c.Minimum[1] = 1.1234567f;
    Show(Pages(), 9, 0);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid6");

    ClickCell(grid, 1, 2);
    PressEnter();
    QCOMPARE(c.Minimum[1].Get(), 1.12346f);
    QCOMPARE(c.Minimum[2].Get(), 3.0f);

    ClickCell(grid, 1, 0);
    PressEnter();
    QCOMPARE(Floats(c.Minimum), QList<float>(MaxChannels, 0.0f));
    QCOMPARE(grid->Cells(1, 0), QString("0,00000"));
  }

  void LeavingTheGridCommits() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 10, 1);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid9");
    ClickCell(grid, 1, 7);
    Type("4,75");
    QCOMPARE(c.Setpoint[1][6].Get(), 0.0f);
    ClickText(Control<QSpinBox>(Form(), "CSpinEditAddress"));
    QCOMPARE(c.Setpoint[1][6].Get(), 4.75f);
    QCOMPARE(grid->Cells(1, 7), QString("4,750"));
    QVERIFY(Pages().Modified);
  }

  void EscapeTakesBackWhatWasTyped() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 9, 0);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid6");
    ClickCell(grid, 1, 3);
    Type("55");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ClickCell(grid, 1, 4);
    QCOMPARE(c.Minimum[2].Get(), 0.0f);
    QCOMPARE(grid->Cells(1, 3), QString("0,00000"));
    QVERIFY(!Pages().Modified);
  }

  // A toolbar command takes no focus; it takes over what is being typed before it writes.
  void CommitEditsTakesOverTheTypedNumber() {
    TConfigBlock& c = Form().Mip().Config;
    Show(Pages(), 11);
    auto* grid = Find<TStringGrid>(&Form(), "StringGrid12");
    ClickCell(grid, 1, 2);
    Type("2,5");
    Pages().CommitEdits();
    QCOMPARE(c.Hysteresis[1].Get(), 2.5f);
    QCOMPARE(grid->Cells(1, 2), QString("2,5"));
    Pages().Modified = false;
    Pages().CommitEdits();  // nothing typed since
    QVERIFY(!Pages().Modified);
  }

  void RefusedNumbersSayWhy_data() {
    QTest::addColumn<QString>("control");  // a physical-values grid (row 3) or Edit1
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("decimalPoint");  // regional settings with a point, not a comma
    QTest::addColumn<QString>("said");       // empty: the number is taken, nothing is said
    const QString hint = "введите число, например 12,5";
    QTest::newRow("setpoint, point") << "StringGrid8"
                                     << "12.5" << false << "«12.5» не число: " + hint;
    QTest::newRow("minimum, word") << "StringGrid6"
                                   << "abc" << false << "«abc» не число: " + hint;
    QTest::newRow("measurement period") << "Edit1"
                                        << "12.5" << false << "«12.5» не число: " + hint;
    QTest::newRow("taken") << "StringGrid8"
                           << "12,5" << false << "";
    QTest::newRow("point regional settings")
        << "StringGrid12"
        << "12,5" << true << "«12,5» не число: введите число, например 12.5";
  }
  // The status line says why the cell or the field shows its old value again.
  void RefusedNumbersSayWhy() {
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(bool, decimalPoint);
    QFETCH(QString, said);
    const QLocale regional;
    if (decimalPoint) QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto restore = qScopeGuard([regional] { QLocale::setDefault(regional); });
    if (control == "Edit1") {
      Show(Pages(), 14);
      auto* edit1 = Find<QLineEdit>(&Form(), "Edit1");
      ClickText(edit1);
      edit1->selectAll();
    } else {
      const auto [page, subPage] = PageOfGrid(control.mid(10).toInt());
      Show(Pages(), page, subPage);
      ClickCell(Find<TStringGrid>(&Form(), control), 1, 3);
    }
    Type(typed);
    PressEnter();
    const QString status = Control<QLabel>(Form(), "ForMessage")->text();
    if (said.isEmpty())
      QVERIFY2(!status.contains("введите число"), qPrintable(status));
    else
      QVERIFY2(status.endsWith("] " + said), qPrintable(status));
  }

  // ---- device settings page ----

  void ArchivePeriodInSeconds() {
    TMIP& mip = Form().Mip();
    mip.NominalPeriod = 0.5f;
    mip.Config.ArchivePeriod = 120;
    Show(Pages(), 14);
    auto* label25 = Find<QLabel>(&Form(), "Label25");
    QCOMPARE(label25->text(), QString("60,000 сек."));
    auto* edit1 = Find<QLineEdit>(&Form(), "Edit1");
    ClickText(edit1);
    edit1->selectAll();
    Type("2");
    PressEnter();
    QCOMPARE(label25->text(), QString("240,000 сек."));
    auto* spin1 = Find<QSpinBox>(&Form(), "CSpinEdit1");
    ClickText(spin1);
    QTest::keyClick(spin1, Qt::Key_Up);
    QCOMPARE(mip.Config.ArchivePeriod.Get(), uint16_t(121));
    QCOMPARE(label25->text(), QString("242,000 сек."));
  }

  void MeasurementPeriodTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<float>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("comma") << "2,5" << 2.5f << "2,500";
    QTest::newRow("no number") << "x" << 1.25f << "1,250";
    QTest::newRow("point") << "3.5" << 1.25f << "1,250";
    QTest::newRow("zero is the nominal period") << "0" << 0.0f << "0,000";
  }
  void MeasurementPeriodTyped() {
    QFETCH(QString, typed);
    QFETCH(float, stored);
    QFETCH(QString, shown);
    TMIP& mip = Form().Mip();
    mip.Config.MeasurePeriod = 1.25f;
    Show(Pages(), 14);
    Pages().Modified = false;
    auto* edit1 = Find<QLineEdit>(&Form(), "Edit1");
    ClickText(edit1);
    edit1->selectAll();
    Type(typed);
    PressEnter();
    QCOMPARE(mip.Config.MeasurePeriod.Get(), stored);
    QCOMPARE(edit1->text(), shown);
    QVERIFY(Pages().Modified);
  }

  void MeasurementPeriodTakenOverWhenEdit1LosesTheFocus() {
    TMIP& mip = Form().Mip();
    Show(Pages(), 14);
    auto* edit1 = Find<QLineEdit>(&Form(), "Edit1");
    ClickText(edit1);
    edit1->selectAll();
    Type("3");
    ClickText(Find<QSpinBox>(&Form(), "CSpinEdit2"));
    QCOMPARE(mip.Config.MeasurePeriod.Get(), 3.0f);
    QCOMPARE(edit1->text(), QString("3,000"));
  }

  void SpinEditsEditTheirFields() {
    TMIP& mip = Form().Mip();
    Show(Pages(), 14);
    Pages().Modified = false;
    auto* spin2 = Find<QSpinBox>(&Form(), "CSpinEdit2");
    ClickText(spin2);
    spin2->selectAll();
    Type("1234");
    QCOMPARE(mip.Config.Password.Get(), uint16_t(1234));
    QVERIFY(Pages().Modified);

    // A text that is no integer becomes the minimum when the entry is finished.
    spin2->selectAll();
    QTest::keyClick(spin2, Qt::Key_Delete);
    PressEnter();
    QCOMPARE(spin2->text(), QString("0"));
    QCOMPARE(mip.Config.Password.Get(), uint16_t(0));

    Pages().Modified = false;
    auto* spin3 = Find<QSpinBox>(&Form(), "CSpinEdit3");
    ClickText(spin3);
    spin3->selectAll();
    Type("17");
    QCOMPARE(mip.InterfaceAddress, uint8_t(17));
    QVERIFY(Pages().Modified);
  }

  void SpeedChosenFromTheList() {
    TMIP& mip = Form().Mip();
    Show(Pages(), 14);
    Pages().Modified = false;
    auto* combo3 = Find<QComboBox>(&Form(), "ComboBox3");
    combo3->setFocus();
    QTest::keyClick(combo3, Qt::Key_Down);
    QCOMPARE(mip.Config.InterfaceSpeed, uint8_t(1));
    QVERIFY(Pages().Modified);
  }

  // Rendering a value outside a spin edit's range: the field takes the value shown, and that is
  // no edit.
  void OutOfRangeValuesTakeTheShownValue_data() {
    QTest::addColumn<int>("shownBefore");
    QTest::newRow("the text changes") << 5;
    QTest::newRow("the text stays") << 1;
  }
  void OutOfRangeValuesTakeTheShownValue() {
    QFETCH(int, shownBefore);
    TMIP& mip = Form().Mip();
    Show(Pages(), 14);
    Find<QSpinBox>(&Form(), "CSpinEdit3")->setValue(shownBefore);
    Find<QSpinBox>(&Form(), "CSpinEdit2")->setValue(shownBefore == 1 ? 9999 : 5);
    mip.InterfaceAddress = 0;  // as after New
    mip.Config.Password = 12000;
    Pages().Modified = false;
    Pages().Render();
    QCOMPARE(Find<QSpinBox>(&Form(), "CSpinEdit3")->text(), QString("1"));
    QCOMPARE(mip.InterfaceAddress, uint8_t(1));
    QCOMPARE(Find<QSpinBox>(&Form(), "CSpinEdit2")->text(), QString("9999"));
    QCOMPARE(mip.Config.Password.Get(), uint16_t(9999));
    QVERIFY(!Pages().Modified);
  }

  void AddressButtonRequestsTheAddressJob() {
    TMIP& mip = Form().Mip();
    mip.InterfaceAddress = 0;
    Show(Pages(), 14);
    Find<QSpinBox>(&Form(), "CSpinEdit3")->setValue(1);
    mip.InterfaceAddress = 0;
    Pages().Modified = false;
    QSignalSpy requested(&Pages(), &TPageViews::JobRequested);
    QTest::mouseClick(Find<QToolButton>(&Form(), "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested[0].at(0).value<uint8_t>(), uint8_t(159));
    QCOMPARE(mip.InterfaceAddress, uint8_t(1));
    QVERIFY(!Pages().Modified);
  }

  // Settings not read since connecting show blank. Typing the very value a blank stands for is an
  // edit all the same, and a typed address survives the page being drawn again.
  void TypedValuesOnANotReadSettingsPage() {
    TMIP& mip = Form().Mip();
    mip.ForgetReadGroups();
    Show(Pages(), 14);
    Pages().Modified = false;
    auto* spin1 = Find<QSpinBox>(&Form(), "CSpinEdit1");
    QCOMPARE(spin1->text(), QString(" "));
    ClickText(spin1);
    Type("0");
    PressEnter();
    QCOMPARE(spin1->text(), QString("0"));
    QVERIFY(mip.IsEdited(&mip.Config.ArchivePeriod, 2));
    QVERIFY(Pages().Modified);

    auto* spin3 = Find<QSpinBox>(&Form(), "CSpinEdit3");
    ClickText(spin3);
    spin3->selectAll();
    Type("5");
    PressEnter();
    Pages().Render();
    QCOMPARE(spin3->text(), QString("5"));
    QSignalSpy requested(&Pages(), &TPageViews::JobRequested);
    QTest::mouseClick(Find<QToolButton>(&Form(), "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(mip.InterfaceAddress, uint8_t(5));
  }

  void ClockPickersSetTheClockWithoutModifying() {
    TMIP& mip = Form().Mip();
    mip.DeviceClock = EncodeDateTime({2026, 1, 10, 14, 30, 0, 0});
    Show(Pages(), 14);
    Pages().Modified = false;
    auto* date = Find<QDateEdit>(&Form(), "DateTimePicker1");
    date->setFocus(Qt::TabFocusReason);  // selects the day
    Type("1503");                        // a full day moves on to the month
    QCOMPARE(date->date(), QDate(2026, 3, 15));
    QCOMPARE(mip.DeviceClock, EncodeDateTime({2026, 3, 15, 14, 30, 0, 0}));
    auto* time = Find<QTimeEdit>(&Form(), "DateTimePicker2");
    time->setFocus(Qt::TabFocusReason);  // selects the hour
    Type("09");
    QCOMPARE(mip.DeviceClock, EncodeDateTime({2026, 3, 15, 9, 30, 0, 0}));
    QVERIFY(!Pages().Modified);
  }

  void ClockButtons() {
    TMIP& mip = Form().Mip();
    const TDateTime shown = EncodeDateTime({2020, 5, 1, 8, 0, 0, 0});
    mip.DeviceClock = shown;
    Show(Pages(), 14);
    Pages().Modified = false;
    QSignalSpy requested(&Pages(), &TPageViews::JobRequested);

    QTest::mouseClick(Find<QPushButton>(&Form(), "Button1"), Qt::LeftButton);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested[0].at(0).value<uint8_t>(), uint8_t(156));
    QCOMPARE(mip.DeviceClock, shown);

    const TDateTime before = NowLocal();
    QTest::mouseClick(Find<QPushButton>(&Form(), "Button2"), Qt::LeftButton);
    const TDateTime after = NowLocal();
    QCOMPARE(requested.count(), 2);
    QCOMPARE(requested[1].at(0).value<uint8_t>(), uint8_t(156));
    QVERIFY(mip.DeviceClock >= before && mip.DeviceClock <= after);
    QCOMPARE(Find<QDateEdit>(&Form(), "DateTimePicker1")->date(), QDate(2020, 5, 1));
    QCOMPARE(Find<QTimeEdit>(&Form(), "DateTimePicker2")->time(), QTime(8, 0, 0));
    QVERIFY(!Pages().Modified);
  }

 private:
  TMainForm& Form() { return fixture_->Form(); }
  TPageViews& Pages() { return fixture_->Form().Pages(); }

  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestEditing)
#include "EditingTest.moc"
