// An archive export that a read of the archive wrote (the text file or the CSV), read back so
// that a read going on from its last record can put the new records in among its lines: the file
// then holds what one read of the whole range would have written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/ArchiveText.h"

struct MeasurementRecord;

class TArchiveExport {
 public:
  // Reads the file and checks that it is an export of the records first, first + 1, ... in the
  // archive's order, written in this form (the text file: its date-time texts, which
  // form.DateTimeValue reads back, and its decimal separator); false with the reason otherwise.
  bool Read(const std::string& path, uint16_t first, const TTextForm& form, std::string& why);

  bool Csv() const { return csv_; }
  int Channels() const { return channels_; }
  size_t Count() const { return lines_.size(); }
  // The record after the last one the file holds; the first asked for a file without records.
  uint32_t NextRecord() const { return next_; }

  // Replaces the file by its own lines with those of the records (newest first, as the data
  // image keeps them) put in their places in the archive's order; false when it cannot be
  // written, the file then left as it was.
  bool WriteWith(const std::string& path, const std::vector<MeasurementRecord>& records,
                 const TTextForm& form) const;

 private:
  // A record's line as it stands in the file, with what orders it.
  struct TLine {
    std::string Bytes;
    TDateTime Time = NoDateTime;
    uint16_t Number = 0;
  };

  bool ReadHeader(const std::string& header, std::string& why);
  bool ReadLine(const std::string& bytes, const TTextForm& form, std::string& why);
  bool CheckNumbers(uint16_t first, std::string& why);

  bool csv_ = false;
  int channels_ = 0;
  std::string header_;
  std::vector<TLine> lines_;
  uint32_t next_ = 0;
};
