// The window's habits: where it stood survives a run in a section of the settings file of its
// own while page 0 is current at start, a damaged section gives the defaults without harm, and the
// choice lists, button lists and commands work from the keyboard as they do with the mouse.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/settings/IniFile.h"

using namespace Steps;

namespace {

const QString NineKeys =
    "[SettingsPort]\nPortNumber=3\nBaudRate=6\nWaitTime=1300\n"
    "[Settings]\nCurrentAddress=7\nShowHint=1\nAddressMin=1\nAddressMax=255\nMinArch=1\n"
    "MaxArch=100\n";

std::unique_ptr<TMainForm> OpenAgain(TFormFixture& fixture) {
  TMainFormOptions options;
  options.SettingsPath = fixture.SettingsPath();
  options.Dialogs = &fixture.Dialogs();
  return std::make_unique<TMainForm>(options);
}

void ShowActive(TMainForm& form) {
  form.show();
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) qWarning("the window did not become active");
}

void Press(QWidget* widget, Qt::Key key, int times = 1) {
  for (int i = 0; i < times; ++i) QTest::keyClick(widget, key);
}

int ActiveItem(const TPopupList* list) {
  return static_cast<int>(list->actions().indexOf(list->activeAction()));
}

}  // namespace

class TestWindowHabits : public QObject {
  Q_OBJECT

 private slots:
  void PlaceSurvivesARunAndPage0IsCurrent_data() {
    QTest::addColumn<bool>("maximised");
    QTest::newRow("normal") << false;
    QTest::newRow("maximised") << true;
  }

  void PlaceSurvivesARunAndPage0IsCurrent() {
    QFETCH(bool, maximised);
    TFormFixture fixture(NineKeys, true);
    ShowActive(fixture.Form());
    const QRect screen = fixture.Form().screen()->availableGeometry();
    const QRect wanted(screen.left() + 37, screen.top() + 21, 640, 430);
    fixture.Form().setGeometry(wanted);
    QTRY_COMPARE(fixture.Form().geometry(), wanted);
    if (maximised) fixture.Form().showMaximized();
    QTRY_COMPARE(fixture.Form().isMaximized(), maximised);
    ClickPage(fixture.Form(), 12, 2);
    fixture.Close();

    auto again = OpenAgain(fixture);
    ShowActive(*again);
    QTRY_COMPARE(again->isMaximized(), maximised);
    again->showNormal();
    QTRY_COMPARE(again->geometry(), wanted);
    // Page 0 is current at start, whichever page the last run was closed on.
    QCOMPARE(again->Pages().glPageControl1->CurrentIndex(), 0);
    QCOMPARE(again->Pages().glPageControl4->CurrentIndex(), 0);
    QCOMPARE(int(Devices(*again).PageChange().RememberedPageJobCode()), 0);
    QVERIFY(!again->Pages().Modified);
    QVERIFY(fixture.Dialogs().Asked.isEmpty());
    again.reset();
    const TIniFile ini(fixture.SettingsPath());
    QCOMPARE(ini.ReadInteger("SettingsPort", "PortNumber", -1), 3);
    QCOMPARE(ini.ReadInteger("Settings", "CurrentAddress", -1), 7);
  }

  void WindowNeverShownLeavesTheFileAsItWas() {
    TFormFixture fixture(NineKeys, true);
    fixture.Close();
    QCOMPARE(ReadText(fixture.SettingsPath()), NineKeys);
  }

  void DamagedSectionGivesTheDefaults_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QSize>("size");      // empty: the default size
    QTest::addColumn<QPoint>("topLeft");  // (-1, -1): centred
    QTest::addColumn<int>("page");
    const QPoint centred(-1, -1);
    QTest::newRow("garbage") << "Left=abc\nTop=\nWidth=-640\nHeight=\x01\x7f\nMaximized=yes\n"
                                "Page=Реле\nSubPage=??\n"
                             << QSize() << centred << 0;
    QTest::newRow("sizes out of range, page out of range")
        << "Left=10\nTop=12\nWidth=-5\nHeight=99999\nPage=16\nSubPage=0\n"
        << QSize() << QPoint(10, 12) << 0;
    QTest::newRow("off-screen position") << "Left=-30000\nTop=-200\nWidth=620\nHeight=410\n"
                                         << QSize(620, 410) << centred << 0;
    QTest::newRow("a page of the last run") << "Width=620\nHeight=410\nPage=9\nSubPage=0\n"
                                            << QSize(620, 410) << centred << 0;
  }

  void DamagedSectionGivesTheDefaults() {
    QFETCH(QString, section);
    QFETCH(QSize, size);
    QFETCH(QPoint, topLeft);
    QFETCH(int, page);
    TFormFixture plain;
    ShowActive(plain.Form());
    const QRect defaults = plain.Form().geometry();
    TFormFixture fixture(NineKeys + "[Window]\n" + section, true);
    TMainForm& form = fixture.Form();
    ShowActive(form);
    QVERIFY(!form.isMaximized());
    QCOMPARE(form.size(), size.isEmpty() ? defaults.size() : size);
    if (topLeft == QPoint(-1, -1))
      QVERIFY((form.geometry().center() - defaults.center()).manhattanLength() <= 2);
    else
      QCOMPARE(form.geometry().topLeft(), topLeft);
    QCOMPARE(form.Pages().glPageControl1->CurrentIndex(), page);
    QCOMPARE(form.Pages().glPageControl2->CurrentIndex(), 0);
    const int width = form.width();
    fixture.Close();
    // The next run finds sound values.
    const TIniFile ini(fixture.SettingsPath());
    QCOMPARE(ini.ReadInteger("Window", "Width", -1), width);
    QCOMPARE(ini.ReadInteger("SettingsPort", "PortNumber", -1), 3);
  }

  // Enter or F2 on a cell opens its list as a click does, the arrow keys move, Enter chooses and
  // Escape closes without a change.
  void ChoiceListsFromTheKeyboard() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowActive(form);
    ClickPage(form, 2);
    TStringGrid* sensors = form.Pages().StringGrid(3);
    TPopupList* list = form.Pages().MenuTypeSensor;
    sensors->setFocus();
    Press(sensors, Qt::Key_Down, 3);
    Press(sensors, Qt::Key_Return);
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->BannerText(), QString("Пожалуйста выбирите тип датчика для 3-го канала"));
    Press(list, Qt::Key_Down, 22);
    Press(list, Qt::Key_Return);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(int(form.Mip().Config.TypeSensor[2]), 21);
    QCOMPARE(sensors->Cells(1, 3), QString("21. Термосопротивление 100 M"));
    QVERIFY(form.Pages().Modified);

    Press(sensors, Qt::Key_Up);
    Press(sensors, Qt::Key_F2);
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->BannerText(), QString("Пожалуйста выбирите тип датчика для 2-го канала"));
    Press(list, Qt::Key_Down, 5);
    Press(list, Qt::Key_Escape);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(int(form.Mip().Config.TypeSensor[1]), 0);
    QCOMPARE(sensors->Cells(1, 2), QString("0. Нет датчика"));
  }

  // Items and rows beyond the instrument's counts are passed over by the keys as they refuse
  // clicks.
  void KeysPassOverWhatTheInstrumentHasNot() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 6, 8, 4});
    line.Start();
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    ShowActive(form);
    ClickPage(form, 12, 1);
    Button(form, "ToolButton8")->click();
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QVERIFY(NoMoreJobs(form));
    TStringGrid* relays = form.Pages().StringGrid(14);
    TPopupList* list = form.Pages().MenuRelay;
    relays->setFocus();
    Press(relays, Qt::Key_Down, 3);
    Press(relays, Qt::Key_Return);
    QTRY_VERIFY(list->isVisible());
    QSet<int> reached;
    for (int i = 0; i < 2 * list->ItemCount(); ++i) {
      Press(list, Qt::Key_Down);
      reached << ActiveItem(list);
    }
    QCOMPARE(reached, (QSet<int>{0, 1, 2, 3, 4}));
    while (ActiveItem(list) != 0) Press(list, Qt::Key_Down);
    Press(list, Qt::Key_Up);
    Press(list, Qt::Key_Return);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(int(form.Mip().Config.SetpointRelay[1][2]), 4);
    QCOMPARE(relays->Cells(1, 3), QString("Реле № 4"));
    Press(relays, Qt::Key_Down, 40);
    QCOMPARE(relays->currentRow() + relays->FixedRows(), 8);
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
  }

  // The button lists: Up and Down choose the line, Left and Right push its buttons as clicks do.
  void ButtonListsFromTheKeyboard() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowActive(form);
    ClickPage(form, 3);
    TglAskListBox* wires = form.Pages().glAskListBox1;
    wires->setFocus();
    Press(wires, Qt::Key_Down);
    Press(wires, Qt::Key_Left);
    for (int ch = 0; ch < MaxChannels; ++ch) QCOMPARE(int(form.Mip().Config.ThreeWire[ch]), 1);
    Press(wires, Qt::Key_Down, 5);
    Press(wires, Qt::Key_Right);
    QCOMPARE(wires->State(5), TglAskListBox::Button2);
    QCOMPARE(int(form.Mip().Config.ThreeWire[4]), 0);
    QCOMPARE(wires->State(0), TglAskListBox::None);
    // The pushed button again: a channel's line keeps its button.
    Press(wires, Qt::Key_Right);
    QCOMPARE(wires->State(5), TglAskListBox::Button2);
    Press(wires, Qt::Key_End);
    QCOMPARE(wires->ItemIndex(), 32);
  }

  // F10 opens the menu, whose texts stay as they are; the arrow keys reach "Версия", the command
  // on the menu bar itself. The commands' own keys and the page keys.
  void CommandsFromTheKeyboard() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowActive(form);
    form.Pages().StringGrid(1)->setFocus();
    Press(QApplication::focusWidget(), Qt::Key_F10);
    QTRY_VERIFY(Item(form, "N1")->menu()->isVisible());
    QCOMPARE(Item(form, "N1")->text(), QString("Файл"));
    Press(Item(form, "N1")->menu(), Qt::Key_Left);
    QTRY_VERIFY(Control<QMenu>(form, "SetupMenu")->isVisible());
    Press(Control<QMenu>(form, "SetupMenu"), Qt::Key_Left);
    QTRY_VERIFY(Control<QMenu>(form, "ViewMenu")->isVisible());
    Press(Control<QMenu>(form, "ViewMenu"), Qt::Key_Left);
    QTRY_COMPARE(Control<QMenuBar>(form, "oxMenu1")->activeAction(), Item(form, "N32"));
    Press(Control<QMenuBar>(form, "oxMenu1"), Qt::Key_Return);
    QTRY_COMPARE(Shown(fixture.Dialogs(), "About").size(), 1);

    ShowActive(form);
    Press(QApplication::focusWidget(), Qt::Key_F5);
    QTRY_COMPARE(Shown(fixture.Dialogs(), "Error").size(), 1);
    QVERIFY(Shown(fixture.Dialogs(), "Error").first().startsWith(PortNotOpen + " При чтении"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()), 34);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()), 1);
  }

  // Run once more with QT_SCALE_FACTOR=2: the connection and state pictures have a device pixel
  // for each pixel of the screen, not a scaled-up picture of the plain size.
  void PicturesAreDrawnForTheScreensScale() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowActive(form);
    const qreal ratio = form.devicePixelRatioF();
    const QPixmap connection = Control<QLabel>(form, "ImageStateConnect")->pixmap();
    QCOMPARE(connection.devicePixelRatio(), ratio);
    QCOMPARE(connection.width(),
             qRound(Control<QLabel>(form, "ImageStateConnect")->height() * ratio));
    ClickPage(form, 14);
    const QPixmap state = form.Pages().Image1->pixmap();
    QCOMPARE(state.devicePixelRatio(), ratio);
    QCOMPARE(state.width(), qRound(form.Pages().Image1->width() * ratio));
  }
};

K7104_GUI_TEST_MAIN(TestWindowHabits)
#include "WindowHabitsTest.moc"
