// The program's application object and what the window shows of the platform: an error escaping
// a handler is reported and the program goes on, Qt's own texts follow the system's language,
// and the checked menu items with pictures show their check.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

#include <stdexcept>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/window/Application.h"
#include "shell/window/CheckMark.h"

using namespace Steps;

namespace {

TApplication* App() {
  return static_cast<TApplication*>(QApplication::instance());
}

// Pixels of the tick's colour inside the menu item as the menu shows it.
int TickPixels(QMenu* menu, QAction* item) {
  const QImage shot = menu->grab().toImage();
  const QRect area = menu->actionGeometry(item);
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      count += QColor(shot.pixel(x, y)) == CheckMark::Colour();
  return count;
}

// Opens the menu by clicking its title in the menu bar, as the user does.
QMenu* OpenMenu(TMainForm& form, const QString& name) {
  auto* menu = form.findChild<QMenu*>(name);
  const QRect title = Control<QMenuBar>(form, "oxMenu1")->actionGeometry(menu->menuAction());
  QTest::mouseClick(Control<QMenuBar>(form, "oxMenu1"), Qt::LeftButton, {}, title.center());
  if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, Patience)) return nullptr;
  return menu;
}

QString WithoutMnemonic(QString text) {
  return text.remove('&');
}

}  // namespace

class TestApplication : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void ErrorEscapingAHandlerIsReportedAndTheProgramGoesOn() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.show();
    App()->SetErrorReport([&form](const QString& sentence) { form.Report(sentence, true); });
    auto* faulty = new QPushButton("Сбой", &form);
    connect(faulty, &QPushButton::clicked, [] { throw std::runtime_error("Сбой обработчика"); });
    faulty->show();
    QTest::mouseClick(faulty, Qt::LeftButton);
    QTimer::singleShot(0, &form, [] { throw 42; });
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture.Dialogs(), "Error").size(), 2, Patience);
    QCOMPARE(Shown(fixture.Dialogs(), "Error"),
             QStringList({"Сбой обработчика", "Неизвестная ошибка!!!"}));
    QCOMPARE(ReportedError(form, "Сбой обработчика"), 1);
    QCOMPARE(fixture.Dialogs().Asked[0].Caption, QString("Ошибка"));

    // The window still answers.
    QTest::mouseClick(Button(form, "ToolButton6"), Qt::LeftButton);
    QVERIFY(!form.ShowHint());
    App()->SetErrorReport({});
  }

  void QtTextsFollowTheSystemLanguage() {
    QVERIFY(App()->LoadQtTranslations(QLocale(QLocale::Russian, QLocale::Russia)));
    TFormFixture fixture;
    TQtDialogs boxes;
    QStringList buttons;
    WhenModalShown<QMessageBox>([&buttons](QMessageBox* box) {
      for (QAbstractButton* button : box->buttons()) buttons << WithoutMnemonic(button->text());
      box->button(QMessageBox::No)->click();
    });
    QVERIFY(!boxes.Ask(&fixture.Form(), "Запись в прибор", "Записать изменения в прибор?"));
    buttons.sort();
    QCOMPARE(buttons, QStringList({"Да", "Нет"}));
    QVERIFY(!App()->LoadQtTranslations(QLocale(QLocale::Zulu)));
  }

  void CheckedMenuItemsShowTheirCheck() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 6, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, 2);

    QMenu* service = OpenMenu(form, "N7Menu");
    QVERIFY(service);
    QVERIFY(Item(form, "N10")->isChecked() && Item(form, "N27")->isChecked());
    QVERIFY(TickPixels(service, Item(form, "N10")) > 5);
    QVERIFY(TickPixels(service, Item(form, "N27")) > 5);
    QVERIFY(TickPixels(service, Item(form, "N8")) == 0);
    // Clicking the item unchecks it, and the check goes.
    QTest::mouseClick(service, Qt::LeftButton, {},
                      service->actionGeometry(Item(form, "N10")).center());
    QTRY_VERIFY_WITH_TIMEOUT(!service->isVisible(), Patience);
    QVERIFY(!form.ShowHint());
    service = OpenMenu(form, "N7Menu");
    QVERIFY(service);
    QCOMPARE(TickPixels(service, Item(form, "N10")), 0);
    service->close();

    QMenu* action = OpenMenu(form, "N11Menu");
    QVERIFY(action);
    QCOMPARE(TickPixels(action, Item(form, "N12")), 0);
    QTest::mouseClick(action, Qt::LeftButton, {},
                      action->actionGeometry(Item(form, "N12")).center());
    QTRY_VERIFY_WITH_TIMEOUT(!action->isVisible(), Patience);
    QVERIFY(form.Mip().Bus.IsOpen());
    action = OpenMenu(form, "N11Menu");
    QVERIFY(action);
    QVERIFY(TickPixels(action, Item(form, "N12")) > 5);
    action->close();
  }
};

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QApplication::setApplicationName("К7104Т(С)1 - Конфигуратор");
  TestApplication test;
  return QTest::qExec(&test, argc, argv);
}
#include "ApplicationTest.moc"
