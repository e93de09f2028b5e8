// The traffic monitor ("Обмен"): a window beside the main one that lists every frame on the line
// as the channel publishes it, newest at the bottom, with totals since the last clear. The channel
// publishes only while the window is shown.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>

#include <deque>
#include <memory>
#include <vector>

#include "modbus/Traffic.h"

class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class TDialogs;

// One row per frame: time, direction, bytes, what the frame says, duration and outcome (these two
// on the last frame of a transaction only).
class TTrafficModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int MaxRows = 100000;
  enum Column { Time, Direction, Bytes, Summary, Duration, Outcome, ColumnCount };

  using QAbstractTableModel::QAbstractTableModel;
  void Append(const std::deque<TTrafficRecord>& records);
  void Clear();
  QString RowText(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct TRow {
    QString Cells[ColumnCount];
    bool Failed = false;
  };
  std::deque<TRow> rows_;
};

class TTrafficMonitor : public QWidget {
  Q_OBJECT

 public:
  TTrafficMonitor(TModBus& bus, TDialogs& dialogs, QWidget* parent = nullptr);
  ~TTrafficMonitor() override;

  TTrafficModel* Model() const { return model_; }
  const TTrafficCounters& Counters() const { return counters_; }
  // Takes what the channel published since the last time; the window's timer calls it.
  void TakeTraffic();

  QLabel* CountersLabel;
  QPushButton* PauseButton;
  QPushButton* ClearButton;
  QPushButton* CopyButton;
  QPushButton* SaveButton;
  QTableView* Table;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Clear();
  void CopySelected();
  void SaveAsText();
  void ShowCounters();
  QStringList SelectedLines() const;
  int CellWidth(const QString& text) const;
  void FitColumns();
  void WidenOutcome(const std::deque<TTrafficRecord>& records);

  TModBus& bus_;
  TDialogs& dialogs_;
  std::shared_ptr<TTrafficLog> log_;
  TTrafficModel* model_;
  QTimer* timer_;
  TTrafficCounters counters_;
};
