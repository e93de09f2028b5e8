#include "files/LiveCsv.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "files/ArchiveText.h"
#include "files/RegularFile.h"
#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"

std::string LiveCsvHeader(int channels, const TLiveCsvForm& form) {
  std::string header = "Дата и время";
  for (int k = 1; k <= channels; ++k)
    header += form.FieldSeparator() + ("Канал_" + std::to_string(k));
  return header;
}

std::string LiveCsvRow(TDateTime time, const float* values, int channels,
                       const TLiveCsvForm& form) {
  std::string row = IsoDateTimeText(time);
  for (int i = 0; i < channels; ++i) {
    row += form.FieldSeparator();
    if (const char* marker = MeasurementMarkerText(values[i]))
      row += marker;
    else if (std::isfinite(values[i]))
      row += FixedText(values[i], 3, form.DecimalSeparator);
    else
      row += "не число";
  }
  return row;
}

TLiveCsvLog::~TLiveCsvLog() {
  Close();
}

bool TLiveCsvLog::Open(const std::string& path, int channels, const TLiveCsvForm& form) {
  Close();
  if (FileKindOf(path) == TFileKind::Other) {
    errno = EINVAL;
    return false;
  }
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  path_ = path;
  channels_ = std::clamp(channels, 0, MaxChannels);
  form_ = form;
  rows_ = 0;
  return WriteLine(LiveCsvHeader(channels_, form_));
}

bool TLiveCsvLog::Append(TDateTime time, const float* values) {
  if (!file_ || !WriteLine(LiveCsvRow(time, values, channels_, form_))) return false;
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
