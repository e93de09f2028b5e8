#include "views/SpinEdit.h"

TCSpinEdit::TCSpinEdit(const QString& name, int minimum, int maximum, QWidget* parent)
    : QSpinBox(parent) {
  setObjectName(name);
  setRange(minimum, maximum);
}

// Only a text that is no acceptable integer (empty, a lone sign, below the minimum) comes here.
void TCSpinEdit::fixup(QString& input) const {
  input = textFromValue(minimum());
}
