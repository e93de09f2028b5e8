#include "files/ArchiveText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "files/SafeWrite.h"
#include "instrument/DataImage.h"
#include "instrument/JobMessages.h"
#include "instrument/NumberTexts.h"

namespace {

tm ToTm(TDateTime value, const TDateTimeParts& p) {
  tm t{};
  t.tm_year = p.Year - 1900;
  t.tm_mon = p.Month - 1;
  t.tm_mday = p.Day;
  t.tm_hour = p.Hour;
  t.tm_min = p.Minute;
  t.tm_sec = p.Second;
  // Day 0, 30 December 1899, was a Saturday.
  const auto day = static_cast<long long>(std::floor(value));
  t.tm_wday = static_cast<int>(((day + 6) % 7 + 7) % 7);
  t.tm_yday = static_cast<int>(EncodeDate(p.Year, p.Month, p.Day) - EncodeDate(p.Year, 1, 1));
  t.tm_isdst = -1;
  return t;
}

std::string FormatTm(const std::string& format, const tm& t) {
  if (format.empty()) return {};
  char buffer[256];
  // A leading blank tells an empty result from a format that yields nothing.
  const std::string guarded = " " + format;
  const size_t n = std::strftime(buffer, sizeof buffer, guarded.c_str(), &t);
  return n == 0 ? std::string() : std::string(buffer + 1, n - 1);
}

}  // namespace

std::string DateTimeText(TDateTime value, const std::string& dateFormat,
                         const std::string& timeFormat) {
  if (!HasDateTime(value)) return {};
  const TDateTimeParts p = DecodeDateTime(value);
  const tm t = ToTm(value, p);
  std::string text = FormatTm(dateFormat, t);
  const bool midnight = p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0;
  if (!midnight) text += " " + FormatTm(timeFormat, t);
  return text;
}

namespace {

// What a date-time text says, field by field, as far as the forms let it be read.
struct TTextFields {
  int Year = -1;
  int Month = -1;
  int Day = -1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool MonthByName = false;
  bool HalfDayHour = false;  // %I with %p: which half of the day is tried
};

bool ReadDigits(const std::string& text, size_t& at, size_t most, int& value) {
  size_t n = 0;
  value = 0;
  while (n < most && at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    value = value * 10 + (text[at++] - '0');
    ++n;
  }
  return n > 0;
}

// A name of the locale's (a month, a weekday, AM or PM): everything up to the next digit, the
// next literal character of the form or the end.
bool SkipName(const std::string& text, size_t& at, char stop) {
  const size_t from = at;
  while (at < text.size() && text[at] != stop &&
         !std::isdigit(static_cast<unsigned char>(text[at])))
    ++at;
  return at > from;
}

bool ReadForm(const std::string& form, const std::string& text, size_t& at, TTextFields& fields);

bool ReadConversion(char conversion, char stop, const std::string& text, size_t& at,
                    TTextFields& fields) {
  int year = 0;
  switch (conversion) {
    case 'd':
    case 'e':
      while (conversion == 'e' && at < text.size() && text[at] == ' ') ++at;
      return ReadDigits(text, at, 2, fields.Day);
    case 'm':
      return ReadDigits(text, at, 2, fields.Month);
    case 'y':
      if (!ReadDigits(text, at, 2, year)) return false;
      fields.Year = 2000 + year;
      return true;
    case 'Y':
      return ReadDigits(text, at, 4, fields.Year);
    case 'H':
    case 'k':
      while (conversion == 'k' && at < text.size() && text[at] == ' ') ++at;
      return ReadDigits(text, at, 2, fields.Hour);
    case 'I':
      fields.HalfDayHour = true;
      return ReadDigits(text, at, 2, fields.Hour);
    case 'M':
      return ReadDigits(text, at, 2, fields.Minute);
    case 'S':
      return ReadDigits(text, at, 2, fields.Second);
    case 'b':
    case 'B':
    case 'h':
      fields.MonthByName = true;
      return SkipName(text, at, stop);
    case 'a':
    case 'A':
    case 'p':
    case 'P':
      return SkipName(text, at, stop);
    case 'T':
      return ReadForm("%H:%M:%S", text, at, fields);
    case 'R':
      return ReadForm("%H:%M", text, at, fields);
    case 'r':
      return ReadForm("%I:%M:%S %p", text, at, fields);
    case 'D':
      return ReadForm("%m/%d/%y", text, at, fields);
    case 'F':
      return ReadForm("%Y-%m-%d", text, at, fields);
    case '%':
      return at < text.size() && text[at++] == '%';
    default:
      return false;
  }
}

// Follows a strftime form through the text; flags (%#d, %-d, %Ey) change nothing in reading.
bool ReadForm(const std::string& form, const std::string& text, size_t& at, TTextFields& fields) {
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] != '%') {
      if (at >= text.size() || text[at] != form[i]) return false;
      ++at;
      continue;
    }
    while (i + 1 < form.size() && std::strchr("#-_0^EO", form[i + 1]) != nullptr) ++i;
    if (++i >= form.size()) return false;
    const char stop = i + 1 < form.size() && form[i + 1] != '%' ? form[i + 1] : '\0';
    if (!ReadConversion(form[i], stop, text, at, fields)) return false;
  }
  return true;
}

// The candidates the names leave open, each checked by the text it gives.
bool FindValue(const TTextFields& fields, bool midnight, const std::string& text,
               const std::string& dateFormat, const std::string& timeFormat, TDateTime& value) {
  const int firstMonth = fields.MonthByName ? 1 : fields.Month;
  const int lastMonth = fields.MonthByName ? 12 : fields.Month;
  for (int month = firstMonth; month <= lastMonth; ++month)
    for (int half = 0; half < (fields.HalfDayHour ? 2 : 1); ++half) {
      const int hour = fields.HalfDayHour ? fields.Hour % 12 + 12 * half : fields.Hour;
      if (!IsValidDate(fields.Year, month, fields.Day) ||
          !IsValidTime(hour, fields.Minute, fields.Second, 0))
        continue;
      TDateTime candidate = EncodeDate(fields.Year, month, fields.Day);
      if (!midnight) candidate += EncodeTime(hour, fields.Minute, fields.Second, 0);
      if (DateTimeText(candidate, dateFormat, timeFormat) == text) {
        value = candidate;
        return true;
      }
    }
  return false;
}

constexpr size_t RecordsPerBlock = 2048;
// Day counts of 0001-01-01 and 10000-01-01.
constexpr double FirstIsoDay = -693593.0;
constexpr double EndIsoDay = 2958466.0;

std::string TextHeader(int channels) {
  std::string header = "#Зап\tДата Время";
  for (int k = 1; k <= channels; ++k) header += "\tКанал_" + std::to_string(k);
  return header;
}

std::string TextLine(const MeasurementRecord& record, int channels, const TTextForm& form) {
  std::string line = std::to_string(record.Number);
  line += '\t';
  if (form.DateTimeText) line += form.DateTimeText(record.Time);
  for (int i = 0; i < channels; ++i) {
    line += '\t';
    line += FixedText(record.Value[i], 1, form.DecimalSeparator);
  }
  return line;
}

std::string CsvHeader(int channels) {
  std::string header = "Запись,Дата и время";
  for (int k = 1; k <= channels; ++k) {
    const std::string name = "Канал_" + std::to_string(k);
    header += "," + name + "," + name + "_состояние";
  }
  return header;
}

std::string CsvLine(const MeasurementRecord& record, int channels) {
  std::string line = std::to_string(record.Number);
  line += ',';
  line += IsoDateTimeText(record.Time);
  for (int i = 0; i < channels; ++i) {
    const float value = record.Value[i];
    const char* marker = ArchiveMarkerText(value);
    line += ',';
    if (!marker && std::isfinite(value)) line += FixedText(value, 3, ".");
    line += ',';
    if (marker)
      line += marker;
    else if (!std::isfinite(value))
      line += "не число";
  }
  return line;
}

// The header, then the records a block at a time: each block built, encoded and written before
// the next, so that the whole text is never held at once.
bool WriteLinesInBlocks(const std::string& path, const std::vector<MeasurementRecord>& records,
                        const std::string& header,
                        const std::function<std::string(const MeasurementRecord&)>& line,
                        const std::function<std::string(const std::string&)>& encode,
                        const TExportProgress& progress) {
  TFileReplacement file;
  if (!file.Open(path)) return false;
  std::string block = header + "\r\n";
  for (size_t done = 0; done < records.size();) {
    const size_t end = std::min(records.size(), done + RecordsPerBlock);
    for (; done < end; ++done) {
      block += line(records[done]);
      block += "\r\n";
    }
    const std::string bytes = encode(block);
    if (!file.Write(bytes.data(), bytes.size())) return false;
    block.clear();
    if (progress && !progress(done)) return false;
  }
  if (!block.empty()) {
    const std::string bytes = encode(block);
    if (!file.Write(bytes.data(), bytes.size())) return false;
  }
  return file.Commit();
}

}  // namespace

std::vector<std::string> ArchiveTextLines(const std::vector<MeasurementRecord>& records,
                                          uint16_t channelCount, const TTextForm& form) {
  const int channels = std::min<int>(channelCount, MaxChannels);
  std::vector<std::string> lines;
  lines.reserve(records.size() + 1);
  lines.push_back(TextHeader(channels));
  for (const MeasurementRecord& record : records) lines.push_back(TextLine(record, channels, form));
  return lines;
}

std::vector<std::string> ArchiveCsvLines(const std::vector<MeasurementRecord>& records,
                                         uint16_t channelCount) {
  const int channels = std::min<int>(channelCount, MaxChannels);
  std::vector<std::string> lines;
  lines.reserve(records.size() + 1);
  lines.push_back(CsvHeader(channels));
  for (const MeasurementRecord& record : records) lines.push_back(CsvLine(record, channels));
  return lines;
}

std::string IsoDateTimeText(TDateTime value) {
  if (!HasDateTime(value) || value < FirstIsoDay || value >= EndIsoDay) return {};
  const TDateTimeParts p = DecodeDateTime(value);
  char buffer[40];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month,
                        p.Day, p.Hour, p.Minute, p.Second);
  if (p.Millisecond != 0)
    n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), ".%03d", p.Millisecond);
  return std::string(buffer, static_cast<size_t>(n));
}

bool DateTimeOfText(const std::string& text, const std::string& dateFormat,
                    const std::string& timeFormat, TDateTime& value) {
  if (text.empty()) return false;
  TTextFields fields;
  size_t at = 0;
  if (!ReadForm(dateFormat, text, at, fields)) return false;
  // The time is left out at exactly midnight.
  const bool midnight = at == text.size();
  if (!midnight) {
    if (text[at++] != ' ' || !ReadForm(timeFormat, text, at, fields) || at != text.size())
      return false;
  }
  return FindValue(fields, midnight, text, dateFormat, timeFormat, value);
}

bool WriteArchiveText(const std::string& path, const std::vector<MeasurementRecord>& records,
                      uint16_t channelCount, const TTextForm& form,
                      const TExportProgress& progress) {
  const int channels = std::min<int>(channelCount, MaxChannels);
  return WriteLinesInBlocks(
      path, records, TextHeader(channels),
      [&](const MeasurementRecord& record) { return TextLine(record, channels, form); },
      ToWindows1251, progress);
}

bool WriteArchiveCsv(const std::string& path, const std::vector<MeasurementRecord>& records,
                     uint16_t channelCount, const TExportProgress& progress) {
  const int channels = std::min<int>(channelCount, MaxChannels);
  return WriteLinesInBlocks(
      path, records, CsvHeader(channels),
      [channels](const MeasurementRecord& record) { return CsvLine(record, channels); },
      [](const std::string& utf8) { return utf8; }, progress);
}
