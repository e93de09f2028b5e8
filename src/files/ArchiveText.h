// The archive text file: Windows-1251, TAB between fields, CR LF after every line; a header
// line, then one line per record, in the text form handed in, so that the window and the command
// line agree. Also the strftime date-time text and the archive as CSV.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "instrument/DateTime.h"
#include "instrument/TextForm.h"

struct MeasurementRecord;

// Date in strftime form dateFormat, a blank, time in timeFormat; the time is left out when the
// value is exactly midnight. No time (a record whose date was no date) gives an empty text.
std::string DateTimeText(TDateTime value, const std::string& dateFormat,
                         const std::string& timeFormat);

// The value whose DateTimeText in these forms is `text`, for reading an export back: the numbers
// the forms name are read, names (months, weekdays, AM/PM) are tried, and a value is taken only
// when it gives the very text back. A two-digit year is one of 2000..2099, where the instrument's
// records lie. False for an empty text or one these forms do not give.
bool DateTimeOfText(const std::string& text, const std::string& dateFormat,
                    const std::string& timeFormat, TDateTime& value);

// The lines of the file in UTF-8, without line ends: the header with the first channelCount
// channels (at most 32), then the records in the order given, values with one decimal.
std::vector<std::string> ArchiveTextLines(const std::vector<MeasurementRecord>& records,
                                          uint16_t channelCount, const TTextForm& form);

// UTF-8 to Windows-1251; a character the code page lacks becomes '?'.
std::string ToWindows1251(const std::string& utf8);
// Windows-1251 to UTF-8.
std::string FromWindows1251(const std::string& text);

// Called after each block of lines with the number of records written so far; returning false
// stops the export (the target then stays as it was).
using TExportProgress = std::function<bool(size_t recordsDone)>;

// Writes the file a block of lines at a time into a temporary file that replaces the target
// only once it is complete; false when the file cannot be written (an existing file is then
// left as it was).
bool WriteArchiveText(const std::string& path, const std::vector<MeasurementRecord>& records,
                      uint16_t channelCount, const TTextForm& form,
                      const TExportProgress& progress = {});

// The archive as CSV for analysis (RFC 4180): UTF-8, comma between fields, CR LF, a header row.
// Per record: the number, the date and time in ISO 8601 (empty when the record has none), then
// for each of the first channelCount channels two fields: the value with three decimals and a
// point, and its state, which holds the marker text where the instrument sent a marker instead
// of a value (the value field is then empty) and is empty for a measured value.
std::vector<std::string> ArchiveCsvLines(const std::vector<MeasurementRecord>& records,
                                         uint16_t channelCount);
bool WriteArchiveCsv(const std::string& path, const std::vector<MeasurementRecord>& records,
                     uint16_t channelCount, const TExportProgress& progress = {});

// "2005-03-17T14:25:36" (milliseconds only when there are any); empty for no time or a value
// outside the years 1..9999.
std::string IsoDateTimeText(TDateTime value);
