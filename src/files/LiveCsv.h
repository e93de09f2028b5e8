// Logging of polled current values to a CSV file, one row per poll: the time in ISO 8601, then one
// column per channel with the value, or the marker text where the instrument sent a marker (a
// failed poll's row has the sentence that reported the failure instead of the values). Each
// row reaches the file before Append returns, so a crash or a pulled plug loses at most the poll
// under way. The form's decimal separator "." (the default) keeps the file the same in every
// locale; with "," the fields are separated by ';', as spreadsheets of comma locales expect. Its
// date-time text is not used.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "instrument/DateTime.h"
#include "instrument/TextForm.h"

// What Open does with a file that is there already.
enum class TLiveCsvOpen : uint8_t {
  Replace,  // empties it
  Append,   // adds rows after its own, when it holds the log of these channels in this form
  New,      // refuses it (EEXIST)
};

class TLiveCsvLog {
 public:
  TLiveCsvLog() = default;
  ~TLiveCsvLog();
  TLiveCsvLog(const TLiveCsvLog&) = delete;
  TLiveCsvLog& operator=(const TLiveCsvLog&) = delete;

  // Creates the file and writes the header row, or takes a file that is there as `how` says (a
  // missing or empty one is made as new); false, with errno, when it cannot. Only a regular file
  // or a new one is opened.
  bool Open(const std::string& path, int channels, const TTextForm& form = {},
            TLiveCsvOpen how = TLiveCsvOpen::Replace);
  // The last Open to append failed because the file's header is not this log's (another channel
  // count or separator, or no log at all): it was left as it was.
  bool FoundOtherLog() const { return otherLog_; }
  // One row; false, with errno, when it could not be written completely (the log is then closed).
  bool Append(TDateTime time, const float* values);
  // A row for a poll that failed: the sentence that reported it in place of the values.
  bool AppendFailure(TDateTime time, const std::string& sentence);
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  int Channels() const { return channels_; }
  // Rows appended since Open.
  long Rows() const { return rows_; }
  void Close();

 private:
  bool WriteLine(const std::string& line);
  bool OpenToAppend(const std::string& path, const std::string& header);

  std::FILE* file_ = nullptr;
  std::string path_;
  int channels_ = 0;
  long rows_ = 0;
  TTextForm form_;
  bool otherLog_ = false;
};

std::string LiveCsvHeader(int channels, const TTextForm& form);
std::string LiveCsvRow(TDateTime time, const float* values, int channels, const TTextForm& form);
// The sentence quoted in the first channel's column, the other channels' columns empty.
std::string LiveCsvFailureRow(TDateTime time, const std::string& sentence, int channels,
                              const TTextForm& form);
