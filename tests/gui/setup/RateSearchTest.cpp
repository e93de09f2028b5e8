// "Поиск скорости…" against simulated instruments set to rates of their own: both found, fastest
// rate first, and the rate chosen taken into the port settings and the settings file; a search
// stopped on the way keeps what it had found and offers its rate.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/setup/RateSearchDialog.h"

using namespace Steps;

namespace {

QStringList Rows(const QTableWidget* table) {
  QStringList rows;
  for (int row = 0; row < table->rowCount(); ++row)
    rows << table->item(row, 0)->text() + " " + table->item(row, 1)->text() + " " +
                table->item(row, 2)->text();
  return rows;
}

}  // namespace

class TestRateSearch : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  void FindsBothRatesAndTakesTheOneChosen() {
    line_ = std::make_unique<k7104sim::Line>(ReachableWithRates());
    line_->AddInstrument({7, 1, 8, 4, 2400});
    line_->AddInstrument({8, 6, 16, 16, 57600});
    TRateSearchDialog& dialog = Open();
    dialog.AddressRange->setChecked(true);
    dialog.FirstBox->setValue(7);
    dialog.LastBox->setValue(8);
    dialog.RecheckBox->setChecked(true);
    dialog.SearchButton->click();
    QVERIFY(dialog.Running());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running() && !dialog.Summary->text().isEmpty(), Patience);
    QCOMPARE(Rows(dialog.FindTable), QStringList({"57600 8 К7104Е025", "2400 7 К7104Т1"}));
    // Two rates: no question, the user picks the row.
    QVERIFY(Shown(fixture_->Dialogs(), "Ask").isEmpty());
    dialog.FindTable->selectRow(1);
    dialog.TakeRateButton->click();
    QCOMPARE(fixture_->Form().Mip().Bus.BaudRate(), 2400u);
    QVERIFY(ReadText(fixture_->SettingsPath()).contains("BaudRate=4"));
    QCOMPARE(Reported(fixture_->Form(), "Скорость порта: 2400 бод."), 1);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
  }

  // Stopped once the instrument after the one at 7 has been asked: 7's find was kept before, and
  // a stop is no failure. Its one rate is offered.
  void AStoppedSearchKeepsWhatItFound() {
    line_ = std::make_unique<k7104sim::Line>(ReachableWithRates());
    line_->AddInstrument({7, 1, 8, 4, 57600});
    k7104sim::Instrument& next = line_->AddInstrument({9, 1, 8, 4, 57600});
    TRateSearchDialog& dialog = Open();
    dialog.AddressRange->setChecked(true);
    dialog.FirstBox->setValue(7);
    dialog.LastBox->setValue(255);
    fixture_->Dialogs().Answers = {true};
    dialog.SearchButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(next.RequestCount() > 0, Patience);
    QTest::keyClick(&dialog, Qt::Key_Escape);  // stops, does not close
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running(), Patience);
    QVERIFY(dialog.isVisible());
    QVERIFY(Rows(dialog.FindTable).contains("57600 7 К7104Т1"));
    QVERIFY(dialog.Summary->text().contains("остановлен"));
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    QCOMPARE(Shown(fixture_->Dialogs(), "Ask").size(), 1);
    QCOMPARE(fixture_->Form().Mip().Bus.BaudRate(), 57600u);
    QVERIFY(ReadText(fixture_->SettingsPath()).contains("BaudRate=11"));
  }

 private:
  // The window connected at 9600 on a page that is not polled, the dialog open.
  TRateSearchDialog& Open() {
    if (!line_->Start()) qFatal("the simulated line did not start");
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    TMainForm& form = fixture_->Form();
    form.show();
    ClickPage(form, 9, 0);
    Button(form, "ToolButton8")->click();
    TriggerItem(form, "RateSearchItem");
    auto* dialog = form.findChild<TRateSearchDialog*>("RateSearchDialog");
    if (!dialog || !dialog->isVisible()) qFatal("no rate search dialog");
    return *dialog;
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestRateSearch)
#include "RateSearchTest.moc"
