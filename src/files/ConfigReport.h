// The configuration report: one HTML page, printed on A4 landscape, that records what an
// instrument was found to hold: its identity and line settings, the result of a comparison with a
// configuration file when one was made, one table with a row per channel and a column per
// setting (the pages' words, or short forms explained under it), the relay groups and the device
// settings, optionally the last archive records and the last records of the journal of writes.
// Every text in it is escaped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "instrument/DateTime.h"
#include "instrument/TextForm.h"

class TDataImage;
struct TComparison;
struct TJournalRecord;

struct TReportFacts {
  std::string Port;          // the serial device or port name
  uint32_t Baud = 0;         // the line's rate
  TDateTime ReadAt = 0;      // when the configuration was read (computer clock); 0: unknown
  std::string ComparedFile;  // empty when no comparison was made
  const TComparison* Comparison = nullptr;
  size_t ArchiveRecords = 0;  // the newest records of the image's archive to list; 0: none
  // The instrument's last records of the journal of writes, newest first, listed at the end;
  // nullptr: no such section.
  const std::vector<TJournalRecord>* JournalRecords = nullptr;
};

// Text with &, <, >, " and ' replaced by their entities.
std::string EscapeHtml(const std::string& text);

// The identity text the instrument sends (Windows-1251) in UTF-8; what is no letter of the code
// page becomes U+FFFD.
std::string IdentityText(const char* text, size_t capacity);

// The heading of a group's table: its page's caption, the sub-page's after the page's.
std::string GroupHeading(uint8_t group);

// form.DateTimeText is required.
std::string ConfigurationReportHtml(const TDataImage& image, const TReportFacts& facts,
                                    const TTextForm& form);

// Writes the page as UTF-8, replacing an existing file only once the new one is complete.
bool WriteConfigurationReport(const std::string& path, const std::string& html);
