// The setup feature, the menu "Наладка" after the menu "Вид": the instrument (read now into a
// copy of its own when the port is open, else as last read) against a configuration file, with
// the file's values of the groups the user picks written and read back into the window; the
// configuration report as HTML or PDF; for a whole line the configuration written to every
// instrument found (enabled once a search has found some), the fast search and the second look
// at the silent addresses (enabled after a fast search); the journal of writes and the search of
// an instrument's rate.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "files/ConfigCompare.h"
#include "files/ConfigReport.h"
#include "files/Journal.h"
#include "instrument/Mipunit.h"

class QAction;
class QMenu;
class TCompareDialog;
class TJournalDialog;
class TJobs;
class TPageViews;
class TRateSearchDialog;
class TUnsavedEdits;
class TWindowSeam;
struct TWorkingState;

class TSetupController : public QObject {
  Q_OBJECT

 public:
  TSetupController(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobs& jobs,
                   TUnsavedEdits& unsaved, TWorkingState& state, QObject* parent = nullptr);

  // The menu and its items, the fast search ticked as the working state has it.
  void Build();
  void Wire();

  void CompareWithFileCommand();
  void ConfigurationReportCommand();
  void BatchWriteCommand();
  void JournalCommand();
  void RateSearchCommand();
  void PresentSetupItems();

 private:
  bool RunJobToEnd(uint8_t job);
  bool ReadConfigurationNow();
  std::optional<TDataImage> ReadInstrumentCopy();
  void ShowComparison(const TDataImage& instrument);
  void WriteGroupsFromFile(const QList<uint8_t>& groups);
  QString AddJournalRecords(std::vector<TJournalRecord>& records, TReportFacts& facts);

  TWindowSeam& seam_;
  TMIP& mip_;
  TPageViews& pages_;
  TJobs& jobs_;
  TUnsavedEdits& unsaved_;
  TWorkingState& state_;
  QMenu* menu_ = nullptr;
  QAction* compareWithFileItem_ = nullptr;
  QAction* configurationReportItem_ = nullptr;
  QAction* batchWriteItem_ = nullptr;
  QAction* fastSearchItem_ = nullptr;
  QAction* silentAgainItem_ = nullptr;
  QAction* journalItem_ = nullptr;
  QAction* rateSearchItem_ = nullptr;
  TCompareDialog* compareDialog_ = nullptr;        // made when first shown
  TJournalDialog* journalDialog_ = nullptr;        // made when first shown
  TRateSearchDialog* rateSearchDialog_ = nullptr;  // made when first shown
  // The last comparison with a file, of the instrument at comparedAddress_.
  QString comparedFile_;
  TConfigBlock comparedBlock_{};
  std::optional<TComparison> comparison_;
  uint8_t comparedAddress_ = 0;
  TDateTime configurationReadAt_ = 0;  // the last read of the whole configuration
};
