// Numeric editing of the physical values: minimums, maximums, the four setpoints and the
// hysteresis, typed into column 1 of StringGrid6 .. StringGrid12. A typed text is taken over when
// Enter is pressed, another cell is selected or the grid loses the focus; the cell then shows the
// stored single-precision value with the grid's decimals, and the for-all row sets all channels.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QStyledItemDelegate>

#include <functional>

#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

constexpr int FirstNumberGrid = 6;
constexpr int LastNumberGrid = 12;

bool IsEnter(const QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool IsEscape(const QEvent* event) {
  return event->type() == QEvent::KeyPress &&
         static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape;
}

// The cell editor of a number grid. It reports every keystroke, Enter and Escape, and never
// writes the typed text into the cell itself: the commit decides what the cell shows.
class TNumberDelegate : public QStyledItemDelegate {
 public:
  std::function<void(int col, int row, const QString& text)> Typed;
  std::function<void()> EnterPressed;
  std::function<void()> Cancelled;

  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      const int col = index.column() + 1;  // the label column is not in the model
      const int row = index.row();
      connect(line, &QLineEdit::textEdited, this,
              [this, col, row](const QString& text) { Typed(col, row, text); });
    }
    return editor;
  }

  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

 protected:
  bool eventFilter(QObject* editor, QEvent* event) override {
    if (IsEnter(event)) {
      // The base closes the editor later; the commit writes the cell now and Enter goes no
      // further, so that the grid does not see it a second time.
      QStyledItemDelegate::eventFilter(editor, event);
      EnterPressed();
      return true;
    }
    if (IsEscape(event)) Cancelled();
    return QStyledItemDelegate::eventFilter(editor, event);
  }
};

// The field a number grid edits, by its Tag, and the decimals it shows.
struct TNumberField {
  TLeFloat* Values = nullptr;
  int Decimals = 0;
  int Group = 0;  // the parameter group the values belong to
};

TNumberField NumberField(TConfigBlock& c, int tag) {
  switch (tag) {
    case 0:
      return {c.Minimum, 5, 9};
    case 1:
      return {c.Maximum, 5, 10};
    case 2:
    case 3:
    case 4:
    case 5:
      return {c.Setpoint[tag - 2], 3, 11 + tag - 2};
    case 6:
      return {c.Hysteresis, 1, 15};
    default:
      return {};
  }
}

}  // namespace

void TPageViews::WireNumericEdits() {
  for (int n = FirstNumberGrid; n <= LastNumberGrid; ++n) {
    TStringGrid* grid = grids_[n];
    grid->SetColumnEditable(1);
    auto* delegate = new TNumberDelegate(grid);
    delegate->Typed = [this, grid](int col, int row, const QString& text) {
      NumberTyped(grid, col, row, text);
    };
    delegate->EnterPressed = [this, grid] { NumberEnterPressed(grid); };
    delegate->Cancelled = [this, grid] { NumberEditCancelled(grid); };
    grid->setItemDelegate(delegate);
    connect(grid, &QTableWidget::currentCellChanged, this,
            [this, grid](int row, int col) { NumberCellSelected(grid, row, col); });
    grid->installEventFilter(this);
  }
  connect(qApp, &QApplication::focusChanged, this, &TPageViews::NumberFocusChanged);
}

TStringGrid* TPageViews::NumberGridOf(const QWidget* widget) const {
  if (!widget) return nullptr;
  for (int n = FirstNumberGrid; n <= LastNumberGrid; ++n)
    if (widget == grids_[n] || grids_[n]->isAncestorOf(widget)) return grids_[n];
  return nullptr;
}

// The grid's cell editor belongs to the grid: moving between them is no leaving.
void TPageViews::NumberFocusChanged(QWidget* old, QWidget* now) {
  TStringGrid* left = NumberGridOf(old);
  TStringGrid* entered = NumberGridOf(now);
  if (left == entered) return;
  if (left && left == editGrid_) CommitNumber();
  if (entered) NumberGridEntered(entered);
}

void TPageViews::NumberGridEntered(TStringGrid* grid) {
  editGrid_ = grid;
  currentCol_ = grid->currentColumn() < 0 ? 0 : grid->currentColumn() + 1;
  currentRow_ = grid->currentRow();
  editText_ = grid->Cells(currentCol_, currentRow_);
  edited_ = false;
}

void TPageViews::NumberTyped(TStringGrid* grid, int col, int row, const QString& text) {
  editGrid_ = grid;
  currentCol_ = col;
  currentRow_ = row;
  editText_ = text;
  edited_ = true;
}

void TPageViews::NumberCellSelected(TStringGrid* grid, int modelRow, int modelCol) {
  if (grid != editGrid_) return;
  CommitNumber();
  currentCol_ = modelCol < 0 ? 0 : modelCol + 1;
  currentRow_ = modelRow;
  editText_ = grid->Cells(currentCol_, currentRow_);
}

void TPageViews::NumberEnterPressed(TStringGrid* grid) {
  if (grid != editGrid_) NumberGridEntered(grid);
  edited_ = true;
  CommitNumber();
}

// Escape takes back what was typed: the cell keeps its value and nothing is marked as edited.
void TPageViews::NumberEditCancelled(TStringGrid* grid) {
  if (grid != editGrid_) return;
  edited_ = false;
  editText_ = grid->Cells(currentCol_, currentRow_);
}

void TPageViews::CommitNumber() {
  if (!edited_ || !editGrid_) return;
  edited_ = false;
  if (currentCol_ < 1 || currentRow_ < 0) return;
  const TNumberField field = NumberField(image_.Config, editGrid_->Tag());
  float number = 0;
  const bool isNumber = TextForms::ReadNumber(editText_, &number);
  if (field.Values && currentRow_ >= 1 && currentRow_ <= MaxChannels) {
    TLeFloat& value = field.Values[currentRow_ - 1];
    if (isNumber) {
      value = number;
      image_.MarkEdited(&value, sizeof value);
    }
    if (image_.Shows(field.Group, &value, sizeof value))
      editGrid_->SetCells(1, currentRow_, TextForms::FixedText(value.Get(), field.Decimals));
    else
      editGrid_->SetCellNotRead(1, currentRow_);
  } else if (field.Values && currentRow_ == 0) {
    if (isNumber) {
      const QString text = TextForms::FixedText(number, field.Decimals);
      editGrid_->SetCells(1, 0, text);
      for (int i = 0; i < MaxChannels; ++i) {
        field.Values[i] = number;
        editGrid_->SetCells(1, i + 1, text);
      }
      image_.MarkEdited(field.Values, MaxChannels * sizeof(TLeFloat));
    } else {
      editGrid_->SetCells(1, 0, "0");
    }
  }
  if (!isNumber) RefuseNumber(editText_);
  // Also for a text that is no number: the user has touched the values.
  MarkModified();
}

// The example carries the decimal separator that the grids show and take.
void TPageViews::RefuseNumber(const QString& text) {
  const QString hint = "введите число, например 12" + QLocale().decimalPoint() + "5";
  const QString typed = text.trimmed();
  emit NumberRefused(typed.isEmpty() ? hint : "«" + typed + "» не число: " + hint);
}

void TPageViews::CommitEdits() {
  CommitNumber();
  if (Edit1->isModified()) MeasurePeriodEdited();
}

// Enter on a number grid without an open cell editor, and Edit1's events; nothing is filtered out.
bool TPageViews::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1) {
    Edit1Event(event);
  } else if (IsEnter(event)) {
    TStringGrid* grid = NumberGridOf(qobject_cast<QWidget*>(watched));
    if (grid && watched == grid) NumberEnterPressed(grid);
  }
  return QObject::eventFilter(watched, event);
}
