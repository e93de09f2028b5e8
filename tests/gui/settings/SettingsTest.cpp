// Start-up and shutdown: the settings file read at creation and written when the window is
// destroyed, its narrowing and defaults, the place of the file, a failed write, and the resize
// rules of the status bar and the grids.
#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QToolButton>
#include <QToolTip>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <atomic>
#include <csignal>
#include <thread>

#include "CommandSteps.h"
#include "GuiTestSupport.h"
#include "shell/settings/IniFile.h"
#include "shell/settings/Settings.h"
#include "shell/window/StatusBar.h"
#include "views/PageViews.h"

namespace {

const QString DefaultFile =
    "[SettingsPort]\n"
    "PortNumber=0\n"
    "BaudRate=6\n"
    "WaitTime=1300\n"
    "\n"
    "[Settings]\n"
    "CurrentAddress=1\n"
    "ShowHint=1\n"
    "AddressMin=1\n"
    "AddressMax=255\n"
    "MinArch=1\n"
    "MaxArch=100\n";

#ifndef _WIN32
// Limits the size of files this process writes, so that a write fails part way as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

// Notes whether anyone opens the FIFO for reading, and lets such an open go on by opening the
// other end, so that a window that wrongly waits in open() fails the test instead of hanging it.
class TFifoWatch {
 public:
  explicit TFifoWatch(const QString& path)
      : path_(QFile::encodeName(path)), thread_([this] { Watch(); }) {}
  ~TFifoWatch() {
    done_ = true;
    thread_.join();
  }
  bool Opened() const { return opened_; }

 private:
  void Watch() {
    while (!done_) {
      const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        opened_ = true;
        ::close(fd);
      }
      ::usleep(10000);
    }
  }

  QByteArray path_;
  std::atomic<bool> done_{false};
  std::atomic<bool> opened_{false};
  std::thread thread_;
};
#endif

class TEventProbe : public QObject {
 public:
  explicit TEventProbe(QEvent::Type type) : type_(type) {}
  int Seen = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) ++Seen;
    return false;
  }

 private:
  QEvent::Type type_;
};

bool AllColumnsEqual(const TStringGrid* grid) {
  for (int c = 1; c < grid->ColCount(); ++c)
    if (grid->ColWidth(c) != grid->ColWidth(0)) return false;
  return true;
}

int ClientWidth(const TStringGrid* grid) {
  return grid->viewport()->width() + grid->verticalHeader()->width();
}

}  // namespace

class TestSettings : public QObject {
  Q_OBJECT

 private slots:
  void FirstRunDefaults() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    TModBus& bus = form.Mip().Bus;
    QCOMPARE(int(bus.PortIndex()), 0);
    QCOMPARE(int(bus.GetBaudIndex()), 6);
    QCOMPARE(bus.BaudRate(), 9600u);
    QCOMPARE(int(bus.WaitTime()), 1300);
    QCOMPARE(int(form.Mip().Address), 1);
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->value(), 1);
    QVERIFY(form.ShowHint());
    QVERIFY(Button(form, "ToolButton6")->isChecked());
    QVERIFY(Item(form, "N10")->isChecked());
    QCOMPARE(int(form.State().AddressMin), 1);
    QCOMPARE(int(form.State().AddressMax), 255);
    QCOMPARE(int(form.State().MinArch), 1);
    QCOMPARE(int(form.State().MaxArch), 100);
    QVERIFY(form.State().ManualAddressMode);
    QVERIFY(!form.Pages().Modified);
    QCOMPARE(int(Devices(form).PageChange().RememberedPageJobCode()), 0);
    QVERIFY(!QFile::exists(fixture.SettingsPath()));
    fixture.Close();
    QCOMPARE(ReadText(fixture.SettingsPath()), DefaultFile);
    QVERIFY(fixture.Dialogs().Asked.isEmpty());
  }

  void OddSettings() {
    TFormFixture fixture(
        "[SettingsPort]\nPortNumber=25\nBaudRate=15\nWaitTime=70000\n"
        "[Settings]\nCurrentAddress=0\nShowHint=0\nAddressMin=257\nAddressMax=-1\n"
        "MinArch=0\nMaxArch=70000\n",
        true);
    TMainForm& form = fixture.Form();
    QCOMPARE(int(form.Mip().Bus.PortIndex()), 1);  // COM2, the channel's own start port
    QCOMPARE(int(form.Mip().Bus.GetBaudIndex()), 6);
    QCOMPARE(int(form.Mip().Bus.WaitTime()), 4464);
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->value(), 1);
    QVERIFY(!form.ShowHint());
    QVERIFY(!Button(form, "ToolButton6")->isChecked());
    QVERIFY(!Item(form, "N10")->isChecked());
    QCOMPARE(int(form.State().AddressMin), 1);
    QCOMPARE(int(form.State().AddressMax), 255);
    QCOMPARE(int(form.State().MinArch), 0);
    QCOMPARE(int(form.State().MaxArch), 4464);
    fixture.Close();
    const TIniFile ini(fixture.SettingsPath());
    QCOMPARE(ini.ReadInteger("SettingsPort", "PortNumber", -1), 1);
    QCOMPARE(ini.ReadInteger("SettingsPort", "BaudRate", -1), 6);
    QCOMPARE(ini.ReadInteger("SettingsPort", "WaitTime", -1), 4464);
    QCOMPARE(ini.ReadInteger("Settings", "ShowHint", -1), 0);
    QCOMPARE(ini.ReadInteger("Settings", "MaxArch", -1), 4464);
    QCOMPARE(ini.ReadInteger("Settings", "AddressMin", -1), 1);
  }

  void ValuesThatAreNoIntegersGiveTheDefaults() {
    TFormFixture fixture(
        "[SettingsPort]\nPortNumber=three\nBaudRate=\nWaitTime=12ms\n"
        "[Settings]\nCurrentAddress=99999999999\nShowHint=yes\nMaxArch=1.5\n",
        true);
    TMainForm& form = fixture.Form();
    QCOMPARE(int(form.Mip().Bus.PortIndex()), 0);
    QCOMPARE(int(form.Mip().Bus.GetBaudIndex()), 6);
    QCOMPARE(int(form.Mip().Bus.WaitTime()), 1300);
    QCOMPARE(int(form.Mip().Address), 1);
    QVERIFY(form.ShowHint());
    QCOMPARE(int(form.State().MaxArch), 100);
  }

  void NamesAreReadWithoutRegardToCase() {
    TFormFixture fixture("[settingsport]\n  portnumber = 3 \r\nBAUDRATE=12\r\n", true);
    QCOMPARE(int(fixture.Form().Mip().Bus.PortIndex()), 3);
    QCOMPARE(fixture.Form().Mip().Bus.BaudRate(), 115200u);
  }

  void IntegerForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "1300" << true << 1300;
    QTest::newRow("blanks") << "  42 " << true << 42;
    QTest::newRow("negative") << "-1" << true << -1;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("hex dollar") << "$1F" << true << 31;
    QTest::newRow("hex 0x") << "0x10" << true << 16;
    QTest::newRow("hex full") << "$FFFFFFFF" << true << -1;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("too large") << "2147483648" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("word") << "abc" << false << 0;
    QTest::newRow("trailing text") << "12x" << false << 0;
    QTest::newRow("decimal") << "1.5" << false << 0;
    QTest::newRow("empty hex") << "$" << false << 0;
  }
  void IntegerForms() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<int> parsed = TIniFile::ParseInteger(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid) QCOMPARE(*parsed, value);
  }

  void ChangedValuesAreWrittenBack() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.Mip().Bus.SetPortIndex(4);
    form.Mip().Bus.SetBaudIndex(12);
    form.Mip().Bus.SetWaitTime(500);
    Control<QSpinBox>(form, "CSpinEditAddress")->setValue(9);
    TriggerItem(form, "N10");
    form.State().AddressMin = 3;
    form.State().AddressMax = 17;
    form.State().MinArch = 10;
    form.State().MaxArch = 50;
    fixture.Close();
    QCOMPARE(ReadText(fixture.SettingsPath()),
             QString("[SettingsPort]\nPortNumber=4\nBaudRate=12\nWaitTime=500\n\n"
                     "[Settings]\nCurrentAddress=9\nShowHint=0\nAddressMin=3\nAddressMax=17\n"
                     "MinArch=10\nMaxArch=50\n"));
  }

  // Every key is written on every exit, and whatever else the file holds stays as it was.
  void OtherContentSurvives() {
    const QString devices =
        "[PortDevices]\nCom1=/dev/ttyUSB0\n; the converter on the bench\nCom3 = /tmp/k7104 link\n";
    TFormFixture fixture("; written by hand\n[Settings]\nShowHint=0\nExtra=keep me\n\n" + devices,
                         true);
    TModBus& bus = fixture.Form().Mip().Bus;
    QCOMPARE(QString::fromStdString(bus.PortDevice(0)), QString("/dev/ttyUSB0"));
    QCOMPARE(QString::fromStdString(bus.PortDevice(1)), DefaultDevice(1));
    QCOMPARE(QString::fromStdString(bus.PortDevice(2)), QString("/tmp/k7104 link"));
    fixture.Close();
    const QString text = ReadText(fixture.SettingsPath());
    QCOMPARE(text,
             "; written by hand\n[Settings]\nShowHint=0\nExtra=keep me\nCurrentAddress=1\n"
             "AddressMin=1\nAddressMax=255\nMinArch=1\nMaxArch=100\n\n" +
                 devices + "\n[SettingsPort]\nPortNumber=0\nBaudRate=6\nWaitTime=1300\n");
    const TIniFile ini(fixture.SettingsPath());
    for (const char* key : {"PortNumber", "BaudRate", "WaitTime"})
      QVERIFY(ini.ReadString("SettingsPort", key).has_value());
    for (const char* key :
         {"CurrentAddress", "ShowHint", "AddressMin", "AddressMax", "MinArch", "MaxArch"})
      QVERIFY(ini.ReadString("Settings", key).has_value());
  }

  void UnwritableFolderIsReported() {
    QTemporaryDir dir;
    WriteText(dir.filePath("file"), "not a folder");
    const QString path = dir.filePath("file/k7104-configurator.ini");
    TScriptedDialogs dialogs;
    {
      TMainFormOptions options;
      options.SettingsPath = path;
      options.Dialogs = &dialogs;
      TMainForm form(options);
    }
    QCOMPARE(dialogs.Asked.size(), 1);
    QCOMPARE(dialogs.Asked[0].Kind, QString("Error"));
    QCOMPARE(dialogs.Asked[0].Text, "Unable to write to " + QDir::toNativeSeparators(path));
  }

  // A FIFO in place of the settings file neither holds the window up nor becomes a plain file.
  void SettingsFileThatIsNoRegularFile() {
#ifdef _WIN32
    QSKIP("a FIFO in the file system is POSIX's; Windows has none");
#else
    QTemporaryDir dir;
    const QString path = dir.filePath("k7104-configurator.ini");
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    TFifoWatch watch(path);
    TScriptedDialogs dialogs;
    {
      TMainFormOptions options;
      options.SettingsPath = path;
      options.Dialogs = &dialogs;
      TMainForm form(options);
      QCOMPARE(int(form.Mip().Bus.PortIndex()), 0);
      QCOMPARE(int(form.Mip().Address), 1);
      QCOMPARE(form.State().MaxArch, uint16_t(100));
      QVERIFY(form.EventLog().first().endsWith(
          "Файл настроек " + path +
          " не является обычным файлом: настройки взяты по умолчанию и при выходе не "
          "записываются."));
      form.Mip().Bus.SetPortIndex(7);
    }
    QVERIFY(!watch.Opened());
    QVERIFY(dialogs.Asked.isEmpty());
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
#endif
  }

  // The bytes of the lines the window does not change survive as they were, whatever their
  // encoding: a comment in Windows-1251, a Latin-1 device path, CR LF ends, blanks around a value
  // and a last line without an end. A file over 1 MB is not read, said so, and left alone.
  void SettingsFileKeepsTheBytesItDoesNotChange() {
    QTemporaryDir dir;
    const QString path = dir.filePath("k7104-configurator.ini");
    const QByteArray kept =
        "; \xED\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8\r\n"  // "; настройки" in Windows-1251
        "[SettingsPort]\r\n  PortNumber = 0 \r\nBaudRate=6\r\nWaitTime=1300\r\n\r\n"
        "[Settings]\r\nCurrentAddress=1\r\nShowHint=1\r\nAddressMin=1\r\nAddressMax=255\r\n"
        "MinArch=1\r\nMaxArch=100\r\n[PortDevices]\r\nCom2=/dev/ttyUSB-caf\xE9";
    TScriptedDialogs dialogs;
    TMainFormOptions options;
    options.SettingsPath = path;
    options.Dialogs = &dialogs;
    QVERIFY(Steps::WriteBytes(path, kept));
    { TMainForm form(options); }
    QCOMPARE(Steps::FileBytes(path), kept);
    {
      TMainForm form(options);
      form.Mip().Bus.SetPortIndex(4);
    }
    QByteArray changed = kept;
    changed.replace("  PortNumber = 0 \r\n", "PortNumber=4\r\n");
    QCOMPARE(Steps::FileBytes(path), changed);

    const QByteArray large(TIniFile::MaxFileSize + 1, '\xFF');
    QVERIFY(Steps::WriteBytes(path, large));
    {
      TMainForm form(options);
      QCOMPARE(int(form.Mip().Bus.PortIndex()), 0);
      QVERIFY(form.EventLog().first().endsWith(
          "Файл настроек " + QDir::toNativeSeparators(path) +
          " больше 1 МБ: он не прочитан, настройки взяты по умолчанию и при выходе не "
          "записываются."));
      form.Mip().Bus.SetPortIndex(7);
    }
    QVERIFY(Steps::FileBytes(path) == large);
    QVERIFY(dialogs.Asked.isEmpty());
  }

  // A write that fails part way (here: the file size limit, as on a full disk) leaves the old
  // file whole and no stray temporary file beside it.
  void FailedWriteLeavesTheOldFileWhole() {
#ifdef _WIN32
    QSKIP("a write is made to fail part way by POSIX's file size limit; Windows has none");
#else
    const QString old =
        "[SettingsPort]\nPortNumber=2\nBaudRate=6\nWaitTime=1300\n[Settings]\nCurrentAddress=5\n";
    TFormFixture fixture(old, true);
    fixture.Form().Mip().Bus.SetPortIndex(7);
    fixture.Form().State().MaxArch = 4000;
    {
      TFileSizeLimit limit(24);
      fixture.Close();
    }
    QCOMPARE(ReadText(fixture.SettingsPath()), old);
    QCOMPARE(QDir(fixture.Folder()).entryList(QDir::Files), QStringList{"k7104-configurator.ini"});
    QCOMPARE(fixture.Dialogs().Asked.size(), 1);
    QCOMPARE(fixture.Dialogs().Asked[0].Text,
             "Unable to write to " + QDir::toNativeSeparators(fixture.SettingsPath()));
#endif
  }

  void DefaultPlaceOfTheFile() {
    QTemporaryDir dir;
    QCOMPARE(Settings::DefaultFilePath(dir.filePath("k7104-configurator")),
             dir.filePath("k7104-configurator.ini"));
    QCOMPARE(Settings::DefaultFilePath(dir.filePath("configurator.exe")),
             dir.filePath("configurator.ini"));
#ifdef _WIN32
    // Beside a program in a folder it cannot write, the file is the user's, under %APPDATA%.
    const QByteArray savedAppData = qgetenv("APPDATA");
    qputenv("APPDATA", QFile::encodeName(dir.filePath("roaming")));
    QCOMPARE(Settings::DefaultFilePath("/nonexistent-folder/k7104-configurator.exe"),
             dir.filePath("roaming/k7104-configurator/k7104-configurator.ini"));
    qputenv("APPDATA", savedAppData);
#else
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    QCOMPARE(Settings::DefaultFilePath("/nonexistent-folder/k7104-configurator"),
             dir.filePath("config/k7104-configurator/k7104-configurator.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(Settings::DefaultFilePath("/nonexistent-folder/k7104-configurator"),
             QDir::homePath() + "/.config/k7104-configurator/k7104-configurator.ini");
    if (!savedXdg.isNull()) qputenv("XDG_CONFIG_HOME", savedXdg);
#endif
  }

  void ToolTipCommand() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QToolButton* button = Button(form, "ToolButton4");
    TEventProbe probe(QEvent::ToolTip);
    button->installEventFilter(&probe);
    // The window's own filter sits on the application and so sees the event first.
    auto hintShown = [button, &probe] {
      probe.Seen = 0;
      QHelpEvent event(QEvent::ToolTip, QPoint(4, 4), button->mapToGlobal(QPoint(4, 4)));
      QApplication::sendEvent(button, &event);
      return probe.Seen == 1;
    };
    QVERIFY(hintShown());
    Button(form, "ToolButton6")->click();
    QVERIFY(!form.ShowHint());
    QVERIFY(!Button(form, "ToolButton6")->isChecked());
    QVERIFY(!Item(form, "N10")->isChecked());
    QVERIFY(!hintShown());
    TriggerItem(form, "N10");
    QVERIFY(form.ShowHint());
    QVERIFY(Button(form, "ToolButton6")->isChecked());
    QVERIFY(Item(form, "N10")->isChecked());
    QVERIFY(hintShown());
    QToolTip::hideText();
  }

  void ResizeKeepsTheStatusBarInShape() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int width : {640, 1000, 1500, 900}) {
      form.resize(width, 500);
      QApplication::processEvents();
      const TStatusBar* bar = Control<TStatusBar>(form, "StatusBar");
      const int panel0 = bar->PanelWidth(0);
      QCOMPARE(panel0, bar->width() - bar->PanelWidth(1) - bar->PanelWidth(2));
      QCOMPARE(Control<QLabel>(form, "ForMessage")->x(), 2);
      QCOMPARE(Control<QLabel>(form, "ForMessage")->width(), panel0 - 2);
      QCOMPARE(Control<QProgressBar>(form, "CGauge")->x(), panel0 + 2);
      QCOMPARE(Control<QProgressBar>(form, "CGauge")->width(), bar->PanelWidth(1) - 4);
      QCOMPARE(Control<QLabel>(form, "ImageStateConnect")->x(),
               bar->width() - 2 * Control<QLabel>(form, "ImageStateConnect")->width());
      QCOMPARE(Control<QLabel>(form, "ImageStateConnect")->width(),
               Control<QLabel>(form, "ImageStateConnect")->height());
      QVERIFY(Control<QLabel>(form, "ImageStateConnect")->x() > bar->PanelRect(2).left());
    }
  }

  void ResizeKeepsGridColumnsEqual() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    TPageViews& pages = form.Pages();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int width : {700, 1200}) {
      form.resize(width, 600);
      for (int page = 0; page < pages.PageControl()->Count(); ++page) {
        pages.PageControl()->SetCurrentIndex(page);
        TglPageControl* nested = pages.SubPages(page);
        const int subPages = nested ? nested->Count() : 1;
        for (int sub = 0; sub < subPages; ++sub) {
          if (nested) nested->SetCurrentIndex(sub);
          QApplication::processEvents();
          for (const TStringGrid* grid : pages.GridList()) {
            if (!grid->isVisible()) continue;
            QVERIFY2(AllColumnsEqual(grid), qPrintable(grid->objectName()));
            const int used = grid->ColWidth(0) * grid->ColCount();
            QVERIFY2(used <= ClientWidth(grid) && used > ClientWidth(grid) - 2 * grid->ColCount(),
                     qPrintable(grid->objectName()));
          }
        }
      }
    }
  }
};

K7104_GUI_TEST_MAIN(TestSettings)
#include "SettingsTest.moc"
