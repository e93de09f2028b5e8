// The "Файл" commands on the real window with real files in a temporary folder: New, Open and
// Save of a configuration, the dialogs they ask for, refused files, and the commands while the
// instrument on a simulated line is being polled.
#include <QAction>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <cstring>
#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "files/ConfigFile.h"
#include "modbus/Modbusunit.h"
#include "shell/device/ArchQwery.h"
#include "views/PopupList.h"
#include "views/StringGrid.h"

using namespace Steps;

namespace {

const QString ProgramFiles = "Файлы программы|*.prb|Все файлы|*.*";
const QString CannotOpen = "Не могу открыть файл!";
const QString CannotSave = "Не могу сохранить в файл!";
const QString NoSensor = "0. Нет датчика";
const QString XaK = "37. Термопара XA(K)";

// Every byte of the configuration block different from its neighbours and from a reset block.
void FillPattern(TConfigBlock& block) {
  auto* bytes = reinterpret_cast<uint8_t*>(&block);
  for (size_t i = 0; i < ConfigBlockSize; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
}

QByteArray BlockBytes(const TConfigBlock& block) {
  return QByteArray(reinterpret_cast<const char*>(&block), ConfigBlockSize);
}

QByteArray ConfigFileBytes(const TConfigBlock& block) {
  return QByteArray(ConfigFileHeaderText, ConfigFileHeaderSize) + BlockBytes(block);
}

MeasurementRecord Record(uint16_t number) {
  MeasurementRecord record;
  record.Number = number;
  record.Time = EncodeDate(2005, 3, 12);
  return record;
}

}  // namespace

class TestFileCommands : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() { fixture_ = std::make_unique<TFormFixture>(); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  void SaveThenOpenGivesTheIdenticalBlock() {
    TMainForm& form = fixture_->Form();
    TMIP& mip = form.Mip();
    FillPattern(mip.Config);
    const QByteArray saved = BlockBytes(mip.Config);
    const QString path = InFolder("plant.prb");
    Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();

    const TAskedDialog save = Dialogs().Asked.value(0);
    QCOMPARE(save.Kind, QString("Save"));
    QCOMPARE(save.Caption, QString("Сохранить настройки"));
    QCOMPARE(save.Text, ProgramFiles);
    QCOMPARE(save.Extension, QString("prb"));
    QVERIFY(save.Owner == &form);
    QCOMPARE(FileBytes(path), ConfigFileBytes(mip.Config));

    // What the file does not hold stays as it is when it is opened.
    std::memset(&mip.Config, 0, ConfigBlockSize);
    mip.ChannelCount = 8;
    std::strcpy(mip.DeviceId, "VOSTRELIN!");
    mip.Address = 17;
    mip.MeasArchive = {Record(3)};
    Dialogs().FileNames = {path};
    Button(form, "ToolButton2")->click();

    const TAskedDialog open = Dialogs().Asked.value(1);
    QCOMPARE(open.Kind, QString("Open"));
    QCOMPARE(open.Caption, QString());
    QCOMPARE(open.Text, ProgramFiles);
    QCOMPARE(open.Extension, QString("prb"));
    QVERIFY(open.Owner == &form);
    QCOMPARE(BlockBytes(mip.Config), saved);
    QCOMPARE(int(mip.ChannelCount), 8);
    QCOMPARE(QString(mip.DeviceId), QString("VOSTRELIN!"));
    QCOMPARE(int(mip.Address), 17);
    QCOMPARE(int(mip.ArchiveCount()), 1);
    QCOMPARE(Dialogs().Asked.size(), 2);
  }

  // Saving replaces an existing file of any length.
  void SaveReplacesAnExistingFile() {
    TMainForm& form = fixture_->Form();
    const QString path = InFolder("old.prb");
    QVERIFY(WriteBytes(path, QByteArray(5000, 'x')));
    form.Mip().Config.TypeSensor[0] = 37;
    Dialogs().FileNames = {path};
    TriggerItem(form, "N4");
    QCOMPARE(FileBytes(path), ConfigFileBytes(form.Mip().Config));
    QVERIFY(Shown(Dialogs(), "Error").isEmpty());
  }

  void RefusedFiles_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    TConfigBlock block{};
    FillPattern(block);
    const QByteArray good = ConfigFileBytes(block);
    QTest::newRow("1737 bytes") << true << good.left(1737);
    QTest::newRow("1739 bytes") << true << good + '\0';
    QTest::newRow("empty file") << true << QByteArray();
    for (int offset : {0, 4, 21, 22}) {
      QByteArray changed = good;
      changed[offset] = static_cast<char>(changed[offset] ^ 0x20);
      QTest::newRow(qPrintable(QString("header byte %1 changed").arg(offset))) << true << changed;
    }
    QTest::newRow("no such file") << false << QByteArray();
  }
  // The data image keeps the previous configuration and the page shows it again.
  void RefusedFiles() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    TMainForm& form = fixture_->Form();
    ClickPage(form, 2);
    form.Mip().Config.TypeSensor[0] = 37;
    const QByteArray before = BlockBytes(form.Mip().Config);
    TStringGrid* grid = form.Pages().StringGrid(3);
    grid->SetCells(1, 1, "not rendered");
    const QString path = InFolder("refused.prb");
    if (exists) QVERIFY(WriteBytes(path, bytes));

    Dialogs().FileNames = {path};
    Button(form, "ToolButton2")->click();

    QCOMPARE(Shown(Dialogs(), "Error"), QStringList{CannotOpen});
    const TAskedDialog error = Dialogs().Asked.last();
    QCOMPARE(error.Caption, QString());
    QVERIFY(error.Owner == &form);
    QCOMPARE(BlockBytes(form.Mip().Config), before);
    QCOMPARE(grid->Cells(1, 1), XaK);
  }

  void OpeningAFolderIsRefused() {
    TMainForm& form = fixture_->Form();
    form.Mip().Config.Filter[3] = 4;
    const QByteArray before = BlockBytes(form.Mip().Config);
    Dialogs().FileNames = {fixture_->Folder()};
    TriggerItem(form, "N3");
    QCOMPARE(Shown(Dialogs(), "Error"), QStringList{CannotOpen});
    QCOMPARE(BlockBytes(form.Mip().Config), before);
  }

  void CancelledDialogsChangeNothing() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, 2);
    form.Mip().Config.TypeSensor[0] = 37;
    const QByteArray before = BlockBytes(form.Mip().Config);
    TStringGrid* grid = form.Pages().StringGrid(3);
    grid->SetCells(1, 1, "left alone");
    Button(form, "ToolButton2")->click();
    Button(form, "ToolButton3")->click();
    QCOMPARE(Dialogs().Asked.size(), 2);
    QCOMPARE(Dialogs().Asked[0].Kind, QString("Open"));
    QCOMPARE(Dialogs().Asked[1].Kind, QString("Save"));
    QCOMPARE(BlockBytes(form.Mip().Config), before);
    QCOMPARE(grid->Cells(1, 1), QString("left alone"));
    QCOMPARE(QDir(fixture_->Folder()).entryList(QDir::Files), QStringList{});
  }

  void SaveWhereNoFileCanBeWritten() {
    TMainForm& form = fixture_->Form();
    const QString blocker = InFolder("a-file");
    QVERIFY(WriteBytes(blocker, "not a folder"));
    Dialogs().FileNames = {blocker + "/plant.prb"};
    Button(form, "ToolButton3")->click();
    QCOMPARE(Shown(Dialogs(), "Error"), QStringList{CannotSave});
    QCOMPARE(Dialogs().Asked.last().Caption, QString());
    QVERIFY(Dialogs().Asked.last().Owner == &form);
    QCOMPARE(FileBytes(blocker), QByteArray("not a folder"));
  }

  void SaveOnTheArchivePageExportsTheArchive() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, 15);
    form.Mip().ChannelCount = 1;
    form.Mip().MeasArchive = {Record(4)};
    const QString path = InFolder("archive.txt");
    Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();
    QCOMPARE(Dialogs().Asked.value(0).Caption, QString("Сохранить Архив"));
    QCOMPARE(FileBytes(path), QByteArray("#\xC7\xE0\xEF\t\xC4\xE0\xF2\xE0 \xC2\xF0\xE5\xEC\xFF"
                                         "\t\xCA\xE0\xED\xE0\xEB_1\r\n"
                                         "4\t12.03.2005\t0,0\r\n"));
  }

  // The title names the file last opened or saved; New and Open ask before they drop edits that
  // are neither written to the instrument nor saved.
  void TitleAndEditsNotSaved() {
    TMainForm& form = fixture_->Form();
    form.show();
    const QString base = TMainForm::BaseTitle;
    QCOMPARE(form.windowTitle(), base);
    const QString plant = InFolder("plant.prb");
    Dialogs().FileNames = {plant};
    Button(form, "ToolButton3")->click();
    QCOMPARE(form.windowTitle(), base + " - plant.prb");

    ChooseFilterOfChannel6(form, 2);
    const uint8_t edited = form.Mip().Config.Filter[5];
    QVERIFY(edited != 0);
    ClickPage(form, 2);
    Button(form, "ToolButton1")->click();
    QCOMPARE(Dialogs().Asked.last().Kind, QString("Ask"));
    QCOMPARE(Dialogs().Asked.last().Caption, QString("Несохраненные изменения"));
    QCOMPARE(Dialogs().Asked.last().Text,
             QString("Изменения не записаны в прибор и не сохранены в файл. Отбросить их?"));
    QCOMPARE(form.Mip().Config.Filter[5], edited);
    TriggerItem(form, "N3");
    QCOMPARE(Shown(Dialogs(), "Ask").size(), 2);
    QVERIFY(Shown(Dialogs(), "Open").isEmpty());
    QCOMPARE(form.Mip().Config.Filter[5], edited);
    QCOMPARE(form.windowTitle(), base + " - plant.prb");

    // Saved, the edits are safe: Open asks nothing and brings the file's values.
    Dialogs().FileNames = {InFolder("edited.prb")};
    TriggerItem(form, "N4");
    QCOMPARE(form.windowTitle(), base + " - edited.prb");
    Dialogs().FileNames = {plant};
    Button(form, "ToolButton2")->click();
    QCOMPARE(Shown(Dialogs(), "Ask").size(), 2);
    QCOMPARE(form.Mip().Config.Filter[5], uint8_t(0));
    QCOMPARE(form.windowTitle(), base + " - plant.prb");

    // An edit still on the page counts too; Yes drops it.
    ChooseFilterOfChannel6(form, 2);
    Dialogs().Answers = {true};
    Button(form, "ToolButton1")->click();
    QCOMPARE(Shown(Dialogs(), "Ask").size(), 3);
    QCOMPARE(BlockBytes(form.Mip().Config), QByteArray(ConfigBlockSize, '\0'));
    QCOMPARE(form.windowTitle(), base);
    Button(form, "ToolButton1")->click();
    QCOMPARE(Shown(Dialogs(), "Ask").size(), 3);
  }

  void New_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("control");
    QTest::newRow("sensor types, ToolButton1") << 2 << "ToolButton1";
    QTest::newRow("sensor types, N2") << 2 << "N2";
    QTest::newRow("current measurements") << 0 << "ToolButton1";
    QTest::newRow("device settings") << 14 << "ToolButton1";
    QTest::newRow("archive") << 15 << "N2";
  }
  // The data image is reset; address and port settings stay; the current page shows the result.
  void New() {
    QFETCH(int, page);
    QFETCH(QString, control);
    fixture_ = std::make_unique<TFormFixture>(
        "[SettingsPort]\nPortNumber=3\nBaudRate=9\nWaitTime=500\n[Settings]\nCurrentAddress=17\n",
        true);
    TMainForm& form = fixture_->Form();
    TMIP& mip = form.Mip();
    ClickPage(form, page);
    FillPattern(mip.Config);
    mip.ChannelCount = 8;
    mip.RelayCount = 4;
    mip.CurrentValue[0] = 5.0f;
    mip.MeasArchive = {Record(1), Record(2)};
    form.Pages().Render();

    if (auto* button = form.findChild<QToolButton*>(control))
      button->click();
    else
      form.findChild<QAction*>(control)->trigger();

    QVERIFY(Dialogs().Asked.isEmpty());
    QCOMPARE(BlockBytes(mip.Config), QByteArray(ConfigBlockSize, '\0'));
    QCOMPARE(int(mip.ArchiveCount()), 0);
    QCOMPARE(int(mip.ChannelCount), 32);
    QCOMPARE(int(mip.RelayCount), 32);
    QCOMPARE(mip.CurrentValue[0], 0.0f);
    QCOMPARE(int(mip.Address), 17);
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->value(), 17);
    QCOMPARE(int(mip.Bus.PortIndex()), 3);
    QCOMPARE(int(mip.Bus.GetBaudIndex()), 9);
    QCOMPARE(int(mip.Bus.WaitTime()), 500);
    TPageViews& pages = form.Pages();
    if (page == 2) QCOMPARE(pages.StringGrid(3)->Cells(1, 1), NoSensor);
    if (page == 0) QCOMPARE(pages.StringGrid(1)->Cells(1, 1), QString("0,000"));
    if (page == 15) QCOMPARE(pages.ArchiveGrid()->RowCount(), 2);
  }

  // Loading after a read changes the configuration only: the instrument's channel count and
  // identity stay, and the polled page goes on being read.
  void OpenWhileTheInstrumentIsPolled() {
    k7104sim::Instrument& instrument = StartOnLine();
    TMainForm& form = fixture_->Form();
    TConfigBlock pattern{};
    FillPattern(pattern);
    const QString path = InFolder("pattern.prb");
    QVERIFY(WriteBytes(path, ConfigFileBytes(pattern)));
    Button(form, "ToolButton11")->click();
    QCOMPARE(int(form.Mip().JobCode), 127);
    // The polling of the current measurements takes over again once read all has ended.
    QTRY_COMPARE_WITH_TIMEOUT(int(form.Mip().JobCode), 0, Patience);
    QCOMPARE(QString(form.Mip().DeviceId), QString("VOSTRELIN!"));

    Dialogs().FileNames = {path};
    Button(form, "ToolButton2")->click();
    QCOMPARE(BlockBytes(form.Mip().Config), BlockBytes(pattern));
    QCOMPARE(int(form.Mip().ChannelCount), 8);
    QCOMPARE(QString(form.Mip().DeviceId), QString("VOSTRELIN!"));
    const uint32_t requests = instrument.RequestCount();
    QTRY_VERIFY_WITH_TIMEOUT(instrument.RequestCount() >= requests + 5, Patience);
    QVERIFY(Shown(Dialogs(), "Error").isEmpty());
  }

  // New waits for the read under way instead of clearing the image under the job thread.
  void NewWhileTheInstrumentIsPolled() {
    k7104sim::Instrument& instrument = StartOnLine();
    TMainForm& form = fixture_->Form();
    line_->SetReplyDelay(30);
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) >= 2, Patience);
    FillPattern(form.Mip().Config);
    for (int i = 0; i < 5; ++i) {
      QTRY_VERIFY_WITH_TIMEOUT(form.Mip().Busy != 0, Patience);
      Button(form, "ToolButton1")->click();
      QCOMPARE(BlockBytes(form.Mip().Config), QByteArray(ConfigBlockSize, '\0'));
      FillPattern(form.Mip().Config);
    }
    const uint32_t requests = instrument.RequestCount();
    QTRY_VERIFY_WITH_TIMEOUT(instrument.RequestCount() >= requests + 5, Patience);
    QVERIFY(Shown(Dialogs(), "Error").isEmpty());
  }

  void DuringAnArchiveRead_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("New") << "ToolButton1";
    QTest::newRow("Open") << "ToolButton2";
  }
  // The archive read fills the archive list on the job thread: the command changes the data
  // image only once the read has ended.
  void DuringAnArchiveRead() {
    QFETCH(QString, control);
    k7104sim::Instrument& instrument = StartOnLine();
    TMainForm& form = fixture_->Form();
    line_->SetReplyDelay(10);
    ClickPage(form, 15);
    TConfigBlock pattern{};
    FillPattern(pattern);
    const QString path = InFolder("pattern.prb");
    QVERIFY(WriteBytes(path, ConfigFileBytes(pattern)));
    WhenModalShown<TArchQwery>([](TArchQwery* dialog) {
      dialog->CSpinEdit1->setValue(1);
      dialog->CSpinEdit2->setValue(300);
      dialog->OKBtn->click();
    });
    Button(form, "ToolButton10")->click();
    QCOMPARE(int(form.Mip().JobCode), 34);
    const int readsBefore = Reported(form, ReadOf8And4);
    QTRY_VERIFY_WITH_TIMEOUT(instrument.RequestCount() >= 5, Patience);
    QVERIFY(form.Mip().Busy);

    Dialogs().FileNames = {path};
    form.findChild<QToolButton*>(control)->click();
    QCOMPARE(int(form.Mip().Busy), 0);
    const bool cleared = control == "ToolButton1";
    QCOMPARE(int(form.Mip().ArchiveCount()), cleared ? 0 : 300);
    QCOMPARE(form.Pages().ArchiveGrid()->RowCount(), cleared ? 2 : 301);
    QCOMPARE(BlockBytes(form.Mip().Config),
             cleared ? QByteArray(ConfigBlockSize, '\0') : BlockBytes(pattern));
    QTRY_VERIFY_WITH_TIMEOUT(Reported(form, ReadOf8And4) > readsBefore, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().Busy == 0 && Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
    QVERIFY(Shown(Dialogs(), "Error").isEmpty());
  }

 private:
  TScriptedDialogs& Dialogs() { return fixture_->Dialogs(); }
  QString InFolder(const QString& name) const { return QDir(fixture_->Folder()).filePath(name); }

  // A window on a simulated line with one instrument of 8 channels and 4 relays, connected, on
  // the current measurements page.
  k7104sim::Instrument& StartOnLine() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    line_->Start();
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    fixture_->Form().show();
    Button(fixture_->Form(), "ToolButton8")->click();
    return instrument;
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestFileCommands)
#include "FileCommandsTest.moc"
