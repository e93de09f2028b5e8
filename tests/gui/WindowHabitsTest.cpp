// The window's habits: where it stood and which page it showed survive a run in a section of the
// settings file of its own, and a damaged section gives the defaults without harm.
#include <QScreen>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "shell/IniFile.h"
#include "views/PageViews.h"

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
};

K7104_GUI_TEST_MAIN(TestWindowHabits)
#include "WindowHabitsTest.moc"
