// The window's habits: where it stood and which page it showed survive a run in a section of the
// settings file of its own, and a damaged section gives the defaults without harm; the choice
// lists, button lists and commands work from the keyboard as they do with the mouse.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "shell/IniFile.h"
#include "shell/LogDialog.h"
#include "sim/Simulator.h"
#include "views/PageViews.h"

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

void ShowForm(TMainForm& form) {
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
}

void ClickTab(TglPageControl* control, int index) {
  QToolButton* tab = control->TabButton(index);
  QTest::mouseClick(tab, Qt::LeftButton, Qt::NoModifier, tab->rect().center());
}

// The place a shown window on a settings file without [Window] takes.
QRect DefaultGeometry() {
  TFormFixture fixture;
  fixture.Form().show();
  if (!QTest::qWaitForWindowExposed(&fixture.Form())) return {};
  return fixture.Form().geometry();
}

void Press(QWidget* widget, Qt::Key key, int times = 1) {
  for (int i = 0; i < times; ++i) QTest::keyClick(widget, key);
}

int ActiveItem(const TPopupList* list) {
  return static_cast<int>(list->actions().indexOf(list->activeAction()));
}

void ShowActive(TMainForm& form) {
  form.show();
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) qWarning("the window did not become active");
}

}  // namespace

class TestWindowHabits : public QObject {
  Q_OBJECT

 private slots:
  void GeometryAndPageSurviveARun() {
    TFormFixture fixture(NineKeys, true);
    {
      TMainForm& form = fixture.Form();
      ShowForm(form);
      const QRect screen = form.screen()->availableGeometry();
      const QRect wanted(screen.left() + 37, screen.top() + 21, 640, 430);
      form.setGeometry(wanted);
      QTRY_COMPARE(form.geometry(), wanted);
      ClickTab(form.Pages().glPageControl1, 12);
      ClickTab(form.Pages().glPageControl4, 2);
      QCOMPARE(int(form.Pages().PageJobCode()), 18);
    }
    const QRect left = fixture.Form().geometry();
    fixture.Close();
    const TIniFile ini(fixture.SettingsPath());
    QCOMPARE(ini.ReadInteger("SettingsPort", "PortNumber", -1), 3);
    QCOMPARE(ini.ReadInteger("Settings", "CurrentAddress", -1), 7);

    auto again = OpenAgain(fixture);
    ShowForm(*again);
    QCOMPARE(again->geometry(), left);
    QCOMPARE(again->Pages().glPageControl1->CurrentIndex(), 12);
    QCOMPARE(again->Pages().glPageControl4->CurrentIndex(), 2);
    QCOMPARE(int(again->Pages().PageJobCode()), 18);
    QCOMPARE(int(again->RememberedPageJobCode), 18);
    QVERIFY(!again->Pages().Modified);
    QVERIFY(fixture.Dialogs().Asked.isEmpty());
  }

  void MaximisedWindowComesBackMaximised() {
    TFormFixture fixture;
    QRect normal;
    {
      TMainForm& form = fixture.Form();
      ShowForm(form);
      normal = form.geometry();
      form.showMaximized();
      QTRY_VERIFY(form.isMaximized());
      ClickTab(form.Pages().glPageControl1, 15);
    }
    fixture.Close();
    auto again = OpenAgain(fixture);
    ShowForm(*again);
    QTRY_VERIFY(again->isMaximized());
    QCOMPARE(again->Pages().glPageControl1->CurrentIndex(), 15);
    again->showNormal();
    QTRY_COMPARE(again->geometry().size(), normal.size());
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
    const QSize defaultSize;
    const QPoint centred(-1, -1);
    QTest::newRow("garbage") << "Left=abc\nTop=\nWidth=-640\nHeight=x7\nMaximized=yes\n"
                                "Page=Реле\nSubPage=??\n"
                             << defaultSize << centred << 0;
    QTest::newRow("negative size, page out of range")
        << "Left=10\nTop=12\nWidth=-5\nHeight=-5\nMaximized=0\nPage=16\nSubPage=0\n"
        << defaultSize << QPoint(10, 12) << 0;
    QTest::newRow("huge size, negative page")
        << "Left=4\nTop=6\nWidth=2000000000\nHeight=99999\nPage=-3\nSubPage=-1\n"
        << defaultSize << QPoint(4, 6) << 0;
    QTest::newRow("off-screen position") << "Left=-30000\nTop=25000\nWidth=620\nHeight=410\n"
                                         << QSize(620, 410) << centred << 0;
    QTest::newRow("above the screen") << "Left=100\nTop=-200\nWidth=620\nHeight=410\n"
                                      << QSize(620, 410) << centred << 0;
    QTest::newRow("sub-page out of range") << "Width=620\nHeight=410\nPage=9\nSubPage=7\n"
                                           << QSize(620, 410) << centred << 9;
    QTest::newRow("binary") << QString::fromLatin1("Left=\x01\x02\nWidth=\x7f\xff\n") << defaultSize
                            << centred << 0;
  }

  void DamagedSectionGivesTheDefaults() {
    QFETCH(QString, section);
    QFETCH(QSize, size);
    QFETCH(QPoint, topLeft);
    QFETCH(int, page);
    const QRect defaults = DefaultGeometry();
    TFormFixture fixture(NineKeys + "[Window]\n" + section, true);
    TMainForm& form = fixture.Form();
    ShowForm(form);
    QVERIFY(!form.isMaximized());
    QCOMPARE(form.size(), size.isEmpty() ? defaults.size() : size);
    if (topLeft == QPoint(-1, -1))
      QVERIFY((form.geometry().center() - defaults.center()).manhattanLength() <= 2);
    else
      QCOMPARE(form.geometry().topLeft(), topLeft);
    QCOMPARE(form.Pages().glPageControl1->CurrentIndex(), page);
    if (page == 9) QCOMPARE(form.Pages().glPageControl2->CurrentIndex(), 0);
    const int width = form.width();
    fixture.Close();
    // The next run finds sound values, and the nine keys are as they were.
    const TIniFile ini(fixture.SettingsPath());
    QCOMPARE(ini.ReadInteger("Window", "Width", -1), width);
    QCOMPARE(ini.ReadInteger("Window", "Page", -1), page);
    QCOMPARE(ini.ReadInteger("Window", "Maximized", -1), 0);
    QCOMPARE(ini.ReadInteger("SettingsPort", "PortNumber", -1), 3);
    QCOMPARE(ini.ReadInteger("Settings", "CurrentAddress", -1), 7);
  }

  // Enter or F2 on a cell opens its list as a click does, the arrow keys move, Enter chooses and
  // Escape closes without a change.
  void ChoiceListsFromTheKeyboard() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    TPageViews& pages = form.Pages();
    ShowActive(form);
    ClickPage(form, 2);
    TStringGrid* sensors = pages.StringGrid(3);
    sensors->setFocus();
    Press(sensors, Qt::Key_Down, 3);
    Press(sensors, Qt::Key_Return);
    TPopupList* list = pages.MenuTypeSensor;
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->BannerText(), QString("Пожалуйста выбирите тип датчика для 3-го канала"));
    Press(list, Qt::Key_Down, 22);
    QCOMPARE(ActiveItem(list), 21);
    Press(list, Qt::Key_Return);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(int(form.Mip().Config.TypeSensor[2]), 21);
    QCOMPARE(sensors->Cells(1, 3), QString("21. Термосопротивление 100 M"));
    QVERIFY(pages.Modified);

    Press(sensors, Qt::Key_Up);
    Press(sensors, Qt::Key_F2);
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->BannerText(), QString("Пожалуйста выбирите тип датчика для 2-го канала"));
    Press(list, Qt::Key_Down, 5);
    Press(list, Qt::Key_Escape);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(int(form.Mip().Config.TypeSensor[1]), 0);
    QCOMPARE(sensors->Cells(1, 2), QString("0. Нет датчика"));

    // The logic grids: the arrow keys reach the other columns.
    ClickPage(form, 13, 2);
    TStringGrid* logic = pages.StringGrid(20);
    logic->setFocus();
    Press(logic, Qt::Key_Right);
    Press(logic, Qt::Key_Enter);
    TPopupList* faults = pages.MenuLogicRelay;
    QTRY_VERIFY(faults->isVisible());
    QCOMPARE(faults->BannerText(), QString("Логики реле для всех каналов"));
    Press(faults, Qt::Key_Down, 3);
    Press(faults, Qt::Key_Return);
    QTRY_VERIFY(!faults->isVisible());
    for (int ch = 0; ch < MaxChannels; ++ch) QCOMPARE(int(form.Mip().Config.LogicFault[2][ch]), 2);
    QCOMPARE(logic->Cells(2, 33), QString("Выключить реле"));
    QVERIFY(fixture.Dialogs().Asked.isEmpty());
  }

  // Items beyond the instrument's relays are passed over by the arrow keys as they refuse clicks.
  void KeysPassOverItemsBeyondTheInstrumentsRelays() {
    k7104sim::Line line;
    line.AddInstrument({1, 6, 8, 4});
    line.Start();
    TFormFixture fixture(LineSettings(QString::fromStdString(line.SlavePath())), true);
    TMainForm& form = fixture.Form();
    TPageViews& pages = form.Pages();
    ShowActive(form);
    ClickPage(form, 12, 1);
    form.ToolButton(8)->click();
    form.ToolButton(11)->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QVERIFY(NoMoreJobs(form));
    TStringGrid* relays = pages.StringGrid(14);
    relays->setFocus();
    Press(relays, Qt::Key_Down, 3);
    Press(relays, Qt::Key_Return);
    TPopupList* list = pages.MenuRelay;
    QTRY_VERIFY(list->isVisible());
    QSet<int> reached;
    for (int i = 0; i < 2 * list->ItemCount(); ++i) {
      Press(list, Qt::Key_Down);
      reached << ActiveItem(list);
    }
    QCOMPARE(reached, (QSet<int>{0, 1, 2, 3, 4}));
    while (ActiveItem(list) != 0) Press(list, Qt::Key_Down);
    Press(list, Qt::Key_Up);
    QCOMPARE(ActiveItem(list), 4);
    Press(list, Qt::Key_Return);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(int(form.Mip().Config.SetpointRelay[1][2]), 4);
    QCOMPARE(relays->Cells(1, 3), QString("Реле № 4"));
    // A row beyond the instrument's channels cannot be reached at all.
    Press(relays, Qt::Key_Down, 40);
    QCOMPARE(relays->currentRow() + relays->FixedRows(), 8);
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
  }

  // The button lists: Up and Down choose the line, Left and Right push its buttons as clicks do.
  void ButtonListsFromTheKeyboard() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    TPageViews& pages = form.Pages();
    ShowActive(form);
    ClickPage(form, 3);
    TglAskListBox* wires = pages.glAskListBox1;
    wires->setFocus();
    QVERIFY(wires->hasFocus());
    Press(wires, Qt::Key_Down);
    Press(wires, Qt::Key_Left);
    QCOMPARE(wires->State(0), TglAskListBox::Button1);
    for (int ch = 0; ch < MaxChannels; ++ch) QCOMPARE(int(form.Mip().Config.ThreeWire[ch]), 1);
    Press(wires, Qt::Key_Down, 5);
    QCOMPARE(wires->ItemIndex(), 5);
    Press(wires, Qt::Key_Right);
    QCOMPARE(wires->State(5), TglAskListBox::Button2);
    QCOMPARE(int(form.Mip().Config.ThreeWire[4]), 0);
    QCOMPARE(wires->State(0), TglAskListBox::None);
    // The pushed button again: a channel's line keeps its button.
    Press(wires, Qt::Key_Right);
    QCOMPARE(wires->State(5), TglAskListBox::Button2);
    Press(wires, Qt::Key_End);
    QCOMPARE(wires->ItemIndex(), 32);
    Press(wires, Qt::Key_Home);
    QCOMPARE(wires->ItemIndex(), 0);
    QVERIFY(pages.Modified);
  }

  // The commands' keys, and F10 for the menu, whose texts stay as they are.
  void CommandsFromTheKeyboard() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowActive(form);
    form.Pages().StringGrid(1)->setFocus();
    Press(QApplication::focusWidget(), Qt::Key_F10);
    QTRY_VERIFY(form.MenuItem(1)->menu()->isVisible());
    QCOMPARE(form.oxMenu1->activeAction(), form.MenuItem(1));
    QCOMPARE(form.MenuItem(1)->text(), QString("Файл"));
    // "Версия" is a command on the menu bar itself: the arrow keys reach it there too.
    Press(form.MenuItem(1)->menu(), Qt::Key_Left);
    QTRY_VERIFY(form.ViewMenu->isVisible());
    Press(form.ViewMenu, Qt::Key_Left);
    QTRY_COMPARE(form.oxMenu1->activeAction(), form.MenuItem(32));
    Press(form.oxMenu1, Qt::Key_Return);
    QTRY_COMPARE(Shown(fixture.Dialogs(), "About").size(), 1);

    bool logShown = false;
    WhenModalShown<TLogDialog>([&logShown](TLogDialog* log) {
      logShown = true;
      log->reject();
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    QTRY_VERIFY(logShown);
    // Read current with the port closed says so, as the menu item does.
    ShowActive(form);
    Press(QApplication::focusWidget(), Qt::Key_F5);
    QTRY_COMPARE(Shown(fixture.Dialogs(), "Error").size(), 1);
    QVERIFY(Shown(fixture.Dialogs(), "Error").first().startsWith(PortNotOpen + " При чтении"));
    // The pages, one after the other, around the end.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(form.Pages().glPageControl1->CurrentIndex(), 1);
    QCOMPARE(int(form.RememberedPageJobCode), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(form.Pages().glPageControl1->CurrentIndex(), 15);
    QCOMPARE(int(form.RememberedPageJobCode), 34);
    for (int n : {2, 3, 4, 6, 12, 14, 15, 16, 17, 18, 21, 32})
      QVERIFY2(!form.MenuItem(n)->shortcut().isEmpty(), qPrintable(form.MenuItem(n)->text()));
  }

  // Run once more with QT_SCALE_FACTOR=2: the connection and state pictures have a device pixel
  // for each pixel of the screen, not a scaled-up picture of the plain size.
  void PicturesAreDrawnForTheScreensScale() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowForm(form);
    const qreal ratio = form.devicePixelRatioF();
    const QPixmap connection = form.ImageStateConnect->pixmap();
    QCOMPARE(connection.devicePixelRatio(), ratio);
    QCOMPARE(connection.width(), qRound(form.ImageStateConnect->height() * ratio));
    ClickPage(form, 14);
    const QPixmap state = form.Pages().Image1->pixmap();
    QCOMPARE(state.devicePixelRatio(), ratio);
    QCOMPARE(state.width(), qRound(form.Pages().Image1->width() * ratio));
  }
};

K7104_GUI_TEST_MAIN(TestWindowHabits)
#include "WindowHabitsTest.moc"
