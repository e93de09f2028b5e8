// An integer entry field with up and down buttons (and the arrow keys) that step by 1 within its
// range. A value given from outside the range shows limited to it; a text that is no integer
// counts as the minimum once the entry is finished, and the field then shows the minimum.
#pragma once

#include <QSpinBox>

class TCSpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  TCSpinEdit(const QString& name, int minimum, int maximum, QWidget* parent = nullptr);

 signals:
  // The user typed into the field and finished the entry (Enter or leaving it), also when the
  // value typed equals the one it had, which valueChanged does not tell.
  void EntryTyped(int value);

 protected:
  void fixup(QString& input) const override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool typed_ = false;
};
