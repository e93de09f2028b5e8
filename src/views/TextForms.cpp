#include "views/TextForms.h"

#include <QLocale>
#include <QRegularExpression>

#include <cfloat>
#include <cmath>

#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"

namespace TextForms {

namespace {

// 0001-01-01 and 9999-12-31 as day counts.
constexpr double FirstDay = -693593.0;
constexpr double LastDay = 2958466.0;

// The long time format of the locale without its time zone part ("t", "tt", ...).
QString LongTimeFormatWithoutZone(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression("\\s*\\bt+\\b\\s*"));
  return format.trimmed();
}

}  // namespace

QString FixedText(double value, int decimals) {
  const QLocale locale;
  if (std::isfinite(value) && std::fabs(value) >= 1e15) return locale.toString(value, 'E', 14);
  QString text = locale.toString(value, 'f', decimals);
  text.remove(locale.groupSeparator());
  // -0,0001 rounds to zero; a sign before it would only confuse.
  const bool allZero = !text.contains(QRegularExpression("[1-9]"));
  if (allZero && text.startsWith(locale.negativeSign()))
    text.remove(0, locale.negativeSign().size());
  return text;
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
  if (!std::isfinite(value) || value < FirstDay || value >= LastDay) return FixedText(value, 5);
  const QLocale locale;
  const QDateTime dt = ToQDateTime(value);
  QString text = locale.toString(dt.date(), QLocale::ShortFormat);
  if (value != std::trunc(value))
    text += " " + locale.toString(dt.time(), LongTimeFormatWithoutZone(locale));
  return text;
}

QString MeasurementText(float value) {
  const char* marker = MeasurementMarkerText(value);
  return marker ? QString::fromUtf8(marker) : FixedText(value, 3);
}

QString ArchiveValueText(float value) {
  const char* marker = ArchiveMarkerText(value);
  return marker ? QString::fromUtf8(marker) : FixedText(value, 3);
}

}  // namespace TextForms
