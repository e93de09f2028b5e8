// Serial devices as the user knows them, through the real window: "Найти порты" lists a converter
// (a simulated line's pseudo-terminal behind a link in a scratch by-id folder), binds it to a Com
// number and the window talks to the instrument through it.
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

#include "CommandSteps.h"
#include "shell/port/FindPorts.h"
#include "shell/port/PortSettings.h"
#include "shell/settings/IniFile.h"
#include "sim/Simulator.h"

using namespace Steps;

namespace {

const QString ConverterId = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// Scratch by-id, dev and sys folders that the window scans instead of the machine's own.
class TScanFolders {
 public:
  TScanFolders() {
    QDir root(dir_.path());
    root.mkpath("by-id");
    root.mkpath("dev");
    root.mkpath("sys");
    qputenv("K7104_SERIAL_BY_ID", ById().toUtf8());
    qputenv("K7104_SERIAL_DEV", Dev().toUtf8());
    qputenv("K7104_SERIAL_SYS", dir_.filePath("sys").toUtf8());
  }
  ~TScanFolders() {
    qunsetenv("K7104_SERIAL_BY_ID");
    qunsetenv("K7104_SERIAL_DEV");
    qunsetenv("K7104_SERIAL_SYS");
  }
  QString ById() const { return dir_.filePath("by-id"); }
  QString Dev() const { return dir_.filePath("dev"); }
  QString ConverterLink() const { return ById() + "/" + ConverterId; }

 private:
  QTemporaryDir dir_;
};

std::unique_ptr<k7104sim::Line> ConverterLine(const QString& link) {
  k7104sim::LineOptions options;
  options.linkPath = link.toStdString();
  auto line = std::make_unique<k7104sim::Line>(options);
  line->AddInstrument({1, 6, 8, 4});
  return line;
}

struct TSeen {
  QString ComDevice;  // beside ComboBox1 before the binding
  QStringList Rows;   // the find dialog's rows: path | name | node
  QString BoundTip;   // the device of the Com number chosen after the binding
  int BoundIndex = -1;
};

QString RowText(const QTreeWidgetItem* item) {
  return item->text(0) + " | " + item->text(1) + " | " + item->text(2);
}

// Opens the port settings, finds the ports, picks the row whose device ends with rowEnd, binds it
// to the Com number and confirms the settings.
TSeen BindThroughTheDialogs(TMainForm& form, const QString& rowEnd, int comIndex) {
  TSeen seen;
  WhenModalShown<TPortSettings>([&seen, rowEnd, comIndex](TPortSettings* settings) {
    seen.ComDevice = settings->PortDevice->text();
    WhenModalShown<TFindPorts>([&seen, rowEnd, comIndex](TFindPorts* find) {
      for (int i = 0; i < find->PortList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = find->PortList->topLevelItem(i);
        seen.Rows << RowText(item);
        if (item->text(0).endsWith(rowEnd)) find->PortList->setCurrentItem(item);
      }
      find->ComboBoxCom->setCurrentIndex(comIndex);
      find->BindBtn->click();
    });
    settings->FindPortsButton->click();
    seen.BoundIndex = settings->ComboBox1->currentIndex();
    seen.BoundTip = settings->PortDevice->toolTip();
    settings->OKBtn->click();
  });
  Button(form, "ToolButton4")->click();
  return seen;
}

}  // namespace

class TestPortBinding : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
#ifdef _WIN32
    QSKIP("binding is to a Linux converter's /dev/serial/by-id link; Windows names COM ports");
#endif
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void cleanup() {
    fixture_.reset();
    line_.reset();
    folders_.reset();
  }

  // The node the by-id link leads to is listed too; choosing it binds the link, which a replug
  // keeps. The binding is in the settings file at once, beside the keys already there.
  void ConverterIsBoundByItsStablePath() {
    folders_ = std::make_unique<TScanFolders>();
    line_ = ConverterLine(folders_->ConverterLink());
    QVERIFY(line_->Start());
    const QString node = QString::fromStdString(line_->SlavePath());
    QVERIFY(QFile::link(node, folders_->Dev() + "/ttyUSB0"));
    fixture_ = std::make_unique<TFormFixture>(
        "[SettingsPort]\nWaitTime=1300\n[Elsewhere]\nKept=yes\n", true);
    TMainForm& form = fixture_->Form();
    form.show();

    const TSeen seen = BindThroughTheDialogs(form, "/ttyUSB0", 2);
    QCOMPARE(seen.ComDevice, QString("/dev/ttyS0"));
    QCOMPARE(seen.Rows,
             (QStringList{folders_->ConverterLink() + " | FTDI FT232R USB UART A50285BI | " + node,
                          folders_->Dev() + "/ttyUSB0 | FTDI FT232R USB UART A50285BI | " + node}));
    QCOMPARE(seen.BoundIndex, 2);
    QCOMPARE(seen.BoundTip, folders_->ConverterLink());
    QCOMPARE(int(form.Mip().Bus.PortIndex()), 2);
    QCOMPARE(Reported(form, "Порту Com3 назначено устройство " + folders_->ConverterLink() + "."),
             1);
    const TIniFile ini(fixture_->SettingsPath());
    QCOMPARE(ini.ReadString("PortDevices", "Com3").value_or(QString()), folders_->ConverterLink());
    QCOMPARE(ini.ReadString("Elsewhere", "Kept").value_or(QString()), QString("yes"));
    QCOMPARE(ini.ReadString("SettingsPort", "WaitTime").value_or(QString()), QString("1300"));

    // The open list names each Com number's device beside it.
    auto* list = Control<TPortSettings>(form, "PortSettings")->ComboBox1;
    QCOMPARE(list->itemText(2), QString("Com3"));
    QCOMPARE(list->itemData(2, TPortSettings::DeviceRole).toString(), folders_->ConverterLink());
    QCOMPARE(list->itemData(3, TPortSettings::DeviceRole).toString(), QString("/dev/ttyS3"));

    // Connected through Com3, the window reads the instrument's identity and its values.
    Button(form, "ToolButton8")->click();
    QVERIFY(form.Mip().Bus.IsOpen());
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);
    QCOMPARE(int(form.Mip().ChannelCount), 8);
    QVERIFY(Shown(fixture_->Dialogs(), "Error").isEmpty());
    Button(form, "ToolButton8")->click();
    QVERIFY(NoMoreJobs(form));

    // The next run starts with the binding.
    const QString path = fixture_->SettingsPath();
    fixture_->Close();
    fixture_ = std::make_unique<TFormFixture>(ReadText(path), true);
    QCOMPARE(QString::fromStdString(fixture_->Form().Mip().Bus.PortDevice(2)),
             folders_->ConverterLink());
  }

  void UnpluggedConverterIsOfferedAgainWhenBack_data() {
    QTest::addColumn<bool>("otherPortChosen");
    QTest::newRow("connect again") << false;
    QTest::newRow("another port chosen meanwhile") << true;
  }
  // A pulled converter: the window says so at the next transaction and stops polling; once the
  // converter is back it offers to connect again, and connecting works. An offer made for the
  // device of one port does not open another.
  void UnpluggedConverterIsOfferedAgainWhenBack() {
    QFETCH(bool, otherPortChosen);
    folders_ = std::make_unique<TScanFolders>();
    const QString link = folders_->ConverterLink();
    line_ = ConverterLine(link);
    QVERIFY(line_->Start());
    fixture_ = std::make_unique<TFormFixture>(LineSettings(link), true);
    TMainForm& form = fixture_->Form();
    TModBus& bus = form.Mip().Bus;
    form.show();
    Button(form, "ToolButton8")->click();
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 1, Patience);

    line_.reset();  // its terminal and the by-id link go, as a converter's node does
    QVERIFY(!QFileInfo::exists(link));
    QTRY_COMPARE_WITH_TIMEOUT(Shown(fixture_->Dialogs(), "Error").size(), 1, Patience);
    const QString error = Shown(fixture_->Dialogs(), "Error").first();
    QVERIFY2(error.startsWith(ResultMessage(RESULT_UNKNOWN)) ||
                 error.startsWith(ResultMessage(RESULT_WRITE_FAILED)),
             qPrintable(error));
    QVERIFY(!bus.IsOpen());
    QCOMPARE(Reported(form, "Порт закрыт. Устройство " + link + " отключено."), 1);
    // The box says it too, under the failure's own sentence.
    QCOMPARE(fixture_->Dialogs().Asked.last().Informative,
             "Порт закрыт. Устройство " + link + " отключено.");
    QVERIFY(NoMoreJobs(form));
    QVERIFY(Control<QPushButton>(form, "ReconnectButton")->isHidden());

    line_ = ConverterLine(link);
    QVERIFY(line_->Start());
    QTRY_VERIFY_WITH_TIMEOUT(Control<QPushButton>(form, "ReconnectButton")->isVisible(), Patience);
    if (otherPortChosen) {
      WhenModalShown<TPortSettings>([](TPortSettings* settings) {
        settings->ComboBox1->setCurrentIndex(1);
        settings->OKBtn->click();
      });
      Button(form, "ToolButton4")->click();
      QVERIFY(Control<QPushButton>(form, "ReconnectButton")->isHidden());
      QVERIFY(!bus.IsOpen());
      return;
    }
    QCOMPARE(Reported(form, "Устройство " + link +
                                " снова подключено: «Соединиться снова» открывает порт."),
             1);
    const int reads = Reported(form, ReadOf8And4);
    QTest::mouseClick(Control<QPushButton>(form, "ReconnectButton"), Qt::LeftButton);
    QVERIFY(bus.IsOpen());
    QVERIFY(Control<QPushButton>(form, "ReconnectButton")->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) > reads, Patience);
    QCOMPARE(Shown(fixture_->Dialogs(), "Error").size(), 1);
    Button(form, "ToolButton8")->click();
    QVERIFY(NoMoreJobs(form));
  }

  void NoDevicesSaysSoAndBindsNothing() {
    folders_ = std::make_unique<TScanFolders>();
    fixture_ = std::make_unique<TFormFixture>();
    TMainForm& form = fixture_->Form();
    bool noPortsShown = false;
    bool bindEnabled = true;
    WhenModalShown<TPortSettings>([&](TPortSettings* settings) {
      WhenModalShown<TFindPorts>([&](TFindPorts* find) {
        noPortsShown = find->NoPortsLabel->isVisibleTo(find);
        bindEnabled = find->BindBtn->isEnabled();
        find->CloseBtn->click();
      });
      settings->FindPortsButton->click();
      settings->CancelBtn->click();
    });
    TriggerItem(form, "N8");
    QVERIFY(noPortsShown);
    QVERIFY(!bindEnabled);
    QCOMPARE(QString::fromStdString(form.Mip().Bus.PortDevice(0)), QString("/dev/ttyS0"));
    QVERIFY(!QFile::exists(fixture_->SettingsPath()));
  }

 private:
  std::unique_ptr<TScanFolders> folders_;
  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestPortBinding)
#include "PortBindingTest.moc"
