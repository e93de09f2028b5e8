#include "views/TextForms.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>
#include <mutex>

#include "instrument/DataImage.h"
#include "instrument/JobMessages.h"
#include "instrument/NumberTexts.h"

namespace TextForms {

namespace {

// 0001-01-01 and 9999-12-31 as day counts.
constexpr double FirstDay = -693593.0;
constexpr double LastDay = 2958466.0;
constexpr double ExponentFrom = 1e15;  // more than 15 digits before the separator

// The long time format of the locale without its time zone part ("t", "tt", ...).
QString LongTimeFormatWithoutZone(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression("\\s*\\bt+\\b\\s*"));
  return format.trimmed();
}

// How many times the character at i repeats from there on.
int RunLength(const QString& format, qsizetype i) {
  qsizetype j = i;
  while (j < format.size() && format[j] == format[i]) ++j;
  return static_cast<int>(j - i);
}

void AppendNumber(QString& text, int value, int width) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int k = n; k < width; ++k) text += QLatin1Char('0');
  while (n > 0) text += QLatin1Char(digits[--n]);
}

}  // namespace

TForms::TForms(const QLocale& locale)
    : locale_(locale),
      separator_(locale.decimalPoint().toStdString()),
      dateFormat_(locale.dateFormat(QLocale::ShortFormat)),
      timeFormat_(LongTimeFormatWithoutZone(locale)),
      amText_(locale.amText()),
      pmText_(locale.pmText()) {
  compiled_ = locale.zeroDigit() == QLatin1String("0") && CompileDate(dateFormat_, datePieces_) &&
              CompileTime(timeFormat_, timePieces_);
}

// Days, months and years as numbers and any text between them; month and day names and quoted
// text are left to the locale.
bool TForms::CompileDate(const QString& format, std::vector<TPiece>& pieces) {
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format[i];
    const int run = RunLength(format, i);
    TPiece piece;
    int used = run;
    if (c == QLatin1Char('\'')) return false;
    if (c == QLatin1Char('d') || c == QLatin1Char('M')) {
      if (run > 2) return false;
      piece.kind = c == QLatin1Char('d') ? TPiece::Day : TPiece::Month;
      piece.width = run;
    } else if (c == QLatin1Char('y') && run >= 2) {
      used = run >= 4 ? 4 : 2;
      piece.kind = used == 4 ? TPiece::Year4 : TPiece::Year2;
    } else {
      used = c == QLatin1Char('y') ? 1 : run;
      piece.text = QString(used, c);
    }
    pieces.push_back(piece);
    i += used;
  }
  return true;
}

// Hours, minutes, seconds and the AM/PM text; milliseconds, zones and quoted text are left to
// the locale.
bool TForms::CompileTime(const QString& format, std::vector<TPiece>& pieces) {
  const bool twelveHour = format.contains(QLatin1Char('a'), Qt::CaseInsensitive);
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format[i];
    const int run = RunLength(format, i);
    TPiece piece;
    int used = run;
    if (c == QLatin1Char('\'') || c == QLatin1Char('z') || c == QLatin1Char('t')) return false;
    if (c == QLatin1Char('h') || c == QLatin1Char('H') || c == QLatin1Char('m') ||
        c == QLatin1Char('s')) {
      used = std::min(run, 2);
      piece.width = used;
      if (c == QLatin1Char('h'))
        piece.kind = twelveHour ? TPiece::Hour12 : TPiece::Hour24;
      else if (c == QLatin1Char('H'))
        piece.kind = TPiece::Hour24;
      else
        piece.kind = c == QLatin1Char('m') ? TPiece::Minute : TPiece::Second;
    } else if (c == QLatin1Char('a') || c == QLatin1Char('A')) {
      const bool withP = i + 1 < format.size() && format[i + 1].toLower() == QLatin1Char('p');
      used = withP ? 2 : 1;
      piece.kind = c == QLatin1Char('A') ? TPiece::AmPmUpper : TPiece::AmPmLower;
    } else {
      piece.text = QString(used, c);
    }
    pieces.push_back(piece);
    i += used;
  }
  return true;
}

void TForms::Append(QString& text, const std::vector<TPiece>& pieces,
                    const TDateTimeParts& p) const {
  for (const TPiece& piece : pieces) {
    switch (piece.kind) {
      case TPiece::Text:
        text += piece.text;
        break;
      case TPiece::Day:
        AppendNumber(text, p.Day, piece.width);
        break;
      case TPiece::Month:
        AppendNumber(text, p.Month, piece.width);
        break;
      case TPiece::Year2:
        AppendNumber(text, p.Year % 100, 2);
        break;
      case TPiece::Year4:
        AppendNumber(text, p.Year, 4);
        break;
      case TPiece::Hour12:
        AppendNumber(text, p.Hour == 0 ? 12 : (p.Hour > 12 ? p.Hour - 12 : p.Hour), piece.width);
        break;
      case TPiece::Hour24:
        AppendNumber(text, p.Hour, piece.width);
        break;
      case TPiece::Minute:
        AppendNumber(text, p.Minute, piece.width);
        break;
      case TPiece::Second:
        AppendNumber(text, p.Second, piece.width);
        break;
      case TPiece::AmPmUpper:
        text += (p.Hour < 12 ? amText_ : pmText_).toUpper();
        break;
      case TPiece::AmPmLower:
        text += (p.Hour < 12 ? amText_ : pmText_).toLower();
        break;
    }
  }
}

QString TForms::DateText(const TDateTimeParts& p) const {
  if (!compiled_) return locale_.toString(QDate(p.Year, p.Month, p.Day), dateFormat_);
  QString text;
  text.reserve(16);
  Append(text, datePieces_, p);
  return text;
}

QString TForms::TimeText(const TDateTimeParts& p) const {
  if (!compiled_)
    return locale_.toString(QTime(p.Hour, p.Minute, p.Second, p.Millisecond), timeFormat_);
  QString text;
  text.reserve(12);
  Append(text, timePieces_, p);
  return text;
}

// Fixed-point texts come from the core's formatter, which the archive file uses too; beyond 15
// digits and for what is no number the window keeps Qt's forms.
QString TForms::FixedText(double value, int decimals) const {
  if (std::isnan(value)) return QStringLiteral("nan");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
  if (std::fabs(value) >= ExponentFrom) return locale_.toString(value, 'E', 14);
  return QString::fromStdString(::FixedText(value, decimals, separator_));
}

// The parts are the instrument's own wall-clock time: no time zone shifts them.
QString TForms::DateTimeText(TDateTime value) const {
  if (!HasDateTime(value)) return QString();
  if (value < FirstDay || value >= LastDay) return FixedText(value, 5);
  const TDateTimeParts p = DecodeDateTime(value);
  QString text = DateText(p);
  if (value != std::trunc(value)) text += QLatin1Char(' ') + TimeText(p);
  return text;
}

QString TForms::ArchiveValueText(float value) const {
  const char* marker = ArchiveMarkerText(value);
  return marker ? QString::fromUtf8(marker) : FixedText(value, 3);
}

std::shared_ptr<const TForms> CurrentForms() {
  static std::mutex mutex;
  static std::shared_ptr<const TForms> forms;
  const QLocale locale;
  const std::lock_guard lock(mutex);
  if (!forms || forms->Locale() != locale) forms = std::make_shared<const TForms>(locale);
  return forms;
}

TTextForm CurrentTextForm() {
  const std::shared_ptr<const TForms> forms = CurrentForms();
  TTextForm form;
  form.DecimalSeparator = forms->DecimalSeparator();
  form.DateTimeText = [forms](TDateTime value) { return forms->DateTimeText(value).toStdString(); };
  return form;
}

QString FixedText(double value, int decimals) {
  return CurrentForms()->FixedText(value, decimals);
}

bool ReadNumber(const QString& text, float* value) {
  const QString point = QLocale().decimalPoint();
  const QString separator = QRegularExpression::escape(point);
  const QRegularExpression form(
      QString("^[+-]?([0-9]+(%1[0-9]*)?|%1[0-9]+)([eE][+-]?[0-9]+)?$").arg(separator));
  QString number = text.trimmed();
  if (!form.match(number).hasMatch()) return false;
  number.replace(point, ".");
  bool ok = false;
  const double read = number.toDouble(&ok);
  // A float cannot hold it; storing infinity would send the instrument nonsense.
  if (!ok || !std::isfinite(read) || std::fabs(read) > FLT_MAX) return false;
  *value = static_cast<float>(read);
  return true;
}

QDateTime ToQDateTime(TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  return QDateTime(QDate(p.Year, p.Month, p.Day), QTime(p.Hour, p.Minute, p.Second, p.Millisecond));
}

TDateTime FromQDateTime(const QDateTime& value) {
  const QDate d = value.date();
  const QTime t = value.time();
  return EncodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}

QString DateTimeText(TDateTime value) {
  return CurrentForms()->DateTimeText(value);
}

QString MeasurementText(float value) {
  const char* marker = MeasurementMarkerText(value);
  return marker ? QString::fromUtf8(marker) : FixedText(value, 3);
}

QString ArchiveValueText(float value) {
  return CurrentForms()->ArchiveValueText(value);
}

}  // namespace TextForms
