// How numbers and date-times appear in the window: after the computer's regional settings
// (QLocale's default, which follows the system unless a test fixes it).
#pragma once

#include <QDateTime>
#include <QString>

#include "instrument/DateTime.h"

namespace TextForms {

// The value rounded to `decimals` places with the regional decimal separator, no thousands
// separators and a minus only when the rounded value is not zero; scientific notation once it
// would need more than 15 digits before the separator.
QString FixedText(double value, int decimals);

// Short date, a blank and the long time without a time zone; the time is left out when the value
// is exactly midnight. A value outside the years 1..9999 shows as a number.
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
