// How numbers and date-times appear in the window: after the computer's regional settings
// (QLocale's default, which follows the system unless a test fixes it).
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "instrument/DateTime.h"
#include "instrument/TextForm.h"

namespace TextForms {

// The regional forms resolved once for one locale: its decimal separator and its short date and
// long time formats taken apart into pieces, so that a text costs no look-up and no parsing. One
// object may be used from any thread.
class TForms {
 public:
  explicit TForms(const QLocale& locale);

  const QLocale& Locale() const { return locale_; }
  // The decimal separator in UTF-8, for the core's number formatter.
  const std::string& DecimalSeparator() const { return separator_; }

  QString FixedText(double value, int decimals) const;
  QString DateTimeText(TDateTime value) const;
  QString ArchiveValueText(float value) const;

 private:
  struct TPiece {
    enum Kind {
      Text,
      Day,
      Month,
      Year2,
      Year4,
      Hour12,
      Hour24,
      Minute,
      Second,
      AmPmUpper,
      AmPmLower
    };
    Kind kind = Text;
    int width = 1;  // digits at least, for numbers
    QString text;
  };

  static bool CompileDate(const QString& format, std::vector<TPiece>& pieces);
  static bool CompileTime(const QString& format, std::vector<TPiece>& pieces);
  void Append(QString& text, const std::vector<TPiece>& pieces, const TDateTimeParts& p) const;
  QString DateText(const TDateTimeParts& p) const;
  QString TimeText(const TDateTimeParts& p) const;

  QLocale locale_;
  std::string separator_;
  QString dateFormat_;
  QString timeFormat_;
  // Empty when a format holds what only the locale can write (names, quotes, other digits).
  bool compiled_ = false;
  std::vector<TPiece> datePieces_;
  std::vector<TPiece> timePieces_;
  QString amText_;
  QString pmText_;
};

// The forms of the current default locale, resolved again when it has changed.
std::shared_ptr<const TForms> CurrentForms();
// The same as the core's text form, for the files the window writes; usable on any thread.
TTextForm CurrentTextForm();

// The value rounded to `decimals` places with the regional decimal separator, no thousands
// separators and a minus only when the rounded value is not zero; scientific notation once it
// would need more than 15 digits before the separator.
QString FixedText(double value, int decimals);

// Short date, a blank and the long time without a time zone; the time is left out when the value
// is exactly midnight. A value outside the years 1..9999 shows as a number, no time (a record
// whose date was no date) as an empty text.
QString DateTimeText(TDateTime value);

// A live or last-cycle measurement: the marker texts of the instrument's status numbers, else
// the value with three decimals.
QString MeasurementText(float value);

// A measurement of the archive page: its own marker texts and tolerance.
QString ArchiveValueText(float value);

// Reads a typed number: blanks around it, an optional sign, digits with at most one regional
// decimal separator, an optional exponent. The other of comma and point and thousands separators
// are not accepted, nor a number beyond the single-precision range. False when it is no number.
bool ReadNumber(const QString& text, float* value);

QDateTime ToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime& value);

}  // namespace TextForms
