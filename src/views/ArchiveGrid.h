// The archive page's grid: a table view over the records of the archive, which formats a cell
// only when the view asks for it. Addressed as (column, row) like the other grids: row 0 is the
// header, column 0 the record number and column 1 the date, both fixed cells of the row header,
// which stay in view while the channels scroll sideways.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>

#include <vector>

#include "instrument/DataImage.h"
#include "views/GridCorner.h"

// Either the data image's archive list (between reads) or the records of the read under way,
// which arrive in batches and are shown in the order read. Row 0 of the model is the newest
// record; with no records there is one empty row.
class TArchiveModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TArchiveModel(QObject* parent = nullptr);

  // Shows the archive list. The list must not change while it is shown, unless ShowImage is
  // called again or a read begins (BeginRead).
  void ShowImage(const std::vector<MeasurementRecord>* records);
  // The grid stops reading the archive list, which the read fills on the job thread, and shows
  // the records handed to AppendRead.
  void BeginRead();
  void AppendRead(const std::vector<MeasurementRecord>& batch);
  bool Reading() const { return source_ == &read_; }
  size_t RecordCount() const { return count_; }

  void SetHeaderText(int section, const QString& text);
  void SetDisabledBrush(const QBrush& brush) { disabledBrush_ = brush; }
  // Channels beyond the instrument's count are shown greyed and cannot be selected.
  void SetChannelCount(int channels);
  bool ChannelShown(int channel) const { return channel <= channels_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The text of a cell of the model (column 0 the date, 1..32 the channels).
  QString CellText(int row, int column) const;
  QString NumberText(int row) const;

 private:
  const MeasurementRecord* RecordAt(int row) const;

  const std::vector<MeasurementRecord>* source_ = nullptr;
  std::vector<MeasurementRecord> read_;
  size_t count_ = 0;  // records of source_ the view knows of
  QString headers_[MaxChannels + 1];
  QBrush disabledBrush_;
  int channels_ = MaxChannels;
};

class TArchiveRowHeader;

class TArchiveGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TArchiveGrid(const QString& name, QWidget* parent = nullptr);

  TArchiveModel* Model() const { return model_; }

  int ColCount() const { return MaxChannels + 2; }
  int RowCount() const { return model_->rowCount() + 1; }
  int FixedCols() const { return 2; }
  int FixedRows() const { return 1; }
  QString Cells(int col, int row) const;
  void SetCells(int col, int row, const QString& text);  // header row only
  void SetColWidth(int col, int width);
  int ColWidth(int col) const;
  void SetDefaultRowHeight(int height);

 private:
  void ShowDateCaption();

  TArchiveModel* model_;
  TArchiveRowHeader* rowHeader_;
  TGridCorner* corner_;
};
