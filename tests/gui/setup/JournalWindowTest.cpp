// The journal of writes kept by the window against a simulated instrument: a page written with one
// value changed gives exactly that record, in the pages' words, shown in "Журнал записей…" and
// exported in the command line's columns; a journal that cannot be kept stops no write unless the
// port settings require it, and then the write does not start.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "files/Journal.h"
#include "files/JournalCsv.h"
#include "shell/port/PortSettings.h"
#include "shell/setup/JournalDialog.h"
#include "shell/window/WriteJournal.h"
#include "views/StringGrid.h"

using namespace Steps;

namespace {

constexpr uint16_t MinimumsRegister = 896;  // the first channel's lower range limit
const QString JournalFailure = "Журнал записей не ведётся";

void ClickCell(TStringGrid* grid, int col, int row) {
  grid->scrollToItem(grid->item(row - grid->FixedRows(), col - 1));
  const QRect cell = grid->CellRect(col, row);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid->viewport()->mapFrom(grid, cell.center()));
}

std::vector<TJournalRecord> Records(const QString& path) {
  TJournal journal(path.toStdString());
  std::vector<TJournalRecord> records;
  if (!journal.Read({}, records)) qWarning("the journal cannot be read");
  return records;
}

}  // namespace

class TestJournalWindow : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    instrument_ = &line_->AddInstrument({1, 6, 8, 4});
    QVERIFY(line_->Start());
  }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  // Typed into the first channel's lower limit and written with "Записать текущее": the page
  // was read first, so the record holds that one value, before as the page showed it and after
  // as typed; the dialog lists it and exports it as `journal --csv` does.
  void APageWriteIsRecordedWithTheValueChanged() {
    TMainForm& form = Start();
    auto* grid = form.findChild<TStringGrid*>("StringGrid6");
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    const QString before = grid->Cells(1, 1);
    ClickCell(grid, 1, 1);
    for (const QChar ch : QString("7,25"))
      QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
    Button(form, "ToolButton12")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    QCOMPARE(instrument_->HoldingFloat(MinimumsRegister), 7.25f);

    const std::vector<TJournalRecord> records = Records(fixture_->JournalPath());
    QCOMPARE(records.size(), size_t(1));
    const TJournalRecord& r = records[0];
    QCOMPARE(r.Program, std::string("k7104-configurator"));
    QCOMPARE(r.Login, LoginName());
    QCOMPARE(r.Address, 1);
    QCOMPARE(r.Model, std::string("К7104Е025"));
    QCOMPARE(r.Line, line_->TcpPort() == 0 ? line_->SlavePath() + ", 9600 бод"
                                           : LineNamed(*line_).toStdString() + ", RTU поверх TCP");
    QCOMPARE(r.Group, std::string("минимумов"));
    QCOMPARE(r.Outcome, TJournalOutcome::Confirmed);
    QCOMPARE(r.Changes.size(), size_t(1));
    QCOMPARE(QString::fromStdString(r.Changes[0].Before), before);
    QCOMPARE(QString::fromStdString(r.Changes[0].After), grid->Cells(1, 1));
    QVERIFY(grid->Cells(1, 1).startsWith("7,25"));
    QCOMPARE(r.Changes[0].Element, std::string("Канал 1"));

    TriggerItem(form, "JournalItem");
    auto* dialog = form.findChild<TJournalDialog*>("JournalDialog");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->RecordTable->rowCount(), 1);
    QCOMPARE(dialog->RecordTable->item(0, 5)->text(), QString::fromStdString(r.Group));
    QCOMPARE(dialog->ChangeTable->rowCount(), 1);
    QCOMPARE(dialog->ChangeTable->item(0, 1)->text(), before);
    QCOMPARE(dialog->ChangeTable->item(0, 2)->text(), grid->Cells(1, 1));
    // A filter that leaves it out, and back.
    dialog->AddressBox->setValue(2);
    QCOMPARE(dialog->RecordTable->rowCount(), 0);
    dialog->AddressBox->setValue(0);
    QCOMPARE(dialog->RecordTable->rowCount(), 1);

    const QString csv = fixture_->Folder() + "/journal.csv";
    fixture_->Dialogs().FileNames = {csv};
    dialog->ExportButton->click();
    QCOMPARE(FileBytes(csv), QByteArray::fromStdString(JournalCsvHeader() + JournalCsvRows(r)));
  }

  // With the journal's place a file instead of a folder a write goes on and the failure is
  // reported once; once the port settings require the journal, the write is refused with its
  // sentence and the instrument keeps its value. The setting is kept in the settings file.
  void AJournalThatCannotBeKeptStopsAWriteOnlyWhenRequired() {
    const QString notAFolder = dataHome_.filePath("file");
    QVERIFY(WriteBytes(notAFolder, "not a folder"));
    TMainForm& form = Start(notAFolder);
    auto* grid = form.findChild<TStringGrid*>("StringGrid6");
    ClickCell(grid, 1, 1);
    for (const QChar ch : QString("3")) QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
    Button(form, "ToolButton12")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, WrittenOf8And4), 1, Patience);
    QCOMPARE(instrument_->HoldingFloat(MinimumsRegister), 3.0f);
    QTRY_COMPARE_WITH_TIMEOUT(ReportedStarting(form, "Ошибка: " + JournalFailure), 1, Patience);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());

    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->RequireJournalBox->setChecked(true);
      dialog->OKBtn->click();
    });
    Button(form, "ToolButton4")->click();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    ClickCell(grid, 1, 1);
    for (const QChar ch : QString("5")) QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
    Button(form, "ToolButton12")->click();
    QTRY_COMPARE_WITH_TIMEOUT(ReportedError(form, JournalRefusedSentence), 1, Patience);
    QCOMPARE(instrument_->HoldingFloat(MinimumsRegister), 3.0f);
    QCOMPARE(Reported(form, WrittenOf8And4), 1);
    QCOMPARE(ReportedStarting(form, "Ошибка: " + JournalFailure), 1);
    const QList<TAskedDialog> asked = fixture_->Dialogs().Asked;
    QCOMPARE(asked.last().Text, QString(JournalRefusedSentence));
    QVERIFY2(asked.last().Informative.startsWith(JournalFailure),
             qPrintable(asked.last().Informative));
    fixture_->Close();
    QVERIFY(ReadText(fixture_->SettingsPath()).contains("RequireJournal=1"));
  }

 private:
  TMainForm& Start(const QString& dataHome = QString()) {
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true, dataHome);
    TMainForm& form = fixture_->Form();
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form)) qWarning("the window did not become active");
    ClickPage(form, 9, 0);  // no live page: nothing polled
    Button(form, "ToolButton8")->click();
    return form;
  }

  QTemporaryDir dataHome_;
  std::unique_ptr<k7104sim::Line> line_;
  k7104sim::Instrument* instrument_ = nullptr;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestJournalWindow)
#include "JournalWindowTest.moc"
