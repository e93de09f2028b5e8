// The result of comparing the instrument with a configuration file: the count of each group and
// a table of only the values that differ, or "Совпадает полностью". The user ticks the groups
// whose file values are to be written; the window does the writing and shows the new result.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>

#include "files/ConfigCompare.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TCompareDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TCompareDialog(QWidget* parent);

  void ShowComparison(const TComparison& comparison, const QString& fileName);
  // The groups ticked in the group table, in table order.
  QList<uint8_t> SelectedGroups() const;
  // Ticks exactly the groups given; the others are left unticked.
  void SelectGroups(const QList<uint8_t>& groups);
  // While the window writes and reads back, nothing here may start another write.
  void SetBusy(bool busy);

  QLabel* ResultLabel;
  QTableWidget* GroupTable;       // group, count; the groups that differ can be ticked
  QTableWidget* DifferenceTable;  // group, element, instrument value, file value
  QPushButton* WriteButton;
  QPushButton* CloseButton;

 signals:
  void WriteRequested(const QList<uint8_t>& groups);

 private:
  void FillGroups(const TComparison& comparison);
  void FillDifferences(const TComparison& comparison);
  void ShowWriteState();

  bool busy_ = false;
};
