// "Журнал записей…": the records of the journal of writes, newest first, filtered by address,
// model, group and a range of dates, with the values the selected record changed from what to
// what; the records shown exported as CSV in the command line's columns; and how many of an
// instrument's last records the configuration report lists.
#pragma once

#include <QDialog>

#include <vector>

#include "files/Journal.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TWindowSeam;

class TJournalDialog : public QDialog {
  Q_OBJECT

 public:
  TJournalDialog(TWindowSeam& seam, QWidget* parent);

  // Reads the journal again with the filters set; the model and group lists offer what the
  // journal holds.
  void Refresh();
  void ExportCsv();
  // The filters as set.
  TJournalFilter Filter() const;

  QSpinBox* AddressBox;  // 0: every address
  QComboBox* ModelBox;   // first item: every model
  QComboBox* GroupBox;   // first item: every group
  QDateEdit* SinceEdit;  // its minimum: from the first record
  QDateEdit* UntilEdit;  // its minimum: to the last record
  QPushButton* RefreshButton;
  QTableWidget* RecordTable;  // when, who, line, address, instrument, group, outcome
  QTableWidget* ChangeTable;  // element, before, after of the record selected
  QLabel* Summary;
  QSpinBox* ReportRecordsBox;  // the instrument's last records in the configuration report
  QPushButton* ExportButton;
  QPushButton* CloseButton;

 private:
  void BuildFilters();
  void OfferChoices(const std::vector<TJournalRecord>& all);
  void FillRecords();
  void ShowChanges();

  TWindowSeam& seam_;
  std::vector<TJournalRecord> records_;  // as shown, newest first
};
