// The archive page's export: the records of the last archive read as a text file, with the
// numbers and date-times written as the archive page shows them, or as CSV for analysis. The
// file is written on a thread of its own while the window goes on.
#pragma once

#include <QString>

class TMIP;
class TProgress;

class TArchiveExport {
 public:
  // Writes a copy of the archive list to the file (CSV for a .csv name), with the records done on
  // the gauge unless a job's progress holds it. False when the file could not be written or an
  // export is already under way.
  bool Write(const QString& fileName, const TMIP& mip, TProgress& progress);

 private:
  bool exporting_ = false;  // an archive export is being written
};
