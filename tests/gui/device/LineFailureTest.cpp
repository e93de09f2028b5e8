// What the window tells the user when the line fails in a way the result text alone does not
// say: an exception reply of the instrument, and a port that would not open.
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/Mainunit.h"

using namespace Steps;

class TestLineFailures : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  void FailureOnAnExceptionReplyNamesTheException() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    line_->AddInstrument({1, 6, 8, 4});
    k7104sim::Fault zero{k7104sim::FaultKind::Exception, 0};
    zero.firstRegister = 128;
    line_->AddFault(zero);
    QVERIFY(line_->Start());
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    TMainForm& form = fixture_->Form();
    form.show();
    Button(form, "ToolButton8")->click();
    ClickPage(form, 2);
    Button(form, "ToolButton10")->click();
    const QString failure =
        "Неизвестная ошибка!!! При чтении типы датчиков!!! (исключение 0 от прибора)";
    QTRY_COMPARE_WITH_TIMEOUT(ReportedError(form, failure), 1, Patience);
    QCOMPARE(Shown(fixture_->Dialogs(), "Error"), QStringList{failure});
  }

  void PortHeldByAnotherProgramSaysSo() {
#ifdef _WIN32
    QSKIP("a busy port is a serial port another program holds; the line here is over TCP");
#endif
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    QVERIFY(line_->Start());
    TModBus holder;
    holder.SetPortDevice(holder.PortIndex(), line_->SlavePath());
    QVERIFY(holder.OpenPort());
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    TMainForm& form = fixture_->Form();
    Button(form, "ToolButton8")->click();
    QVERIFY(!form.Mip().Bus.IsOpen());
    const QString why = "Порт закрыт. Порт занят!!! " + QString::fromStdString(line_->SlavePath()) +
                        " открыт другой программой.";
    QCOMPARE(Reported(form, why), 1);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

 private:
  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestLineFailures)
#include "LineFailureTest.moc"
