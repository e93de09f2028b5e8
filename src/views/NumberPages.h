// The pages of typed numbers: minimums, maximums, the four setpoints and the hysteresis, in
// column 1 of StringGrid6 .. StringGrid12. A typed text is taken over when Enter is pressed,
// another cell is selected or the grid loses the focus; the cell then shows the stored
// single-precision value with the grid's decimals, and the for-all row sets all channels.
#pragma once

#include <QList>
#include <QString>

#include "views/Page.h"

struct TNumberGridLayout {
  int Grid;            // n of StringGridn
  const char* Sheet;   // objectName of the page's sheet
  int Tag;             // which values the grid edits: 0 minimums .. 6 hysteresis
  const char* Prefix;  // row labels: the prefix, then "N-го канала"
  int Decimals;        // what the cells show of a value
};

class TNumberGridPage : public TPage {
 public:
  TNumberGridPage(TPageContext& context, QObject* parent, const TGroup& group,
                  const TNumberGridLayout& layout);

  TStringGrid* Grid() const { return grid_; }
  void SetFixedTexts() override;
  void Render() override;
  void ShowCounts(int channels, int relays) override;
  // Takes the text typed into a cell over into the data image; false when it was no number.
  bool Commit(int col, int row, const QString& text);

 private:
  void ShowValue(int row);

  TNumberGridLayout layout_;
  TLeFloat* values_;
  TStringGrid* grid_;
};

// The number being typed, whichever number grid has it: its page, its text, and whether it was
// typed (or Enter pressed) since the cell was entered or selected. The cell is the context's
// current cell.
class TNumberEditing : public QObject {
 public:
  TNumberEditing(TPageContext& context, const QList<TNumberGridPage*>& pages, QObject* parent);

  // Takes over a number still being typed, as leaving the grid would.
  void Commit();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Wire(TNumberGridPage* page);
  TNumberGridPage* PageOf(const QWidget* widget) const;
  void FocusChanged(QWidget* old, QWidget* now);
  void Entered(TNumberGridPage* page);
  void Typed(TNumberGridPage* page, int col, int row, const QString& text);
  void CellSelected(TNumberGridPage* page, int modelRow, int modelCol);
  void EnterPressed(TNumberGridPage* page);
  void Cancelled(TNumberGridPage* page);

  TPageContext& context_;
  QList<TNumberGridPage*> pages_;
  TNumberGridPage* editPage_ = nullptr;
  QString editText_;
  bool edited_ = false;
};
