// The window on a line over Ethernet: the port settings dialog's line, the [Network] section of the
// settings file, and reading, searching and reconnecting through the simulated line served over
// TCP and through pyserial's RFC 2217 server in front of the simulator's pseudo-terminal.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include <chrono>
#include <memory>
#include <string>

#include "CommandSteps.h"
#include "shell/Mainunit.h"
#include "shell/port/PortSettings.h"
#include "shell/settings/IniFile.h"
#include "sim/Simulator.h"
#ifndef _WIN32
#include "support/ChildProcess.h"
#endif

using namespace Steps;
using namespace std::chrono_literals;

namespace {

QString NetworkSettings(int line, const QString& host, int port, int mode) {
  return QString("[SettingsPort]\nWaitTime=1300\n[Network]\nLine=%1\nHost=%2\nPort=%3\nMode=%4\n")
      .arg(line)
      .arg(host)
      .arg(port)
      .arg(mode);
}

std::unique_ptr<k7104sim::Line> ServedLine(k7104sim::NetworkMode mode) {
  k7104sim::LineOptions options;
  options.tcpPort = 0;
  options.networkMode = mode;
  auto line = std::make_unique<k7104sim::Line>(options);
  line->AddInstrument({1, 1, 8, 4});
  return line;
}

// Sets the dialog's line to a server and accepts it, the host typed as "host:port".
void ChooseServer(const QString& endpoint, int mode) {
  WhenModalShown<TPortSettings>([endpoint, mode](TPortSettings* dialog) {
    dialog->LineKindBox->setCurrentIndex(1);
    dialog->HostEdit->setText(endpoint);
    emit dialog->HostEdit->editingFinished();
    dialog->NetworkModeBox->setCurrentIndex(mode);
    dialog->OKBtn->click();
  });
}

void ChooseRate(int index) {
  WhenModalShown<TPortSettings>([index](TPortSettings* dialog) {
    dialog->ComboBox2->setCurrentIndex(index);
    dialog->OKBtn->click();
  });
}

QString Value(const QString& path, const QString& section, const QString& key) {
  return TIniFile(path).ReadString(section, key).value_or("<none>");
}

}  // namespace

class TestNetworkLine : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  // A Modbus TCP gateway named in the settings file: the window connects to it, says where,
  // reads everything and searches through it, and keeps the section as it was.
  void GatewayFromTheSettingsFileReadsAndSearches() {
    auto line = ServedLine(k7104sim::NetworkMode::Mbap);
    line->AddInstrument({17, 6, 8, 8});
    QVERIFY(line->Start());
    TFormFixture fixture(NetworkSettings(1, "127.0.0.1", line->TcpPort(), 1), true);
    TMainForm& form = fixture.Form();
    form.show();
    const QString endpoint = QString("127.0.0.1:%1").arg(line->TcpPort());
    Button(form, "ToolButton8")->click();
    QVERIFY(form.Mip().Bus.IsOpen());
    QCOMPARE(Reported(form, "Порт открыт. Сеть: " + endpoint + ", Modbus TCP."), 1);
    QCOMPARE(Control<QWidget>(form, "ImageStateConnect")->toolTip(), endpoint + ", Modbus TCP");
    ClickPage(form, 2);
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);

    AnswerRangeDialog(1, 30);
    Button(form, "ToolButton9")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == 1, Patience);
    const QTabBar* tabs = Control<QTabBar>(form, "TabSet1");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(1), QString("К7104Е025 Адрес 17"));
    QCOMPARE(Shown(fixture.Dialogs(), "Error").size(), 0);

    fixture.Close();
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Line"), QString("1"));
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Port"), QString::number(line->TcpPort()));
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Mode"), QString("1"));
  }

  // The dialog sets an RFC 2217 server as the line: the server gets 9600 8E2 on connect and the
  // rate chosen later in the dialog before the next request; the settings file keeps the line.
  void DialogSetsAnRfc2217ServerAndItsRate() {
#ifdef _WIN32
    QSKIP("the RFC 2217 server here is pyserial's in front of a pseudo-terminal; Windows has none");
#else
    k7104sim::Line line;
    line.AddInstrument({1, 1, 8, 4});
    QVERIFY(line.Start());
    ChildProcess peer({"/usr/bin/python3", K7104_RFC2217_SERVER, line.SlavePath()});
    const auto listening = peer.OutputLine(30s);
    if (!listening && peer.Errors().find("No module named 'serial'") != std::string::npos)
      QSKIP("python3-serial is not installed (scripts/setup installs it)");
    QVERIFY2(listening && listening->rfind("port ", 0) == 0, peer.Errors().c_str());
    const QString port = QString::fromStdString(listening->substr(5));

    TFormFixture fixture(LineSettings("/nonexistent/tty"), true);
    TMainForm& form = fixture.Form();
    form.show();
    ChooseServer("127.0.0.1:" + port, 2);
    Button(form, "ToolButton4")->click();
    QVERIFY(form.Mip().Bus.IsNetworkLine());
    Button(form, "ToolButton8")->click();
    QVERIFY(form.Mip().Bus.IsOpen());
    QCOMPARE(QString::fromStdString(peer.OutputLine(30s).value_or("")),
             QString("settings 9600 8 E 2"));
    ClickPage(form, 2);
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);

    ChooseRate(12);  // 115200
    Button(form, "ToolButton4")->click();
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 2, Patience);
    QCOMPARE(QString::fromStdString(peer.OutputLine(30s).value_or("")),
             QString("settings 115200 8 E 2"));
    QCOMPARE(Shown(fixture.Dialogs(), "Error").size(), 0);

    fixture.Close();
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Line"), QString("1"));
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Host"), QString("127.0.0.1"));
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Port"), port);
    QCOMPARE(Value(fixture.SettingsPath(), "Network", "Mode"), QString("2"));
    QCOMPARE(Value(fixture.SettingsPath(), "SettingsPort", "BaudRate"), QString("12"));
#endif
  }

  // The server drops the connection in the middle of a reply: reported once, the line closed, and
  // "Соединиться снова" offered at once, which connects again.
  void ADroppedConnectionIsOfferedAgain() {
    auto line = ServedLine(k7104sim::NetworkMode::Rtu);
    QVERIFY(line->Start());
    TFormFixture fixture(NetworkSettings(1, "127.0.0.1", line->TcpPort(), 0), true);
    TMainForm& form = fixture.Form();
    form.show();
    Button(form, "ToolButton8")->click();
    QVERIFY(form.Mip().Bus.IsOpen());
    ClickPage(form, 2);
    line->AddFault({.kind = k7104sim::FaultKind::HangUp, .arg = 5, .times = 1});
    Button(form, "ToolButton11")->click();
    const QString endpoint = QString("127.0.0.1:%1").arg(line->TcpPort());
    QTRY_VERIFY_WITH_TIMEOUT(
        Reported(form, "Порт закрыт. Соединение с " + endpoint + " разорвано.") == 1, Patience);
    QVERIFY(!form.Mip().Bus.IsOpen());
    QAbstractButton* reconnect = Control<QAbstractButton>(form, "ReconnectButton");
    QVERIFY(reconnect->isVisible());
    reconnect->click();
    QVERIFY(form.Mip().Bus.IsOpen());
    Button(form, "ToolButton11")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
  }

  // A damaged section reads as the serial port with the defaults, and the nine keys are not
  // touched by a section that was never there.
  void DamagedOrMissingSectionKeepsTheSerialPort() {
    TFormFixture damaged(NetworkSettings(1, "", 99999, 7), true);
    QVERIFY(!damaged.Form().Mip().Bus.IsNetworkLine());
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      QCOMPARE(dialog->LineKindBox->currentText(), QString("COM-порт"));
      QVERIFY(!dialog->HostEdit->isEnabled());
      QCOMPARE(dialog->TcpPortSpin->value(), 502);
      QCOMPARE(dialog->NetworkModeBox->currentText(), QString("RTU поверх TCP"));
      dialog->LineKindBox->setCurrentIndex(1);
      QVERIFY(!dialog->OKBtn->isEnabled());  // a network line needs its server
      dialog->CancelBtn->click();
    });
    Button(damaged.Form(), "ToolButton4")->click();
    QVERIFY(!damaged.Form().Mip().Bus.IsNetworkLine());

    TFormFixture plain(LineSettings("/dev/null"), true);
    plain.Close();
    QVERIFY(!FileBytes(plain.SettingsPath()).contains("[Network]"));
  }
};

K7104_GUI_TEST_MAIN(TestNetworkLine)
#include "NetworkLineTest.moc"
