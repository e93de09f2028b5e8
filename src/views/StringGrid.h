// A grid of text cells addressed as (column, row) with fixed (label) rows and columns that stay
// in place while the rest scrolls. A fixed row 0 is the column header; fixed column 0 holds the
// row labels; a second fixed column (the archive's date) is drawn like the labels.
#pragma once

#include <QTableWidget>

#include "views/GridCorner.h"

class TStringGrid : public QTableWidget {
  Q_OBJECT

 public:
  TStringGrid(const QString& name, int colCount, int rowCount, int fixedCols, int fixedRows,
              QWidget* parent = nullptr);

  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  void SetRowCount(int rows);
  int FixedCols() const { return fixedCols_; }
  int FixedRows() const { return fixedRows_; }

  QString Cells(int col, int row) const;
  // A value cell given a text shows a value the configurator knows.
  void SetCells(int col, int row, const QString& text);
  // A value cell whose value was not read: empty, on grey.
  void SetCellNotRead(int col, int row);
  // The cell keeps its text on the not-read grey: a value no longer current.
  void SetCellGrey(int col, int row);
  // Grey, with or without a text.
  bool CellNotRead(int col, int row) const;

  // What the grid stands for among grids that share handlers (a setpoint, a field).
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // Equal columns: every column, the label column too, as wide as the client width allows.
  void SetEqualColumns(bool on);
  void FitColumns();
  void SetColWidth(int col, int width);
  int ColWidth(int col) const;
  void SetDefaultRowHeight(int height);
  // Lets the header row grow to two lines of text where its captions are long.
  void SetHeaderLines(int lines);

  // The cell under a point of the grid (grid coordinates); false when there is none.
  bool MouseToCell(const QPoint& point, int* col, int* row) const;
  // Where a cell lies in grid coordinates, for a click.
  QRect CellRect(int col, int row) const;

  // Lets the user type into the cells of a column that is not fixed: typing starts, F2 or a
  // double click opens the cell's editor.
  void SetColumnEditable(int col);

  // A disabled row keeps its texts but shows them greyed; its cells cannot be selected, edited
  // or clicked.
  void SetRowEnabled(int row, bool on);
  bool RowEnabled(int row) const;

 signals:
  // A left click on a cell that is not fixed, with the pointer's position on the screen; or
  // Enter or F2 on the current cell where it cannot be typed into, with the position of the
  // cell's lower left corner on the screen, so that its list opens below the cell.
  void CellClicked(int col, int row, const QPoint& globalPos);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QTableWidgetItem* EnsureItem(int modelCol, int modelRow);
  bool OpensCell(const QKeyEvent* event) const;
  void StyleFixedColumn(int modelRow);

  int colCount_;
  int rowCount_;
  int fixedCols_;
  int fixedRows_;
  int tag_ = 0;
  bool equalColumns_ = false;
  TGridCorner* corner_;
};
