#include "views/AskListBox.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

TglAskListBox::TglAskListBox(QWidget* parent)
    : QScrollArea(parent), body_(new QWidget), layout_(new QVBoxLayout(body_)) {
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);
  layout_->addStretch(1);
  body_->setAutoFillBackground(true);
  // A pushed button must stand out from a released one at a glance.
  body_->setStyleSheet(
      "QPushButton { border: 1px solid #9aa5b1; border-radius: 3px; padding: 3px 6px;"
      " background: #f5f7f9; color: #1f2933; }"
      "QPushButton:hover { border-color: #3b7dd8; }"
      "QPushButton:checked { background: #3b7dd8; border-color: #1f4f99; color: white; }"
      "QPushButton:disabled { background: #eceff1; border-color: #cfd6dc; color: #9aa5b1; }"
      "QPushButton:checked:disabled { background: #b4c3d8; border-color: #9aa9bf; color: #f2f5f8; "
      "}"
      "QPushButton[keyButton=\"true\"] { border: 2px solid #1f2933; }");
  body_->setBackgroundRole(QPalette::Base);
  setWidget(body_);
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
}

void TglAskListBox::SetButtons(const QString& caption1, const QString& caption2, int width) {
  caption1_ = caption1;
  caption2_ = caption2;
  buttonWidth_ = width;
  for (TLine& line : lines_) {
    line.First->setText(caption1);
    line.Second->setText(caption2);
    line.First->setFixedWidth(width);
    line.Second->setFixedWidth(width);
  }
}

void TglAskListBox::Clear() {
  for (TLine& line : lines_) delete line.Row;
  lines_.clear();
  itemIndex_ = -1;
}

QPushButton* TglAskListBox::MakeButton(QWidget* row, const QString& caption) {
  auto* button = new QPushButton(caption, row);
  button->setCheckable(true);
  button->setFixedWidth(buttonWidth_);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

void TglAskListBox::AddLine(const QString& text) {
  const int index = Count();
  auto* row = new QWidget(body_);
  row->setObjectName(QString("line%1").arg(index));
  row->setAutoFillBackground(true);
  auto* rowLayout = new QHBoxLayout(row);
  rowLayout->setContentsMargins(4, 1, 2, 1);
  rowLayout->setSpacing(2);
  auto* label = new QLabel(text, row);
  label->setWordWrap(true);
  rowLayout->addWidget(label, 1);
  QPushButton* first = MakeButton(row, caption1_);
  QPushButton* second = MakeButton(row, caption2_);
  rowLayout->addWidget(first);
  rowLayout->addWidget(second);
  layout_->insertWidget(layout_->count() - 1, row);
  lines_.append({row, label, first, second, None, false});
  connect(first, &QPushButton::clicked, this, [this, index] { ButtonClicked(index, Button1); });
  connect(second, &QPushButton::clicked, this, [this, index] { ButtonClicked(index, Button2); });
  ShowState(lines_.last());
}

QString TglAskListBox::LineText(int line) const {
  return line >= 0 && line < Count() ? lines_[line].Text->text() : QString();
}

TglAskListBox::TState TglAskListBox::State(int line) const {
  return line >= 0 && line < Count() ? lines_[line].State : None;
}

void TglAskListBox::SetState(int line, TState state) {
  if (line < 0 || line >= Count()) return;
  lines_[line].State = state;
  ShowState(lines_[line]);
  if (lines_[line].NotRead) {
    lines_[line].NotRead = false;
    ShowBackground(line);
  }
}

void TglAskListBox::SetLineNotRead(int line) {
  if (line < 0 || line >= Count()) return;
  lines_[line].State = None;
  lines_[line].NotRead = true;
  ShowState(lines_[line]);
  ShowBackground(line);
}

bool TglAskListBox::LineNotRead(int line) const {
  return line >= 0 && line < Count() && lines_[line].NotRead;
}

void TglAskListBox::ShowBackground(int line) {
  const QPalette::ColorRole role = line == itemIndex_     ? QPalette::AlternateBase
                                   : lines_[line].NotRead ? QPalette::Button
                                                          : QPalette::Base;
  lines_[line].Row->setBackgroundRole(role);
}

QPushButton* TglAskListBox::Button(int line, int which) const {
  if (line < 0 || line >= Count()) return nullptr;
  return which == 1 ? lines_[line].First : lines_[line].Second;
}

void TglAskListBox::SetLineEnabled(int line, bool on) {
  if (line >= 0 && line < Count()) lines_[line].Row->setEnabled(on);
}

bool TglAskListBox::LineEnabled(int line) const {
  return line >= 0 && line < Count() && lines_[line].Row->isEnabled();
}

void TglAskListBox::SetItemIndex(int line) {
  itemIndex_ = line >= 0 && line < Count() ? line : -1;
  for (int i = 0; i < Count(); ++i) ShowBackground(i);
  ShowKeyButton();
}

void TglAskListBox::SetArrowsOnlyMove(bool on) {
  arrowsOnlyMove_ = on;
  ShowKeyButton();
}

// Only the current line's chosen button carries the frame, and only in a list that needs it.
void TglAskListBox::ShowKeyButton() {
  for (int i = 0; i < Count(); ++i)
    for (QPushButton* button : {lines_[i].First, lines_[i].Second}) {
      const bool framed = arrowsOnlyMove_ && i == itemIndex_ &&
                          button == (keyButton_ == 1 ? lines_[i].First : lines_[i].Second);
      if (button->property("keyButton").toBool() == framed) continue;
      button->setProperty("keyButton", framed);
      button->style()->unpolish(button);
      button->style()->polish(button);
    }
}

// Left, Right, Space and Enter in a list whose arrows only move; false for any other key.
bool TglAskListBox::MoveKeyButton(int key) {
  if (key == Qt::Key_Left || key == Qt::Key_Right) {
    keyButton_ = key == Qt::Key_Left ? 1 : 2;
    ShowKeyButton();
    return true;
  }
  if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (LineEnabled(itemIndex_)) ButtonClicked(itemIndex_, keyButton_ == 1 ? Button1 : Button2);
    return true;
  }
  return false;
}

void TglAskListBox::ButtonClicked(int line, TState which) {
  SetItemIndex(line);
  TLine& l = lines_[line];
  l.State = l.State == which ? None : which;
  if (l.State != None) l.NotRead = false;
  ShowState(l);
  ShowBackground(line);
  ensureWidgetVisible(l.Row, 0, 0);
  emit StateChanged(line);
}

// The checkable buttons toggle themselves on a click; the line's state decides what they show.
void TglAskListBox::ShowState(TLine& line) {
  line.First->setChecked(line.State == Button1);
  line.Second->setChecked(line.State == Button2);
}

// The first enabled line from from on in the direction of step, or -1.
int TglAskListBox::NextEnabledLine(int from, int step) const {
  for (int line = from; line >= 0 && line < Count(); line += step)
    if (LineEnabled(line)) return line;
  return -1;
}

void TglAskListBox::keyPressEvent(QKeyEvent* event) {
  if (arrowsOnlyMove_ && MoveKeyButton(event->key())) return;
  int line = -1;
  switch (event->key()) {
    case Qt::Key_Down:
      line = NextEnabledLine(itemIndex_ + 1, 1);
      break;
    case Qt::Key_Up:
      line = NextEnabledLine(itemIndex_ < 0 ? 0 : itemIndex_ - 1, -1);
      break;
    case Qt::Key_Home:
      line = NextEnabledLine(0, 1);
      break;
    case Qt::Key_End:
      line = NextEnabledLine(Count() - 1, -1);
      break;
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (LineEnabled(itemIndex_))
        ButtonClicked(itemIndex_, event->key() == Qt::Key_Left ? Button1 : Button2);
      return;
    default:
      QScrollArea::keyPressEvent(event);
      return;
  }
  if (line < 0) return;
  SetItemIndex(line);
  ensureWidgetVisible(lines_[line].Row, 0, 0);
}
