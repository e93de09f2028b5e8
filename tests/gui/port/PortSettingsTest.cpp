// The port settings dialog on the channel, over real pseudo-terminals, and the version box.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#ifndef _WIN32
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "GuiTestSupport.h"
#include "shell/port/PortSettings.h"
#include "shell/settings/IniFile.h"
#include "shell/window/Showaboutunit.h"

namespace {

#ifndef _WIN32
// The kernel's termios2, which carries the rate as a number (the channel sets rates that way).
struct TTermios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};

// A pseudo-terminal whose slave side stands in for a serial port.
class TPty {
 public:
  TPty() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
  }
  ~TPty() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  QString Path() const { return QString::fromStdString(path_); }
  bool Valid() const { return !path_.empty(); }

  // True while someone (the channel) holds the port: its exclusive lock cannot be taken.
  bool HeldByAnother() const {
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return true;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
  }

  unsigned Rate() const {
    TTermios2 t{};
    if (::ioctl(slave_, _IOR('T', 0x2A, TTermios2), &t) != 0) return 0;
    return t.c_ospeed;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};
#endif

struct TDialogState {
  QString Port;
  QString Rate;
  int Timeout = 0;
  QString Title;
  QStringList Tips;
};

TDialogState Read(const TPortSettings* dialog) {
  TDialogState state{dialog->ComboBox1->currentText(),
                     dialog->ComboBox2->currentText(),
                     dialog->CSpinEdit1->value(),
                     dialog->windowTitle(),
                     {}};
  for (int i = 0; i < dialog->ComboBox1->count(); ++i)
    state.Tips << dialog->ComboBox1->itemData(i, Qt::ToolTipRole).toString();
  return state;
}

}  // namespace

class TestPortSettings : public QObject {
  Q_OBJECT

 private slots:
  void init() { fixture_ = std::make_unique<TFormFixture>(); }
  void cleanup() { fixture_.reset(); }

  void DefaultsShown() {
    TDialogState state;
    WhenModalShown<TPortSettings>([&state](TPortSettings* dialog) {
      state = Read(dialog);
      dialog->CancelBtn->click();
    });
    Button(fixture_->Form(), "ToolButton4")->click();
    QCOMPARE(state.Title, QString("Настройки порта"));
    QCOMPARE(state.Port, QString("Com1"));
    QCOMPARE(state.Rate, QString("9600"));
    QCOMPARE(state.Timeout, 1300);
    QCOMPARE(state.Tips.size(), 20);
    QCOMPARE(state.Tips[0], DefaultDevice(0));
    QCOMPARE(state.Tips[19], DefaultDevice(19));
  }

  void Lists() {
    const TPortSettings* dialog = Control<TPortSettings>(fixture_->Form(), "PortSettings");
    QStringList ports;
    QStringList rates;
    for (int i = 0; i < dialog->ComboBox1->count(); ++i) ports << dialog->ComboBox1->itemText(i);
    for (int i = 0; i < dialog->ComboBox2->count(); ++i) rates << dialog->ComboBox2->itemText(i);
    QCOMPARE(ports.size(), 20);
    QCOMPARE(ports.first(), QString("Com1"));
    QCOMPARE(ports.last(), QString("Com20"));
    QCOMPARE(rates,
             (QStringList{"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                          "38400", "56000", "57600", "115200", "128000", "256000"}));
    for (int i = 0; i < BaudRateCount; ++i) QCOMPARE(rates[i].toUInt(), BaudRates[i]);
    QCOMPARE(dialog->CSpinEdit1->minimum(), 10);
    QCOMPARE(dialog->CSpinEdit1->maximum(), 3000);
    QVERIFY(dialog->OKBtn->isDefault());
    QCOMPARE(dialog->OKBtn->text(), QString("OK"));
    QCOMPARE(dialog->CancelBtn->text(), QString("Cancel"));
  }

  void TipsNameTheMappedDevices() {
    TModBus& bus = fixture_->Form().Mip().Bus;
    bus.SetPortDevice(2, "/dev/ttyUSB0");
    TDialogState state;
    WhenModalShown<TPortSettings>([&state](TPortSettings* dialog) {
      state = Read(dialog);
      dialog->reject();
    });
    TriggerItem(fixture_->Form(), "N8");
    QCOMPARE(state.Tips[2], QString("/dev/ttyUSB0"));
    QCOMPARE(state.Tips[1], DefaultDevice(1));
  }

  void CancelChangesNothing() {
    TModBus& bus = fixture_->Form().Mip().Bus;
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox1->setCurrentIndex(4);
      dialog->ComboBox2->setCurrentIndex(12);
      dialog->CSpinEdit1->setValue(500);
      dialog->CancelBtn->click();
    });
    TriggerItem(fixture_->Form(), "N8");
    QCOMPARE(int(bus.PortIndex()), 0);
    QCOMPARE(int(bus.GetBaudIndex()), 6);
    QCOMPARE(int(bus.WaitTime()), 1300);
    // Closing the window counts as Cancel too.
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox1->setCurrentIndex(4);
      dialog->close();
    });
    TriggerItem(fixture_->Form(), "N8");
    QCOMPARE(int(bus.PortIndex()), 0);
  }

  // The pause between polls: continuously by default, 100..60000 ms otherwise, kept in the
  // settings file in a key of its own.
  void PollIntervalIsChosenAndKept() {
    TMainForm& form = fixture_->Form();
    auto answer = [](const QString& typed, bool ok, QString* shown = nullptr) {
      WhenModalShown<TPortSettings>([typed, ok, shown](TPortSettings* dialog) {
        if (shown) *shown = dialog->CSpinEditPoll->text();
        dialog->CSpinEditPoll->setFocus();
        dialog->CSpinEditPoll->selectAll();
        QTest::keyClicks(dialog->CSpinEditPoll, typed);
        if (ok)
          QTest::keyClick(dialog->CSpinEditPoll, Qt::Key_Return);
        else
          dialog->CancelBtn->click();
      });
    };
    QString shown;
    answer("50", true, &shown);
    Button(form, "ToolButton4")->click();
    QCOMPARE(shown, QString("непрерывно"));
    QCOMPARE(form.State().PollInterval, 100);
    answer("2500", true, &shown);
    TriggerItem(form, "N8");
    QCOMPARE(shown, QString("100 мс"));
    QCOMPARE(form.State().PollInterval, 2500);
    answer("7000", false);
    Button(form, "ToolButton4")->click();
    QCOMPARE(form.State().PollInterval, 2500);
    const QString path = fixture_->SettingsPath();
    fixture_->Close();
    const TIniFile ini(path);
    QCOMPARE(ini.ReadString("SettingsPort", "PollInterval").value_or(QString()), QString("2500"));
    QCOMPARE(ini.ReadString("SettingsPort", "WaitTime").value_or(QString()), QString("1300"));

    fixture_ = std::make_unique<TFormFixture>(ReadText(path), true);
    QCOMPARE(fixture_->Form().State().PollInterval, 2500);
    fixture_ = std::make_unique<TFormFixture>("[SettingsPort]\nPollInterval=99999\n", true);
    QCOMPARE(fixture_->Form().State().PollInterval, 60000);
    fixture_ = std::make_unique<TFormFixture>("[SettingsPort]\nPollInterval=fast\n", true);
    QCOMPARE(fixture_->Form().State().PollInterval, 0);
  }

  // Retries of a garbled read: none by default, 0..5, given to the channel and kept in a key of
  // their own; a file of the nine keys stays without it.
  void ReadRetriesAreChosenAndKept() {
    TMainForm& form = fixture_->Form();
    int shown = -1;
    WhenModalShown<TPortSettings>([&shown](TPortSettings* dialog) {
      shown = dialog->CSpinEditRetries->value();
      dialog->CSpinEditRetries->setFocus();
      dialog->CSpinEditRetries->selectAll();
      QTest::keyClicks(dialog->CSpinEditRetries, "2");
      QTest::keyClick(dialog->CSpinEditRetries, Qt::Key_Return);
    });
    TriggerItem(form, "N8");
    QCOMPARE(shown, 0);
    QCOMPARE(int(form.Mip().ReadRetries()), 2);
    const QString path = fixture_->SettingsPath();
    fixture_->Close();
    QCOMPARE(TIniFile(path).ReadString("SettingsPort", "ReadRetries").value_or(QString()),
             QString("2"));
    fixture_ = std::make_unique<TFormFixture>(ReadText(path), true);
    QCOMPARE(int(fixture_->Form().Mip().ReadRetries()), 2);
    fixture_ = std::make_unique<TFormFixture>("[SettingsPort]\nReadRetries=9\n", true);
    QCOMPARE(int(fixture_->Form().Mip().ReadRetries()), 5);
    fixture_ = std::make_unique<TFormFixture>("[SettingsPort]\nWaitTime=500\n", true);
    QCOMPARE(int(fixture_->Form().Mip().ReadRetries()), 0);
    const QString plain = fixture_->SettingsPath();
    fixture_->Close();
    QVERIFY(!TIniFile(plain).ReadString("SettingsPort", "ReadRetries"));
  }

  void EnterInTheTimeoutConfirmsAndLimits() {
    TModBus& bus = fixture_->Form().Mip().Bus;
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox1->setCurrentIndex(4);
      dialog->ComboBox2->setCurrentIndex(12);
      dialog->CSpinEdit1->setFocus();
      dialog->CSpinEdit1->selectAll();
      QTest::keyClicks(dialog->CSpinEdit1, "5");
      QTest::keyClick(dialog->CSpinEdit1, Qt::Key_Return);
    });
    TriggerItem(fixture_->Form(), "N8");
    QCOMPARE(int(bus.PortIndex()), 4);
    QCOMPARE(bus.BaudRate(), 115200u);
    QCOMPARE(int(bus.WaitTime()), 10);
  }

  void NewPortReopensAnOpenConnection() {
#ifdef _WIN32
    QSKIP("two serial ports are pseudo-terminals here; Windows has none");
#else
    TPty first;
    TPty second;
    QVERIFY(first.Valid() && second.Valid());
    TModBus& bus = fixture_->Form().Mip().Bus;
    bus.SetPortDevice(0, first.Path().toStdString());
    bus.SetPortDevice(1, second.Path().toStdString());
    bus.SetPortIndex(0);
    QVERIFY(bus.OpenPort());
    QVERIFY(first.HeldByAnother());
    QVERIFY(!second.HeldByAnother());

    // The same port again: the connection stays as it is; a new rate applies at once.
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox2->setCurrentIndex(12);
      dialog->OKBtn->click();
    });
    TriggerItem(fixture_->Form(), "N8");
    QVERIFY(bus.IsOpen());
    QVERIFY(first.HeldByAnother());
    QCOMPARE(first.Rate(), 115200u);

    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox1->setCurrentIndex(1);
      dialog->OKBtn->click();
    });
    TriggerItem(fixture_->Form(), "N8");
    QVERIFY(bus.IsOpen());
    QCOMPARE(int(bus.PortIndex()), 1);
    QVERIFY(!first.HeldByAnother());
    QVERIFY(second.HeldByAnother());
    bus.ClosePort();
#endif
  }

  void ClosedPortStaysClosed() {
#ifdef _WIN32
    QSKIP("two serial ports are pseudo-terminals here; Windows has none");
#else
    TPty first;
    TPty second;
    TModBus& bus = fixture_->Form().Mip().Bus;
    bus.SetPortDevice(0, first.Path().toStdString());
    bus.SetPortDevice(1, second.Path().toStdString());
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox1->setCurrentIndex(1);
      dialog->OKBtn->click();
    });
    TriggerItem(fixture_->Form(), "N8");
    QVERIFY(!bus.IsOpen());
    QVERIFY(!second.HeldByAnother());
#endif
  }

  void NewValuesReachTheSettingsFile() {
    WhenModalShown<TPortSettings>([](TPortSettings* dialog) {
      dialog->ComboBox1->setCurrentIndex(2);
      dialog->ComboBox2->setCurrentIndex(8);
      dialog->CSpinEdit1->setValue(250);
      dialog->OKBtn->click();
    });
    TriggerItem(fixture_->Form(), "N8");
    fixture_->Close();
    QVERIFY(ReadText(fixture_->SettingsPath())
                .startsWith("[SettingsPort]\nPortNumber=2\nBaudRate=8\nWaitTime=250\n"));
  }

  void VersionBox() {
    TriggerItem(fixture_->Form(), "N32");
    QCOMPARE(fixture_->Dialogs().Asked.size(), 1);
    const TAskedDialog& box = fixture_->Dialogs().Asked[0];
    QCOMPARE(box.Kind, QString("About"));
    QCOMPARE(box.Caption, QString("Конфигуратор приборов К7104Т1, К7104С1, К7104Е025"));
    QVERIFY(box.Text.endsWith("Версия Файла: 1.4.3.1\n"));
    QVERIFY(box.Text.contains(ProgramVersionInfo().CompanyName));
  }

  void VersionTexts() {
    const TVersionInfo info = ProgramVersionInfo();
    QCOMPARE(AboutAdditionalText(info), QString("Версия Файла: 1.4.3.1\n"));
    QCOMPARE(AboutApplicationText(info),
             "Конфигуратор приборов К7104Т1, К7104С1, К7104Е025# " + info.CompanyName);
    TVersionInfo other = info;
    other.FileVersion[0] = 2;
    other.FileVersion[3] = 17;
    QCOMPARE(AboutAdditionalText(other), QString("Версия Файла: 2.4.3.17\n"));
  }

  void MissingVersionInformationShowsNothing() {
    TVersionInfo empty;
    ShowAbout(&fixture_->Form(), fixture_->Dialogs(), empty);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

 private:
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestPortSettings)
#include "PortSettingsTest.moc"
