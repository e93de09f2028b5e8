#include "files/ArchiveExport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>

#include "files/RegularFile.h"
#include "files/SafeWrite.h"
#include "instrument/DataImage.h"

namespace {

constexpr const char* CsvHeaderStart = "Запись,";
constexpr size_t LinesPerBlock = 2048;

// The order of the archive's list (TDataImage::SortArchive): records with a time newest first,
// then those without one, the higher number first.
bool ComesBefore(TDateTime aTime, uint16_t aNumber, TDateTime bTime, uint16_t bNumber) {
  const bool aTimed = HasDateTime(aTime);
  if (aTimed != HasDateTime(bTime)) return aTimed;
  return aTimed ? aTime > bTime : aNumber > bNumber;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return false;
  char buffer[65536];
  for (;;) {
    const auto n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseRegularFile(fd);
      return n == 0;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    fields.push_back(
        text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

bool RecordNumber(const std::string& text, uint16_t& number) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const long value = std::stol(text);
  number = static_cast<uint16_t>(value);
  return value <= 65535;
}

// "2005-03-17T14:25:36" back to the value IsoDateTimeText gave it for.
bool IsoDateTimeValue(const std::string& text, TDateTime& value) {
  TDateTimeParts p;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &p.Year, &p.Month, &p.Day, &p.Hour,
                  &p.Minute, &p.Second, &used) != 6)
    return false;
  if (static_cast<size_t>(used) < text.size() &&
      std::sscanf(text.c_str() + used, ".%3d", &p.Millisecond) != 1)
    return false;
  if (!IsValidDate(p.Year, p.Month, p.Day) ||
      !IsValidTime(p.Hour, p.Minute, p.Second, p.Millisecond))
    return false;
  value =
      EncodeDate(p.Year, p.Month, p.Day) + EncodeTime(p.Hour, p.Minute, p.Second, p.Millisecond);
  return IsoDateTimeText(value) == text;
}

// A value of the text file as FixedText writes it with this separator.
bool IsNumberText(std::string text, const std::string& separator) {
  if (text == "NAN" || text == "INF" || text == "-INF") return true;
  const size_t at = text.find(separator);
  if (at != std::string::npos) text.erase(at, separator.size());
  return !text.empty() && text.find_first_not_of("0123456789-+E") == std::string::npos &&
         text.find_first_of("0123456789") != std::string::npos;
}

}  // namespace

bool TArchiveExport::Read(const std::string& path, uint16_t first, const TTextForm& form,
                          std::string& why) {
  lines_.clear();
  std::string bytes;
  if (!ReadWhole(path, bytes)) {
    why = "it cannot be read";
    return false;
  }
  if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) {
    why = "it does not end with a whole line";
    return false;
  }
  bytes.resize(bytes.size() - 2);
  size_t start = 0;
  for (size_t end = 0; end != std::string::npos; start = end + 2) {
    end = bytes.find("\r\n", start);
    const std::string line =
        bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const bool read = start == 0 ? ReadHeader(line, why) : ReadLine(line, form, why);
    if (!read) {
      if (start != 0) why = "line " + std::to_string(lines_.size() + 2) + ": " + why;
      return false;
    }
  }
  return CheckNumbers(first, why);
}

bool TArchiveExport::ReadHeader(const std::string& header, std::string& why) {
  csv_ = header.rfind(CsvHeaderStart, 0) == 0;
  const std::string text = csv_ ? header : FromWindows1251(header);
  const auto separators = std::count(text.begin(), text.end(), csv_ ? ',' : '\t');
  channels_ = static_cast<int>(csv_ ? (separators - 1) / 2 : separators - 1);
  const std::string expected =
      channels_ < 0 || channels_ > MaxChannels
          ? std::string()
          : (csv_ ? ArchiveCsvLines({}, static_cast<uint16_t>(channels_))
                  : ArchiveTextLines({}, static_cast<uint16_t>(channels_), {}))[0];
  header_ = header;
  if (text == expected) return true;
  why = "its first line is no header of an archive export";
  return false;
}

bool TArchiveExport::ReadLine(const std::string& bytes, const TTextForm& form, std::string& why) {
  const std::vector<std::string> fields =
      csv_ ? Split(bytes, ',') : Split(FromWindows1251(bytes), '\t');
  const size_t values = static_cast<size_t>(csv_ ? 2 * channels_ : channels_);
  TLine line;
  line.Bytes = bytes;
  if (fields.size() != 2 + values || !RecordNumber(fields[0], line.Number)) {
    why = "not a record of " + std::to_string(channels_) + " channels";
    return false;
  }
  const std::string& time = fields[1];
  const bool timed = csv_ ? IsoDateTimeValue(time, line.Time)
                          : form.DateTimeValue && form.DateTimeValue(time, line.Time);
  if (!time.empty() && !timed) {
    why = "the date \"" + time + "\" is not in the form this export would write";
    return false;
  }
  for (size_t k = 2; !csv_ && k < fields.size(); ++k)
    if (!IsNumberText(fields[k], form.DecimalSeparator)) {
      why = "the value \"" + fields[k] + "\" is not in the number form this export would write";
      return false;
    }
  lines_.push_back(std::move(line));
  return true;
}

// Records first, first + 1, ... each once, in the archive's order: what a read that stopped
// after its last record wrote.
bool TArchiveExport::CheckNumbers(uint16_t first, std::string& why) {
  std::vector<uint16_t> numbers;
  for (size_t k = 0; k < lines_.size(); ++k) {
    const TLine& line = lines_[k];
    numbers.push_back(line.Number);
    if (k > 0 && ComesBefore(line.Time, line.Number, lines_[k - 1].Time, lines_[k - 1].Number)) {
      why = "record " + std::to_string(line.Number) + " is out of the archive's order";
      return false;
    }
  }
  std::sort(numbers.begin(), numbers.end());
  next_ = numbers.empty() ? first : numbers.back() + 1u;
  if (!numbers.empty() && (numbers.front() != first ||
                           std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end() ||
                           next_ - first != numbers.size())) {
    why = "it does not hold the records " + std::to_string(first) + ".." +
          std::to_string(next_ - 1) + " each once";
    return false;
  }
  return true;
}

bool TArchiveExport::WriteWith(const std::string& path,
                               const std::vector<MeasurementRecord>& records,
                               const TTextForm& form) const {
  const auto channels = static_cast<uint16_t>(channels_);
  std::vector<std::string> texts =
      csv_ ? ArchiveCsvLines(records, channels) : ArchiveTextLines(records, channels, form);
  std::vector<TLine> added;
  added.reserve(records.size());
  for (size_t k = 0; k < records.size(); ++k)
    added.push_back({csv_ ? std::move(texts[k + 1]) : ToWindows1251(texts[k + 1]), records[k].Time,
                     records[k].Number});
  std::vector<const TLine*> all;
  all.reserve(lines_.size() + added.size());
  const auto before = [](const TLine& a, const TLine& b) {
    return ComesBefore(a.Time, a.Number, b.Time, b.Number);
  };
  auto old = lines_.begin();
  auto fresh = added.begin();
  while (old != lines_.end() || fresh != added.end()) {
    const bool takeFresh = old == lines_.end() || (fresh != added.end() && before(*fresh, *old));
    all.push_back(takeFresh ? &*fresh++ : &*old++);
  }
  TFileReplacement file;
  if (!file.Open(path)) return false;
  std::string block = header_ + "\r\n";
  for (size_t k = 0; k < all.size(); ++k) {
    block += all[k]->Bytes;
    block += "\r\n";
    if ((k + 1) % LinesPerBlock != 0 && k + 1 != all.size()) continue;
    if (!file.Write(block.data(), block.size())) return false;
    block.clear();
  }
  if (!block.empty() && !file.Write(block.data(), block.size())) return false;
  return file.Commit();
}
