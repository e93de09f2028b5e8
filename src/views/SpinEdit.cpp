#include "views/SpinEdit.h"

#include <QKeyEvent>

#include <utility>

TCSpinEdit::TCSpinEdit(const QString& name, int minimum, int maximum, QWidget* parent)
    : QSpinBox(parent) {
  setObjectName(name);
  setRange(minimum, maximum);
  connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
    if (std::exchange(typed_, false)) emit EntryTyped(value());
  });
}

void TCSpinEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (!text.isEmpty() && text.front().isDigit()) typed_ = true;
  QSpinBox::keyPressEvent(event);
}

// Only a text that is no acceptable integer (empty, a lone sign, below the minimum) comes here.
void TCSpinEdit::fixup(QString& input) const {
  input = textFromValue(minimum());
}
