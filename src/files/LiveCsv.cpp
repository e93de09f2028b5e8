#include "files/LiveCsv.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "files/ArchiveText.h"
#include "files/RegularFile.h"
#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"
#include "instrument/NumberTexts.h"

namespace {

char FieldSeparator(const TTextForm& form) {
  return form.DecimalSeparator == "," ? ';' : ',';
}

}  // namespace

std::string LiveCsvHeader(int channels, const TTextForm& form) {
  std::string header = "Дата и время";
  for (int k = 1; k <= channels; ++k)
    header += FieldSeparator(form) + ("Канал_" + std::to_string(k));
  return header;
}

std::string LiveCsvRow(TDateTime time, const float* values, int channels, const TTextForm& form) {
  std::string row = IsoDateTimeText(time);
  for (int i = 0; i < channels; ++i) {
    row += FieldSeparator(form);
    if (const char* marker = MeasurementMarkerText(values[i]))
      row += marker;
    else if (std::isfinite(values[i]))
      row += FixedText(values[i], 3, form.DecimalSeparator);
    else
      row += "не число";
  }
  return row;
}

std::string LiveCsvFailureRow(TDateTime time, const std::string& sentence, int channels,
                              const TTextForm& form) {
  std::string quoted = "\"";
  for (const char c : sentence) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  quoted += '"';
  std::string row = IsoDateTimeText(time) + FieldSeparator(form) + quoted;
  for (int i = 1; i < channels; ++i) row += FieldSeparator(form);
  return row;
}

TLiveCsvLog::~TLiveCsvLog() {
  Close();
}

bool TLiveCsvLog::Open(const std::string& path, int channels, const TTextForm& form,
                       TLiveCsvOpen how) {
  Close();
  otherLog_ = false;
  if (FileKindOf(path) == TFileKind::Other) {
    errno = EINVAL;
    return false;
  }
  channels_ = std::clamp(channels, 0, MaxChannels);
  form_ = form;
  rows_ = 0;
  const std::string header = LiveCsvHeader(channels_, form_);
  if (how == TLiveCsvOpen::Append) return OpenToAppend(path, header);
  file_ = how == TLiveCsvOpen::New ? CreateNewFile(path) : OpenFile(path, "wb");
  if (!file_) return false;
  path_ = path;
  return WriteLine(header);
}

// After the rows already there; a row a crash cut short is ended first, so that the next one
// starts on a line of its own.
bool TLiveCsvLog::OpenToAppend(const std::string& path, const std::string& header) {
  file_ = OpenFile(path, "a+b");
  if (!file_) return false;
  path_ = path;
  const std::string firstLine = header + "\r\n";
  std::string start(firstLine.size(), '\0');
  std::rewind(file_);
  const size_t got = std::fread(start.data(), 1, start.size(), file_);
  if (got == 0) return WriteLine(header);
  if (got != start.size() || start != firstLine) {
    Close();
    otherLog_ = true;
    errno = EINVAL;
    return false;
  }
  char end[2] = {};
  const bool ended = std::fseek(file_, -2, SEEK_END) == 0 && std::fread(end, 1, 2, file_) == 2 &&
                     end[0] == '\r' && end[1] == '\n';
  // Writes of an append stream go to the end whatever was read.
  std::fseek(file_, 0, SEEK_END);
  return ended || WriteLine({});
}

bool TLiveCsvLog::Append(TDateTime time, const float* values) {
  if (!file_ || !WriteLine(LiveCsvRow(time, values, channels_, form_))) return false;
  ++rows_;
  return true;
}

bool TLiveCsvLog::AppendFailure(TDateTime time, const std::string& sentence) {
  if (!file_ || !WriteLine(LiveCsvFailureRow(time, sentence, channels_, form_))) return false;
  ++rows_;
  return true;
}

bool TLiveCsvLog::WriteLine(const std::string& line) {
  const std::string text = line + "\r\n";
  const bool written =
      std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0;
  if (!written) {
    const int error = errno;
    Close();
    errno = error ? error : EIO;
  }
  return written;
}

void TLiveCsvLog::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}
