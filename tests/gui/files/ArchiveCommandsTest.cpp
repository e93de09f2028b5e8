// The archive page end to end: records read from a simulated instrument on a real
// pseudo-terminal, shown in StringGrid80, and exported by Save as a Windows-1251 text file into a
// temporary folder.
#include <QAction>
#include <QDir>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <memory>

#include "CommandSteps.h"
#include "SimulatedLine.h"
#include "shell/device/ArchQwery.h"

using namespace Steps;

namespace {

constexpr int ArchivePage = 15;
const QString CannotSave = "Не могу сохранить в файл!";

// Cyrillic letters to their Windows-1251 codes, ASCII as it is: the file's expected bytes,
// spelled out without the converter the program uses.
QByteArray Cp1251(const QString& text) {
  QByteArray bytes;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 0x80)
      bytes += static_cast<char>(u);
    else if (u >= 0x0410 && u <= 0x044F)
      bytes += static_cast<char>(0xC0 + (u - 0x0410));
    else
      bytes += '?';
  }
  return bytes;
}

QByteArray Lines(const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines) bytes += Cp1251(line) + "\r\n";
  return bytes;
}

// The export's lines split into fields, decoded back for comparison with the grid.
QList<QStringList> ExportedFields(const QByteArray& bytes) {
  QList<QStringList> rows;
  for (const QByteArray& line : bytes.split('\n')) {
    if (line.isEmpty()) continue;
    rows << QString::fromLatin1(line.chopped(1)).split('\t');
  }
  return rows;
}

MeasurementRecord Record(uint16_t number, TDateTime time, std::initializer_list<float> values) {
  MeasurementRecord record;
  record.Number = number;
  record.Time = time;
  int i = 0;
  for (float v : values) record.Value[i++] = v;
  return record;
}

QStringList NumbersColumn(const TArchiveGrid* grid) {
  QStringList numbers;
  for (int row = 1; row < grid->RowCount(); ++row) numbers << grid->Cells(0, row);
  return numbers;
}

}  // namespace

class TestArchiveCommands : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() { fixture_ = std::make_unique<TFormFixture>(); }
  void cleanup() {
    fixture_.reset();
    line_.reset();
  }

  void ExportWritesTheRecordsAsText() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, ArchivePage);
    TMIP& mip = form.Mip();
    mip.ChannelCount = 3;
    const TDateTime time = EncodeDate(2005, 3, 12) + EncodeTime(14, 7, 55, 0);
    mip.MeasArchive = {
        Record(12, time, {12.34567f, -32768.0f, -32764.0f}),
        Record(11, EncodeDate(2005, 3, 12), {-32766.0f, -0.04f, 0.26f}),
    };
    const QString path = InFolder("archive.txt");
    Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();

    const TAskedDialog save = Dialogs().Asked.value(0);
    QCOMPARE(save.Kind, QString("Save"));
    QCOMPARE(save.Caption, QString("Сохранить Архив"));
    QCOMPARE(save.Text, QString("Текстовые файлы|*.txt|Все файлы|*.*|Таблицы CSV (UTF-8)|*.csv"));
    QCOMPARE(save.Extension, QString("txt"));
    QVERIFY(save.Owner == &form);
    const QByteArray bytes = FileBytes(path);
    QVERIFY(bytes.startsWith("#\xC7\xE0\xEF\t"));
    QCOMPARE(bytes, Lines({"#Зап\tДата Время\tКанал_1\tКанал_2\tКанал_3",
                           "12\t12.03.2005 14:07:55\t12,3\t-32768,0\t-32764,0",
                           "11\t12.03.2005\t-32766,0\t0,0\t0,3"}));
    QCOMPARE(Dialogs().Asked.size(), 1);
  }

  void ExportWithNoRecordsWritesTheHeaderOnly() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, ArchivePage);
    const QString path = InFolder("empty.txt");
    Dialogs().FileNames = {path};
    TriggerItem(form, "N4");
    QString header = "#Зап\tДата Время";
    for (int k = 1; k <= 32; ++k) header += "\tКанал_" + QString::number(k);
    QCOMPARE(FileBytes(path), Lines({header}));
  }

  // The grid shows what it showed before; the export does not render it.
  void ExportReplacesAFileWithoutAskingAndLeavesTheGrid() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, ArchivePage);
    form.Mip().ChannelCount = 1;
    form.Mip().MeasArchive = {Record(1, EncodeDate(2020, 1, 2), {1.25f})};
    const QString path = InFolder("old.txt");
    QVERIFY(WriteBytes(path, QByteArray(3000, 'x')));
    Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();
    QCOMPARE(FileBytes(path), Lines({"#Зап\tДата Время\tКанал_1", "1\t02.01.2020\t1,3"}));
    QCOMPARE(form.Pages().ArchiveGrid()->RowCount(), 2);
    QCOMPARE(form.Pages().ArchiveGrid()->Cells(0, 1), QString());
    QCOMPARE(Shown(Dialogs(), "Ask"), QStringList{});
  }

  void CancelledExportWritesNothing() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, ArchivePage);
    Button(form, "ToolButton3")->click();
    QCOMPARE(Dialogs().Asked.size(), 1);
    QCOMPARE(QDir(fixture_->Folder()).entryList(QDir::Files), QStringList{});
  }

  void ExportWhereNoFileCanBeWritten_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("folder under a file") << "a-file/archive.txt";
    QTest::newRow("a folder") << "a-folder";
  }
  void ExportWhereNoFileCanBeWritten() {
    QFETCH(QString, name);
    TMainForm& form = fixture_->Form();
    QVERIFY(WriteBytes(InFolder("a-file"), "kept"));
    QVERIFY(QDir(fixture_->Folder()).mkdir("a-folder"));
    ClickPage(form, ArchivePage);
    form.Mip().MeasArchive = {Record(5, EncodeDate(2021, 5, 6), {1.0f})};
    Dialogs().FileNames = {InFolder(name)};
    Button(form, "ToolButton3")->click();
    QCOMPARE(Shown(Dialogs(), "Error"), QStringList{CannotSave});
    QCOMPARE(Dialogs().Asked.last().Caption, QString());
    QVERIFY(Dialogs().Asked.last().Owner == &form);
    QCOMPARE(int(form.Mip().ArchiveCount()), 1);
    QCOMPARE(int(form.Mip().ArchiveRecord(0).Number), 5);
    QCOMPARE(FileBytes(InFolder("a-file")), QByteArray("kept"));
    QVERIFY(QFileInfo(InFolder("a-folder")).isDir());
  }

  void ReadRanges_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("depth");
    QTest::addColumn<int>("foreignRecord");    // 0: every record carries its own number
    QTest::addColumn<QStringList>("numbers");  // newest first
    QStringList tenToFifty;
    for (int k = 50; k >= 10; --k) tenToFifty << QString::number(k);
    QTest::newRow("entered backwards") << 50 << 10 << 500 << 0 << tenToFifty;
    QTest::newRow("one record") << 5 << 5 << 500 << 0 << QStringList{"5"};
    QTest::newRow("up to 65535") << 65534 << 65535 << 65535 << 0 << QStringList{"65535", "65534"};
    QTest::newRow("record 7 carries another number")
        << 1 << 100 << 500 << 7 << QStringList{"6", "5", "4", "3", "2", "1"};
  }
  // The grid and the export show the same records in the same order, with the same date-times.
  void ReadRanges() {
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, depth);
    QFETCH(int, foreignRecord);
    QFETCH(QStringList, numbers);
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    line_->AddInstrument({1, 6, 8, 4}).SetArchiveDepth(static_cast<uint16_t>(depth));
    if (foreignRecord) {
      k7104sim::Fault fault{k7104sim::FaultKind::RecordNumber};
      fault.arg = 999;
      fault.firstRegister = foreignRecord;
      line_->AddFault(fault);
    }
    TMainForm& form = StartOnLine();
    AnswerRangeDialog(first, last);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    QVERIFY(Shown(Dialogs(), "Error").isEmpty());
    QCOMPARE(int(form.State().MinArch), qMin(first, last));
    QCOMPARE(int(form.State().MaxArch), qMax(first, last));

    const TArchiveGrid* grid = form.Pages().ArchiveGrid();
    QCOMPARE(NumbersColumn(grid), numbers);
    const QList<QStringList> exported = ExportedFields(Export(form));
    QCOMPARE(exported.size(), numbers.size() + 1);
    for (int row = 1; row < exported.size(); ++row) {
      QCOMPARE(exported[row].value(0), numbers[row - 1]);
      QCOMPARE(exported[row].value(1), grid->Cells(1, row));
    }
  }

  void NewestFirstWhenNumbersAreNotInTimeOrder() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    instrument.SetArchiveDepth(4);
    instrument.SetArchiveRecordTime(2, EncodeDate(2030, 1, 1) + EncodeTime(14, 30, 0, 0));
    instrument.SetArchiveRecordTime(4, EncodeDate(2001, 1, 1));
    TMainForm& form = StartOnLine();
    AnswerRangeDialog(1, 4);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    const TArchiveGrid* grid = form.Pages().ArchiveGrid();
    QCOMPARE(NumbersColumn(grid), QStringList({"2", "3", "1", "4"}));
    QCOMPARE(grid->Cells(1, 1), QString("01.01.2030 14:30:00"));
    QCOMPARE(grid->Cells(1, 4), QString("01.01.2001"));
    QStringList exportedNumbers;
    for (const QStringList& fields : ExportedFields(Export(form)).mid(1))
      exportedNumbers << fields.value(0);
    QCOMPARE(exportedNumbers, NumbersColumn(grid));
  }

  // Eight channels: the grid shows all 32 channel columns, the export eight; value codes are
  // texts in the grid and numbers in the export.
  void EightChannelsAndValueCodes() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    line_->AddInstrument({1, 6, 8, 4});
    TMainForm& form = StartOnLine();
    AnswerRangeDialog(1, 2);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);

    const TArchiveGrid* grid = form.Pages().ArchiveGrid();
    QCOMPARE(grid->ColCount(), 34);
    QCOMPARE(NumbersColumn(grid), QStringList({"2", "1"}));
    for (int channel = 1; channel <= 7; ++channel)
      QCOMPARE(grid->Cells(channel + 1, 2), QString("Вкл.приб."));
    QCOMPARE(grid->Cells(9, 2), QString("Н.настр."));
    for (int channel = 9; channel <= 32; ++channel)
      QCOMPARE(grid->Cells(channel + 1, 2), QString("0,000"));

    const QByteArray bytes = Export(form);
    QCOMPARE(bytes.left(bytes.indexOf('\n') + 1),
             Lines({"#Зап\tДата Время\tКанал_1\tКанал_2\tКанал_3\tКанал_4\tКанал_5\tКанал_6"
                    "\tКанал_7\tКанал_8"}));
    const QList<QStringList> exported = ExportedFields(bytes);
    QCOMPARE(exported.size(), 3);
    QCOMPARE(exported[1].size(), 10);
    QCOMPARE(exported[2].size(), 10);
    QCOMPARE(exported[2].mid(2), QStringList({"-32765,0", "-32765,0", "-32765,0", "-32765,0",
                                              "-32765,0", "-32765,0", "-32765,0", "-32764,0"}));
  }

  // A read that fails before its first record leaves the list, and the grid shows the list.
  void FailedReadShowsTheList() {
    TMainForm& form = fixture_->Form();
    ClickPage(form, ArchivePage);
    form.Mip().MeasArchive = {Record(3, EncodeDate(2022, 2, 2), {}),
                              Record(2, EncodeDate(2022, 2, 1), {})};
    form.Pages().Render();
    form.Mip().MeasArchive.pop_back();
    AnswerRangeDialog(1, 10);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Shown(Dialogs(), "Error").size(), 1, Patience);
    QVERIFY(Shown(Dialogs(), "Error")[0].startsWith(PortNotOpen + " При чтении "));
    QTRY_VERIFY_WITH_TIMEOUT(
        form.Mip().Busy == 0 && Control<QProgressBar>(form, "CGauge")->isHidden(), Patience);
    const TArchiveGrid* grid = form.Pages().ArchiveGrid();
    QCOMPARE(NumbersColumn(grid), QStringList({"3"}));
    ClickPage(form, 0);
    ClickPage(form, ArchivePage);
    QCOMPARE(NumbersColumn(grid), QStringList({"3"}));
  }

  // A read that a garbled reply stopped goes on, from "Действие" or the grid's context menu, from
  // the record after the last one read: the grid and the export are those of a read without the
  // failure.
  void ReadThatFailedGoesOn() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    line_->AddInstrument({1, 6, 8, 4}).SetArchiveDepth(300);
    k7104sim::Fault crc{k7104sim::FaultKind::BadCrc};
    crc.function = 4;
    crc.firstRegister = 220;  // record 201 is the first whose registers reach it
    crc.times = 1;
    line_->AddFault(crc);
    TMainForm& form = StartOnLine();
    QAction* goOn = Item(form, "ContinueArchiveItem");
    QVERIFY(goOn && !goOn->isEnabled());
    QVERIFY(form.Pages().ArchiveGrid()->actions().contains(goOn));
    QVERIFY(Item(form, "N11")->menu()->actions().contains(goOn));
    AnswerRangeDialog(1, 300);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Shown(Dialogs(), "Error"),
                              QStringList{"Ошибка CRC!!! При чтении архив измерений!!!"}, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(goOn->isEnabled(), Patience);
    QCOMPARE(int(form.Mip().ArchiveCount()), 200);
    goOn->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    QVERIFY(!goOn->isEnabled());
    QCOMPARE(NumbersColumn(form.Pages().ArchiveGrid()).size(), 300);
    const QByteArray goneOn = Export(form);

    AnswerRangeDialog(1, 300);
    Button(form, "ToolButton10")->click();
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 2, Patience);
    QCOMPARE(ExportedFields(goneOn).size(), 301);
    QCOMPARE(goneOn, Export(form));
    QCOMPARE(Shown(Dialogs(), "Error").size(), 1);
  }

  // Save while the archive is being read exports the records once the read has ended.
  void ExportDuringTheReadWaitsForIt() {
    line_ = std::make_unique<k7104sim::Line>(Reachable());
    k7104sim::Instrument& instrument = line_->AddInstrument({1, 6, 8, 4});
    line_->SetReplyDelay(10);
    TMainForm& form = StartOnLine();
    AnswerRangeDialog(1, 300);
    Button(form, "ToolButton10")->click();
    QCOMPARE(int(form.Mip().JobCode), 34);
    QTRY_VERIFY_WITH_TIMEOUT(instrument.RequestCount() >= 5, Patience);
    QVERIFY(form.Mip().Busy);
    const QString path = InFolder("during.txt");
    Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();
    QCOMPARE(int(form.Mip().Busy), 0);
    QCOMPARE(int(form.Mip().ArchiveCount()), 300);
    QCOMPARE(ExportedFields(FileBytes(path)).size(), 301);
    QTRY_COMPARE_WITH_TIMEOUT(Reported(form, ReadOf8And4), 1, Patience);
    QCOMPARE(form.Pages().ArchiveGrid()->RowCount(), 301);
  }

 private:
  TScriptedDialogs& Dialogs() { return fixture_->Dialogs(); }
  QString InFolder(const QString& name) const { return QDir(fixture_->Folder()).filePath(name); }

  // Exports through Save on the archive page and reads the file back.
  QByteArray Export(TMainForm& form) {
    const QString path = InFolder(QString("export-%1.txt").arg(exports_++));
    Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();
    return FileBytes(path);
  }

  // The window, shown, connected on the archive page, COM1 on the simulated line.
  TMainForm& StartOnLine() {
    line_->Start();
    fixture_ = std::make_unique<TFormFixture>(LineSettings(*line_), true);
    TMainForm& form = fixture_->Form();
    form.show();
    ClickPage(form, ArchivePage);
    Button(form, "ToolButton8")->click();
    return form;
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TFormFixture> fixture_;
  int exports_ = 0;
};

K7104_GUI_TEST_MAIN(TestArchiveCommands)
#include "ArchiveCommandsTest.moc"
