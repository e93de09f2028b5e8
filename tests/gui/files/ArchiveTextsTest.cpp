// The archive grid and export at full depth against the texts the window wrote before its
// number and date texts were resolved once per locale: every cell of a 65,535-record archive,
// and the bytes of the export at several sizes, through the real window.
#include <QFile>
#include <QToolButton>

#include <QRegularExpression>
#include <cmath>
#include <limits>
#include <random>

#include "CommandSteps.h"
#include "files/ArchiveText.h"
#include "instrument/JobMessages.h"

using namespace Steps;

namespace {

constexpr int ArchivePage = 15;
constexpr int FullDepth = 65535;

// The window's texts as they were, each call asking the locale; kept here only to compare with.
// Their expressions are compiled once: compiling them for every cell costs minutes under wine.
namespace Before {

constexpr double FirstDay = -693593.0;
constexpr double LastDay = 2958466.0;

QString LongTimeFormatWithoutZone(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::LongFormat);
  static const QRegularExpression zone("\\s*\\bt+\\b\\s*");
  format.remove(zone);
  return format.trimmed();
}

QString FixedText(double value, int decimals) {
  const QLocale locale;
  if (std::isfinite(value) && std::fabs(value) >= 1e15) return locale.toString(value, 'E', 14);
  QString text = locale.toString(value, 'f', decimals);
  text.remove(locale.groupSeparator());
  static const QRegularExpression nonZeroDigit("[1-9]");
  const bool allZero = !text.contains(nonZeroDigit);
  if (allZero && text.startsWith(locale.negativeSign()))
    text.remove(0, locale.negativeSign().size());
  return text;
}

QString DateTimeText(TDateTime value) {
  if (!std::isfinite(value) || value < FirstDay || value >= LastDay) return FixedText(value, 5);
  const QLocale locale;
  const TDateTimeParts p = DecodeDateTime(value);
  const QDateTime dt(QDate(p.Year, p.Month, p.Day),
                     QTime(p.Hour, p.Minute, p.Second, p.Millisecond));
  QString text = locale.toString(dt.date(), QLocale::ShortFormat);
  if (value != std::trunc(value))
    text += " " + locale.toString(dt.time(), LongTimeFormatWithoutZone(locale));
  return text;
}

QString ArchiveValueText(float value) {
  const char* marker = ArchiveMarkerText(value);
  return marker ? QString::fromUtf8(marker) : FixedText(value, 3);
}

QByteArray ExportBytes(const std::vector<MeasurementRecord>& records, uint16_t channels) {
  TTextForm form;
  form.DecimalSeparator = QLocale().decimalPoint().toStdString();
  form.DateTimeText = [](TDateTime value) { return DateTimeText(value).toStdString(); };
  std::string text;
  for (const std::string& line : ArchiveTextLines(records, channels, form)) text += line + "\r\n";
  return QByteArray::fromStdString(ToWindows1251(text));
}

}  // namespace Before

// A value of every kind an instrument may send: ties at the third and first decimal, all
// magnitudes, markers exactly and within or just outside their tolerance, -0 after rounding,
// values beyond 15 digits, infinity and what is no number.
float Value(std::mt19937& random, int kind) {
  std::uniform_int_distribution<int> integer(-200000, 200000);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  const float markers[] = {-32768.0f, -32767.0f, -32765.0f, -32764.0f, -32763.0f};
  switch (kind % 12) {
    case 0:
      return integer(random) / 16.0f;
    case 1:
      return integer(random) / 20.0f;
    case 2:
      return unit(random) * std::pow(10.0f, static_cast<float>(integer(random) % 7));
    case 3:
      return unit(random) * 1e-4f;
    case 4:
      return markers[std::abs(integer(random)) % 5];
    case 5:
      return markers[std::abs(integer(random)) % 5] + unit(random) * 0.0002f;
    case 6:
      return -32766.0f;
    case 7:
      return unit(random) * 3e38f;
    case 8:
      return kind % 24 == 8 ? std::numeric_limits<float>::quiet_NaN()
                            : std::numeric_limits<float>::infinity();
    default:
      return unit(random) * 1500.0f;
  }
}

// One record a minute from 2024-02-27 on: whole days, leap day and month ends among them; a few
// times with milliseconds, before the year 1 and after 9999.
std::vector<MeasurementRecord> Archive(int count) {
  std::mt19937 random(7104);
  std::vector<MeasurementRecord> records(static_cast<size_t>(count));
  const TDateTime start = EncodeDate(2024, 2, 27);
  for (int i = 0; i < count; ++i) {
    MeasurementRecord& r = records[static_cast<size_t>(i)];
    r.Number = static_cast<uint16_t>(count - i);
    r.Time = start + (count - i) / 1440.0;
    if (i % 997 == 5) r.Time += 0.123 / 86400;
    if (i % 4999 == 7) r.Time = -700000.0 - i;
    if (i % 5003 == 9) r.Time = 3000000.0 + i;
    for (int ch = 0; ch < MaxChannels; ++ch)
      r.Value[ch] = Value(random, static_cast<int>(random() % 1000));
  }
  return records;
}

}  // namespace

class TestArchiveTexts : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    // The texts show the instrument's wall clock; the old ones went through the local zone.
    qputenv("TZ", "UTC");
    tzset();
  }
  void cleanup() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

  // Every cell of the grid, header row and record numbers included, as the window showed it.
  void GridShowsTheTextsOfBefore_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("records");
    QTest::newRow("ru_RU, full depth") << "ru_RU" << FullDepth;
    QTest::newRow("en_US") << "en_US" << 3000;
    QTest::newRow("de_DE") << "de_DE" << 3000;
    QTest::newRow("C") << "C" << 3000;
  }
  void GridShowsTheTextsOfBefore() {
    QFETCH(QString, locale);
    QFETCH(int, records);
    QLocale::setDefault(QLocale(locale));
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ClickPage(form, ArchivePage);
    form.Mip().MeasArchive = Archive(records);
    form.Pages().Render();
    const TArchiveGrid* grid = form.Pages().ArchiveGrid();
    QCOMPARE(grid->RowCount(), records + 1);
    int compared = 0;
    for (int row = 1; row <= records; ++row) {
      const MeasurementRecord& r = form.Mip().MeasArchive[static_cast<size_t>(row - 1)];
      QCOMPARE(grid->Cells(0, row), QString::number(r.Number));
      QCOMPARE(grid->Cells(1, row), Before::DateTimeText(r.Time));
      for (int ch = 0; ch < MaxChannels; ++ch) {
        const QString shown = grid->Cells(ch + 2, row);
        if (shown != Before::ArchiveValueText(r.Value[ch]))
          QFAIL(qPrintable(QString("row %1 channel %2 value %3: %4 instead of %5")
                               .arg(row)
                               .arg(ch + 1)
                               .arg(static_cast<double>(r.Value[ch]), 0, 'g', 9)
                               .arg(shown, Before::ArchiveValueText(r.Value[ch]))));
        ++compared;
      }
    }
    QCOMPARE(compared, records * MaxChannels);
  }

  // A record whose date was no date: an empty date field in the grid, no "nan".
  void RecordWithoutTimeShowsAnEmptyDate() {
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ClickPage(form, ArchivePage);
    MeasurementRecord record;
    record.Number = 5;
    record.Time = NoDateTime;
    form.Mip().MeasArchive = {record};
    form.Pages().Render();
    QCOMPARE(form.Pages().ArchiveGrid()->Cells(0, 1), QString("5"));
    QCOMPARE(form.Pages().ArchiveGrid()->Cells(1, 1), QString());
  }

  // Save on the archive page writes the bytes the window wrote before, at every size.
  void ExportWritesTheBytesOfBefore_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("channels");
    QTest::newRow("empty") << 0 << 32;
    QTest::newRow("one record, 8 channels") << 1 << 8;
    QTest::newRow("1000") << 1000 << 32;
    QTest::newRow("full depth") << FullDepth << 32;
  }
  void ExportWritesTheBytesOfBefore() {
    QFETCH(int, records);
    QFETCH(int, channels);
    TFormFixture fixture;
    TMainForm& form = fixture.Form();
    ClickPage(form, ArchivePage);
    form.Mip().MeasArchive = Archive(records);
    form.Mip().ChannelCount = static_cast<uint16_t>(channels);
    const QString path = fixture.Folder() + "/archive.txt";
    fixture.Dialogs().FileNames = {path};
    Button(form, "ToolButton3")->click();
    QFile file(path);
    for (const auto& a : fixture.Dialogs().Asked)
      qWarning() << "DBG" << a.Kind << a.Caption << a.Text << a.Informative;
    qWarning() << "DBG path" << path;
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    const QByteArray expected =
        Before::ExportBytes(form.Mip().MeasArchive, form.Mip().ChannelCount);
    QCOMPARE(written.size(), expected.size());
    QVERIFY(written == expected);
    QCOMPARE(fixture.Dialogs().Asked.size(), 1);
  }
};

K7104_GUI_TEST_MAIN(TestArchiveTexts)
#include "ArchiveTextsTest.moc"
