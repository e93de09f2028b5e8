// The menu "Наладка" against a simulated line: the window's configuration written to every
// instrument found, the one that fails reported and the others checked, the instrument of another
// model left alone when the user says no, a stop between instruments; and the fast search with
// its second look at the silent addresses, remembered in the settings.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/Mainunit.h"
#include "shell/setup/BatchWriteDialog.h"

using namespace Steps;

namespace {

QString Cell(const TBatchWriteDialog& dialog, int row, int column) {
  return dialog.Table->item(row, column)->text();
}

QStringList Column(const TBatchWriteDialog& dialog, int column) {
  QStringList cells;
  for (int row = 0; row < dialog.Table->rowCount(); ++row) cells << Cell(dialog, row, column);
  return cells;
}

}  // namespace

class TestBatchWrite : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void WritesEveryFoundInstrumentAndReportsTheOneThatFails() {
    k7104sim::Line line(Reachable());
    k7104sim::Instrument& source = line.AddInstrument({1, 1, 32, 32});
    line.AddInstrument({2, 1, 32, 32});
    k7104sim::Instrument& third = line.AddInstrument({3, 1, 32, 32});
    k7104sim::Instrument& other = line.AddInstrument({4, 2, 32, 32});
    for (k7104sim::Instrument* target : {&third, &other})
      for (uint16_t i = 0; i < 32; ++i) target->SetHoldingFloat(1664 + 2 * i, 77.5f);
    line.AddFault({k7104sim::FaultKind::Exception, 4, 2, 16, 1280, 1343});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line, 5000), true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "ToolButton8")->click();
    QVERIFY(!Item(form, "BatchWriteItem")->isEnabled());
    Search(form, 1, 5);
    QVERIFY(Item(form, "BatchWriteItem")->isEnabled());
    Button(form, "ToolButton11")->click();  // read all from the first instrument found
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Данные с 32-ти каналов(32-ти реле) считаны.") >= 1,
                             Patience);

    TriggerItem(form, "BatchWriteItem");
    auto* dialog = form.findChild<TBatchWriteDialog*>("BatchWriteDialog");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(Column(*dialog, TBatchWriteDialog::AddressColumn), QStringList({"1", "2", "3", "4"}));
    QCOMPARE(Column(*dialog, TBatchWriteDialog::StateColumn),
             QStringList({"ожидание", "ожидание", "ожидание", "ожидание"}));
    QVERIFY2(!dialog->StartButton->isEnabled(), "no file chosen yet");
    dialog->CurrentImageSource->click();
    fixture.Dialogs().Answers = {false};
    dialog->StartButton->click();
    QCOMPARE(Shown(fixture.Dialogs(), "Ask"),
             QStringList{"Настройка для прибора К7104Т1. Записать ее и в приборы К7104С1 "
                         "(адреса 4)?"});
    QVERIFY(dialog->Running());
    QVERIFY(!dialog->CloseButton->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), Patience);

    QCOMPARE(Column(*dialog, TBatchWriteDialog::StateColumn),
             QStringList({"готово", "ошибка", "готово", "пропущен"}));
    const QString failure =
        "Записано частично: типы датчиков, типы соединения, проверка на обрыв, КХС, извлечение "
        "корня, фильтра каналов, запятых, минимумов, максимумов, первых уставок; Неизвестная "
        "ошибка!!! При записи вторых уставок!!! (исключение 4 от прибора)";
    QCOMPARE(Cell(*dialog, 1, TBatchWriteDialog::MessageColumn), failure);
    QCOMPARE(Cell(*dialog, 3, TBatchWriteDialog::MessageColumn),
             QString("Не записано: прибор другой модели (К7104С1)."));
    for (uint16_t i = 0; i < 32; ++i) {
      QCOMPARE(third.HoldingFloat(1664 + 2 * i), source.HoldingFloat(1664 + 2 * i));
      QCOMPARE(other.HoldingFloat(1664 + 2 * i), 77.5f);
    }
    QCOMPARE(Reported(form, "Адрес 2: " + failure), 1);
    QCOMPARE(Reported(form, "Адрес 3: Записано и проверено."), 1);
    const QString summary = "Записано и проверено: 2 из 4, с ошибкой: 1, не записано: 1.";
    QCOMPARE(dialog->Summary->text(), summary);
    QCOMPARE(Shown(fixture.Dialogs(), "Error"), QStringList{summary});
    QVERIFY2(form.Mip().Bus.IsOpen(), "the window has its port back");

    // Stopped while the first instrument is being written (its reply to the write of the sensor
    // types is 2.5 s late): that one is finished, the others are not touched.
    line.AddFault({k7104sim::FaultKind::Late, 2500, 1, 16, 128, 159, 1});
    fixture.Dialogs().Answers = {false};
    dialog->StartButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(Cell(*dialog, 0, TBatchWriteDialog::StateColumn), QString("запись"),
                              Patience);
    line.ClearReceived();
    dialog->BatchStopButton->click();
    QVERIFY(!dialog->BatchStopButton->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), Patience);
    QCOMPARE(Column(*dialog, TBatchWriteDialog::StateColumn),
             QStringList({"готово", "ожидание", "ожидание", "ожидание"}));
    for (const auto& frame : line.ReceivedFrames()) QCOMPARE(int(frame[0]), 1);
    QVERIFY(dialog->Summary->text().endsWith("Запись остановлена пользователем."));

    // A file one byte short is no configuration file: refused before any instrument is touched.
    const QString damaged = fixture.Folder() + "/short.prb";
    QVERIFY(WriteBytes(damaged, QByteArray(1737, '\0')));
    fixture.Dialogs().FileNames = {damaged};
    dialog->ChooseFileButton->click();
    QVERIFY(dialog->FileSource->isChecked());
    QCOMPARE(dialog->FileName->text(), damaged);
    dialog->StartButton->click();
    QVERIFY(!dialog->Running());
    QCOMPARE(ReportedError(form, "Не могу открыть файл!"), 1);
    QCOMPARE(Cell(*dialog, 1, TBatchWriteDialog::StateColumn), QString("ожидание"));
    dialog->CloseButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<TBatchWriteDialog*>("BatchWriteDialog"), Patience);
  }

  void FastSearchFindsTheSameAndIsRemembered() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({2, 1, 32, 32});
    line.AddInstrument({6, 6, 8, 8});
    line.AddFault({k7104sim::FaultKind::NoReply, 0, 6, 0, -1, -1, 1});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    {
      TMainForm& form = fixture.Form();
      form.show();
      Button(form, "ToolButton8")->click();
      QVERIFY(!Item(form, "FastSearchItem")->isChecked());
      QVERIFY(!Item(form, "SilentAgainItem")->isEnabled());
      TriggerItem(form, "FastSearchItem");
      Search(form, 1, 8);
      QCOMPARE(int(form.Mip().SearchMode), int(TSearchMode::Fast));
      QCOMPARE(Control<QTabBar>(form, "TabSet1")->count(), 1);  // the one request to 6 was lost
      QVERIFY(Item(form, "SilentAgainItem")->isEnabled());
      TriggerItem(form, "SilentAgainItem");
      QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == 2, Patience);
      QCOMPARE(Control<QTabBar>(form, "TabSet1")->count(), 2);
      QCOMPARE(Control<QTabBar>(form, "TabSet1")->tabText(1), QString("К7104Е025 Адрес 6"));
    }
    fixture.Close();
    QVERIFY(ReadText(fixture.SettingsPath()).contains("FastSearch=1"));
    TFormFixture again(ReadText(fixture.SettingsPath()), true);
    QVERIFY(Item(again.Form(), "FastSearchItem")->isChecked());
  }
};

K7104_GUI_TEST_MAIN(TestBatchWrite)
#include "BatchWriteTest.moc"
