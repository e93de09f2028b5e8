// The questions before a write, on a simulated line: each names the instrument the write goes to
// under its own sentence (model, address, port), and a configuration from a file with values the
// instrument knows no meaning of (a code beyond its list, a number that is none) is written only
// after "Записать всё равно": declining writes nothing.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTableWidget>

#include <cmath>
#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "files/ConfigFile.h"
#include "files/ConfigValues.h"
#include "shell/setup/BatchWriteDialog.h"
#include "shell/setup/CompareDialog.h"
#include "views/PopupList.h"
#include "views/StringGrid.h"

using namespace Steps;

namespace {

const QString Written = "Данные 8-ти каналов(4-ти реле) записаны.";

int WriteRequests(const k7104sim::Line& line) {
  int writes = 0;
  for (const auto& frame : line.ReceivedFrames()) writes += frame[1] == 15 || frame[1] == 16;
  return writes;
}

const TAskedDialog& Last(TFormFixture& fixture) {
  return fixture.Dialogs().Asked.last();
}

}  // namespace

class TestWriteQuestions : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void EveryQuestionBeforeAWriteNamesTheInstrument() {
    QTemporaryDir dir;
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 1, 8, 4});
    line.AddInstrument({5, 1, 8, 4});
    line.AddInstrument({6, 2, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, 2);
    Button(form, "ToolButton8")->click();
    Search(form, 1, 6);
    auto* tabs = Control<QTabBar>(form, "TabSet1");
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    QCOMPARE(tabs->currentIndex(), 1);
    ReadAll(form);
    const QString target = "Прибор: К7104Т1, адрес 5, " + LineNamed(line);

    TriggerItem(form, "N17");
    QCOMPARE(Last(fixture).Text, QString("Вы уверены, что вы хотите записать всю конфигурацию в "
                                         "прибор?"));
    QCOMPARE(Last(fixture).Informative, target);

    TConfigBlock block = form.Mip().Config;
    block.TypeSensor[1] = 7;
    const QString file = dir.filePath("changed.prb");
    QVERIFY(SaveConfigFile(file.toStdString(), block));
    ChooseFilterOfChannel6(form, 2);
    ClickPage(form, 2);
    QCOMPARE(Last(fixture).Text, QString("Записать изменения в прибор?"));
    QCOMPARE(Last(fixture).Informative, target);

    fixture.Dialogs().FileNames = {file};
    TriggerItem(form, "CompareWithFileItem");
    auto* compare = Control<TCompareDialog>(form, "CompareDialog");
    QVERIFY(compare && compare->isVisible());
    fixture.Dialogs().Answers = {true};  // the edit neither written nor saved may go
    QTest::mouseClick(compare->WriteButton, Qt::LeftButton);
    QCOMPARE(Last(fixture).Text, QString("Записать в прибор значения файла в выбранных группах "
                                         "(1)?"));
    QCOMPARE(Last(fixture).Informative, target);
    compare->close();

    // The question about the other model names those instruments.
    TriggerItem(form, "BatchWriteItem");
    auto* batch = form.findChild<TBatchWriteDialog*>("BatchWriteDialog");
    QVERIFY(batch);
    batch->CurrentImageSource->click();
    batch->StartButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!batch->Running(), Patience);
    QCOMPARE(Last(fixture).Text, QString("Настройка для прибора К7104Т1. Записать ее и в приборы "
                                         "К7104С1 (адреса 6)?"));
    QCOMPARE(Last(fixture).Informative, "Приборы (1): адреса 6, " + LineNamed(line));
    QCOMPARE(Reported(form, Written), 0);
  }

  void ValuesTheInstrumentDoesNotKnowAreWrittenOnlyWhenConfirmed() {
    QTemporaryDir dir;
    k7104sim::Line line(Reachable());
    k7104sim::Instrument& instrument = line.AddInstrument({1, 1, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, 2);
    Button(form, "ToolButton8")->click();
    ReadAll(form);
    TConfigBlock block = form.Mip().Config;
    block.TypeSensor[2] = 200;
    block.InterfaceSpeed = 255;
    block.MeasurePeriod = std::nanf("");
    const QString odd = dir.filePath("odd.prb");
    QVERIFY(SaveConfigFile(odd.toStdString(), block));
    fixture.Dialogs().FileNames = {odd};
    Button(form, "ToolButton2")->click();
    line.ClearReceived();

    // Write all: Yes to the question, then the values are listed; declining writes nothing.
    fixture.Dialogs().Answers = {true, false};
    TriggerItem(form, "N17");
    const TAskedDialog confirm = Last(fixture);
    QCOMPARE(confirm.Kind, QString("Confirm"));
    QCOMPARE(confirm.Button, QString("Записать всё равно"));
    QCOMPARE(confirm.Text, QString("В настройке из файла есть значения, которых прибор не знает "
                                   "(3). Записать их в прибор?"));
    QVERIFY(
        confirm.Informative.startsWith("Прибор: К7104Т1, адрес 1, " + LineNamed(line) + "\n\n"));
    for (const char* listed : {"Канал 3: 200", "Скорость: 255", "Период измерения: NAN"}) {
      QVERIFY2(confirm.Informative.contains(listed), qPrintable(confirm.Informative));
      QVERIFY2(confirm.Details.contains(listed), qPrintable(confirm.Details));
    }
    // "Записать текущее" of the page from the file asks the same, about its own group only.
    fixture.Dialogs().Answers = {false};
    Button(form, "ToolButton12")->click();
    QCOMPARE(Last(fixture).Kind, QString("Confirm"));
    QCOMPARE(Last(fixture).Details, confirm.Details.section('\n', 0, 0));
    // The chosen groups of the comparison with the file.
    fixture.Dialogs().FileNames = {odd};
    TriggerItem(form, "CompareWithFileItem");
    auto* compare = Control<TCompareDialog>(form, "CompareDialog");
    QVERIFY(compare && compare->isVisible());
    fixture.Dialogs().Answers = {true, false};
    QTest::mouseClick(compare->WriteButton, Qt::LeftButton);
    QCOMPARE(Last(fixture).Kind, QString("Confirm"));
    QCOMPARE(Last(fixture).Details, confirm.Details);
    compare->close();
    QTRY_VERIFY_WITH_TIMEOUT(form.Mip().Busy == 0, Patience);
    QCOMPARE(WriteRequests(line), 0);
    QCOMPARE(Reported(form, Written), 0);

    // Confirmed, they are written as they are.
    fixture.Dialogs().Answers = {true, true};
    TriggerItem(form, "N17");
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, Written), 1, Patience);
    QCOMPARE(int(instrument.HoldingRegister(128 + 2)), 200);
    QCOMPARE(int(instrument.HoldingRegister(104)), 255);
  }

  void BatchWriteAsksAboutTheFilesUnknownValues() {
    QTemporaryDir dir;
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 1, 8, 4});
    line.AddInstrument({2, 1, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, 2);
    Button(form, "ToolButton8")->click();
    Search(form, 1, 2);
    ReadAll(form);
    TConfigBlock block = form.Mip().Config;
    block.Protocol = 255;
    const QString odd = dir.filePath("odd.prb");
    QVERIFY(SaveConfigFile(odd.toStdString(), block));
    line.ClearReceived();
    TriggerItem(form, "BatchWriteItem");
    auto* batch = form.findChild<TBatchWriteDialog*>("BatchWriteDialog");
    QVERIFY(batch);
    fixture.Dialogs().FileNames = {odd};
    batch->ChooseFileButton->click();
    batch->StartButton->click();
    QVERIFY(!batch->Running());
    QCOMPARE(Last(fixture).Kind, QString("Confirm"));
    QVERIFY(Last(fixture).Informative.startsWith("Приборы (2): адреса 1, 2, " + LineNamed(line) +
                                                 "\n\n"));
    QVERIFY(Last(fixture).Details.endsWith("Протокол: 255"));
    QCOMPARE(WriteRequests(line), 0);
    QCOMPARE(batch->Table->item(0, TBatchWriteDialog::StateColumn)->text(), QString("ожидание"));
  }
};

K7104_GUI_TEST_MAIN(TestWriteQuestions)
#include "WriteQuestionsTest.moc"
