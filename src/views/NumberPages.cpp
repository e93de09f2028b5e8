#include "views/NumberPages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <functional>

#include "views/StringGrid.h"
#include "views/TextForms.h"

namespace {

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

}  // namespace

TNumberGridPage::TNumberGridPage(TPageContext& context, QObject* parent, const TGroup& group,
                                 const TNumberGridLayout& layout)
    : TPage(context, parent, group),
      layout_(layout),
      values_(ConfigFloats(context.Image.Config, group.Fields[0])) {
  grid_ = MakeGrid(layout.Grid, 2, ChannelRows, 1, 0, layout.Tag);
  grid_->SetColumnEditable(1);
  MakeSheet(layout.Sheet)->addWidget(grid_);
}

void TNumberGridPage::SetFixedTexts() {
  grid_->SetCells(0, 0, "Для всех");
  grid_->SetCells(1, 0, "0");
  for (int row = 1; row <= MaxChannels; ++row)
    grid_->SetCells(0, row, QString::fromUtf8(layout_.Prefix) + Nth(row));
}

void TNumberGridPage::Render() {
  for (int n = 1; n <= MaxChannels; ++n) ShowValue(n);
}

void TNumberGridPage::ShowValue(int row) {
  const TLeFloat& value = values_[row - 1];
  if (Image().Shows(Group(), &value, sizeof value))
    grid_->SetCells(1, row, TextForms::FixedText(value.Get(), layout_.Decimals));
  else
    grid_->SetCellNotRead(1, row);
}

void TNumberGridPage::ShowCounts(int channels, int) {
  for (int ch = 1; ch <= MaxChannels; ++ch) grid_->SetRowEnabled(ch, ch <= channels);
}

bool TNumberGridPage::Commit(int col, int row, const QString& text) {
  float number = 0;
  const bool isNumber = TextForms::ReadNumber(text, &number);
  if (col < 1 || row < 0) return isNumber;
  if (row >= 1 && row <= MaxChannels) {
    TLeFloat& value = values_[row - 1];
    if (isNumber) {
      value = number;
      Image().MarkEdited(&value, sizeof value);
    }
    ShowValue(row);
  } else if (row == 0) {
    if (isNumber) {
      const QString shown = TextForms::FixedText(number, layout_.Decimals);
      grid_->SetCells(1, 0, shown);
      for (int i = 0; i < MaxChannels; ++i) {
        values_[i] = number;
        grid_->SetCells(1, i + 1, shown);
      }
      Image().MarkEdited(values_, MaxChannels * sizeof(TLeFloat));
    } else {
      grid_->SetCells(1, 0, "0");
    }
  }
  return isNumber;
}

TNumberEditing::TNumberEditing(TPageContext& context, const QList<TNumberGridPage*>& pages,
                               QObject* parent)
    : QObject(parent), context_(context), pages_(pages) {
  for (TNumberGridPage* page : pages_) Wire(page);
  connect(qApp, &QApplication::focusChanged, this, &TNumberEditing::FocusChanged);
}

void TNumberEditing::Wire(TNumberGridPage* page) {
  TStringGrid* grid = page->Grid();
  auto* delegate = new TNumberDelegate(grid);
  delegate->Typed = [this, page](int col, int row, const QString& text) {
    Typed(page, col, row, text);
  };
  delegate->EnterPressed = [this, page] { EnterPressed(page); };
  delegate->Cancelled = [this, page] { Cancelled(page); };
  grid->setItemDelegate(delegate);
  connect(grid, &QTableWidget::currentCellChanged, this,
          [this, page](int row, int col) { CellSelected(page, row, col); });
  grid->installEventFilter(this);
}

TNumberGridPage* TNumberEditing::PageOf(const QWidget* widget) const {
  if (!widget) return nullptr;
  for (TNumberGridPage* page : pages_)
    if (widget == page->Grid() || page->Grid()->isAncestorOf(widget)) return page;
  return nullptr;
}

// The grid's cell editor belongs to the grid: moving between them is no leaving.
void TNumberEditing::FocusChanged(QWidget* old, QWidget* now) {
  TNumberGridPage* left = PageOf(old);
  TNumberGridPage* entered = PageOf(now);
  if (left == entered) return;
  if (left && left == editPage_) Commit();
  if (entered) Entered(entered);
}

void TNumberEditing::Entered(TNumberGridPage* page) {
  TStringGrid* grid = page->Grid();
  editPage_ = page;
  context_.CurrentCol = grid->currentColumn() < 0 ? 0 : grid->currentColumn() + 1;
  context_.CurrentRow = grid->currentRow();
  editText_ = grid->Cells(context_.CurrentCol, context_.CurrentRow);
  edited_ = false;
}

void TNumberEditing::Typed(TNumberGridPage* page, int col, int row, const QString& text) {
  editPage_ = page;
  context_.CurrentCol = col;
  context_.CurrentRow = row;
  editText_ = text;
  edited_ = true;
}

void TNumberEditing::CellSelected(TNumberGridPage* page, int modelRow, int modelCol) {
  if (page != editPage_) return;
  Commit();
  context_.CurrentCol = modelCol < 0 ? 0 : modelCol + 1;
  context_.CurrentRow = modelRow;
  editText_ = page->Grid()->Cells(context_.CurrentCol, context_.CurrentRow);
}

void TNumberEditing::EnterPressed(TNumberGridPage* page) {
  if (page != editPage_) Entered(page);
  edited_ = true;
  Commit();
}

// Escape takes back what was typed: the cell keeps its value and nothing is marked as edited.
void TNumberEditing::Cancelled(TNumberGridPage* page) {
  if (page != editPage_) return;
  edited_ = false;
  editText_ = page->Grid()->Cells(context_.CurrentCol, context_.CurrentRow);
}

void TNumberEditing::Commit() {
  if (!edited_ || !editPage_) return;
  edited_ = false;
  if (context_.CurrentCol < 1 || context_.CurrentRow < 0) return;
  if (!editPage_->Commit(context_.CurrentCol, context_.CurrentRow, editText_))
    context_.RefuseNumber(editText_);
  // Also for a text that is no number: the user has touched the values.
  context_.MarkModified();
}

// Enter on a number grid without an open cell editor; nothing is filtered out.
bool TNumberEditing::eventFilter(QObject* watched, QEvent* event) {
  if (IsEnter(event)) {
    TNumberGridPage* page = PageOf(qobject_cast<QWidget*>(watched));
    if (page && watched == page->Grid()) EnterPressed(page);
  }
  return QObject::eventFilter(watched, event);
}
