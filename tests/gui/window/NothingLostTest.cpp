// Nothing the engineer did is lost: closing the window asks about edits neither written nor
// saved, a stopped search keeps the instruments it found, New on the device settings page offers
// to write the reset settings when the page is left, and the comparison with a file and the
// write to every instrument found leave the window's data image, pages and title as they were
// unless a file went into the window's own instrument, which the window then reads again.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTableWidget>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "files/ConfigFile.h"
#include "files/ConfigValues.h"
#include "shell/setup/BatchWriteDialog.h"
#include "shell/setup/CompareDialog.h"
#include "views/PopupList.h"
#include "views/SpinEdit.h"
#include "views/StringGrid.h"

using namespace Steps;

namespace {

const QString Discard = "Изменения не записаны в прибор и не сохранены в файл. Отбросить их?";

void ShowActive(TMainForm& form) {
  form.show();
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) qWarning("the window did not become active");
}

// The data image as the window keeps it: the configuration, where each group came from, the
// user's edits, the identity and the counts.
QByteArray ImageBytes(const TMIP& mip) {
  QByteArray bytes(reinterpret_cast<const char*>(mip.ConfigBlockBytes()), ConfigBlockSize);
  bytes.append(reinterpret_cast<const char*>(mip.GroupSource), sizeof mip.GroupSource);
  bytes.append(reinterpret_cast<const char*>(mip.EditedBits), sizeof mip.EditedBits);
  bytes.append(mip.DeviceId, DeviceIdLength);
  for (uint16_t value : {mip.ModelCode, mip.ChannelCount, mip.RelayCount})
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
  return bytes;
}

// Every cell of the current page's grids with its colour: what the user sees of the image.
QStringList ShownCells(TMainForm& form) {
  QStringList cells;
  for (const TStringGrid* grid : form.Pages().GridList()) {
    if (!grid->isVisible()) continue;
    for (int row = 0; row < grid->rowCount(); ++row)
      for (int column = 0; column < grid->columnCount(); ++column)
        if (const QTableWidgetItem* item = grid->item(row, column))
          cells << item->text() + "|" + item->foreground().color().name();
  }
  return cells;
}

// The window's instrument configuration saved as a file, with the sensor type of channel 2
// changed to another one.
QString ChangedCopy(TMainForm& form, const QString& path, uint8_t sensorType) {
  TConfigBlock block = form.Mip().Config;
  block.TypeSensor[1] = sensorType;
  return SaveConfigFile(path.toStdString(), block) ? path : QString();
}

QStringList Column(const QTableWidget* table, int column) {
  QStringList texts;
  for (int row = 0; row < table->rowCount(); ++row) texts << table->item(row, column)->text();
  return texts;
}

}  // namespace

class TestNothingLost : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  // The title bar's X, "Выход" and Ctrl+Q ask as New and Open do; No keeps the window open.
  void ClosingAsksAboutEditsNeitherWrittenNorSaved() {
    {
      TFormFixture plain;
      plain.Form().show();
      QVERIFY(plain.Form().close());
      QVERIFY(plain.Dialogs().Asked.isEmpty());
    }
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ShowActive(form);
    ChooseFilterOfChannel6(form, 2);
    Button(form, "ToolButton21")->click();
    QVERIFY(form.isVisible());
    TriggerItem(form, "N6");
    QVERIFY(form.isVisible());
    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(form.isVisible());
    QVERIFY(!form.close());
    QCOMPARE(Shown(fixture.Dialogs(), "Ask"), QStringList({Discard, Discard, Discard, Discard}));
    fixture.Dialogs().Answers = {true};
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
  }

  void StoppedSearchKeepsTheInstrumentsFound() {
    k7104sim::Line line(Reachable());
    line.AddInstrument({2, 1, 8, 4});
    line.AddInstrument({3, 2, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    ClickPage(form, 2);  // no poll of an address where nothing answers
    Button(form, "ToolButton8")->click();
    AnswerRangeDialog(1, 255);
    Button(form, "ToolButton9")->click();
    // Stopped once both have answered, long before the end of the range.
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().FoundCount == 2 && Control<QPushButton>(form, "StopButton")->isVisible(),
        Patience);
    QTest::mouseClick(Control<QPushButton>(form, "StopButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(
        Reported(form, "Прерванно пользователем!!! При поиске приборов!!! Найдено приборов: 2."), 1,
        Patience);
    auto* tabs = Control<QTabBar>(form, "TabSet1");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QString("К7104Т1 Адрес 2"));
    QCOMPARE(tabs->tabText(1), QString("К7104С1 Адрес 3"));
    QVERIFY(tabs->isEnabled());
    QVERIFY(!Button(form, "ToolButton18")->isChecked());
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
    // The next job goes to the first instrument found.
    ClickPage(form, 2);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, "Данные с 8-ти каналов(4-ти реле) считаны."), 1,
                              Patience);
    QCOMPARE(int(form.Mip().Address), 2);
  }

  // The reset changed the settings the page shows (the address box 5 becomes 1): leaving the
  // page asks whether to write them, naming the instrument.
  void NewOnTheSettingsPageOffersToWriteTheReset() {
    k7104sim::Line line(Reachable());
    k7104sim::Instrument& instrument = line.AddInstrument({5, 1, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line) + "[Settings]\nCurrentAddress=5\n", true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "ToolButton8")->click();
    ClickPage(form, 14);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(form.Pages().CSpinEdit3->value(), 5, Patience);
    Button(form, "ToolButton1")->click();
    QCOMPARE(form.Pages().CSpinEdit3->value(), 1);
    QVERIFY(Shown(fixture.Dialogs(), "Ask").isEmpty());
    ClickPage(form, 2);
    QCOMPARE(Shown(fixture.Dialogs(), "Ask"), QStringList{"Записать изменения в прибор?"});
    QCOMPARE(fixture.Dialogs().Asked.last().Informative, "Прибор: адрес 5, " + LineNamed(line));
    QVERIFY(NoMoreJobs(form));
    QCOMPARE(Reported(form, "Идет запись данных."), 0);
    QCOMPARE(int(instrument.HoldingRegister(99)), 5);
  }

  void ComparisonLeavesTheWindowAsItWas() {
    QTemporaryDir dir;
    k7104sim::Line line(Reachable());
    line.AddInstrument({1, 1, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "ToolButton8")->click();
    ClickPage(form, 2);  // a page that is not polled
    ReadAll(form);
    const QString compared = ChangedCopy(form, dir.filePath("compared.prb"), 7);
    // The window holds another configuration, from a file, with an edit on top.
    const QString opened = ChangedCopy(form, dir.filePath("opened.prb"), 12);
    fixture.Dialogs().FileNames = {opened};
    Button(form, "ToolButton2")->click();
    ChooseFilterOfChannel6(form, 2);
    ClickPage(form, 2);
    const QStringList asked{"Записать изменения в прибор?"};
    QCOMPARE(Shown(fixture.Dialogs(), "Ask"), asked);  // answered No
    const QByteArray image = ImageBytes(form.Mip());
    const QStringList cells = ShownCells(form);
    const QString title = form.windowTitle();
    QVERIFY(title.endsWith("opened.prb"));

    fixture.Dialogs().FileNames = {compared};
    TriggerItem(form, "CompareWithFileItem");
    auto* dialog = Control<TCompareDialog>(form, "CompareDialog");
    QVERIFY(dialog && dialog->isVisible());
    // The instrument against the file: the one sensor type the file changed.
    QCOMPARE(Column(dialog->GroupTable, 0), QStringList{"типы датчиков"});
    QCOMPARE(Column(dialog->DifferenceTable, 1), QStringList{"Канал 2"});
    QCOMPARE(ImageBytes(form.Mip()), image);
    QCOMPARE(ShownCells(form), cells);
    QCOMPARE(form.windowTitle(), title);
    QCOMPARE(Shown(fixture.Dialogs(), "Ask"), asked);
    // The edit is still one neither written nor saved.
    QVERIFY(!form.close());
    QCOMPARE(Shown(fixture.Dialogs(), "Ask"), asked + QStringList{Discard});
  }

  void BatchWriteLeavesTheWindowUnlessItsOwnInstrumentIsWritten() {
    QTemporaryDir dir;
    k7104sim::Line line(Reachable());
    k7104sim::Instrument& first = line.AddInstrument({1, 1, 8, 4});
    k7104sim::Instrument& second = line.AddInstrument({2, 1, 8, 4});
    line.AddInstrument({9, 1, 8, 4});
    QVERIFY(line.Start());
    TFormFixture fixture(LineSettings(line), true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "ToolButton8")->click();
    Search(form, 1, 3);
    ClickPage(form, 2);
    // The window's own instrument is at 9, typed in the address box: not among those found.
    Button(form, "ToolButton18")->click();
    Control<QSpinBox>(form, "CSpinEditAddress")->setValue(9);
    ReadAll(form);
    const QString file = ChangedCopy(form, dir.filePath("line.prb"), 7);
    const QByteArray image = ImageBytes(form.Mip());
    const QStringList cells = ShownCells(form);
    const QString title = form.windowTitle();

    TriggerItem(form, "BatchWriteItem");
    auto* dialog = form.findChild<TBatchWriteDialog*>("BatchWriteDialog");
    QVERIFY(dialog && dialog->isVisible());
    fixture.Dialogs().FileNames = {file};
    dialog->ChooseFileButton->click();
    dialog->StartButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), Patience);
    QCOMPARE(dialog->Summary->text(), QString("Записано и проверено: 2 из 2."));
    QCOMPARE(first.HoldingRegister(128 + 1), uint16_t(7));
    QCOMPARE(second.HoldingRegister(128 + 1), uint16_t(7));
    QCOMPARE(int(form.Mip().Busy), 0);
    QCOMPARE(ImageBytes(form.Mip()), image);
    QCOMPARE(ShownCells(form), cells);
    QCOMPARE(form.windowTitle(), title);

    // Now the window's own instrument is the first found: it takes the file, and the window
    // reads it again.
    dialog->CloseButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<TBatchWriteDialog*>("BatchWriteDialog"), Patience);
    Button(form, "ToolButton18")->click();
    QCOMPARE(Control<QTabBar>(form, "TabSet1")->currentIndex(), 0);
    ReadAll(form);
    const QString other = ChangedCopy(form, dir.filePath("other.prb"), 12);
    const int reads = Reported(form, "Данные с 8-ти каналов(4-ти реле) считаны.");
    TriggerItem(form, "BatchWriteItem");
    dialog = form.findChild<TBatchWriteDialog*>("BatchWriteDialog");
    QVERIFY(dialog);
    fixture.Dialogs().FileNames = {other};
    dialog->ChooseFileButton->click();
    dialog->StartButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, "Данные с 8-ти каналов(4-ти реле) считаны."),
                              reads + 1, Patience);
    QVERIFY(AllRead(form.Mip()));
    QCOMPARE(int(form.Mip().Config.TypeSensor[1]), 12);
    QCOMPARE(int(form.Mip().Address), 1);
    QVERIFY(Shown(fixture.Dialogs(), "Error").isEmpty());
  }
};

K7104_GUI_TEST_MAIN(TestNothingLost)
#include "NothingLostTest.moc"
