// An integer entry field with up and down buttons (and the arrow keys) that step by 1 within its
// range. A value given from outside the range shows limited to it; a text that is no integer
// counts as the minimum once the entry is finished, and the field then shows the minimum.
#pragma once

#include <QSpinBox>

class TCSpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  TCSpinEdit(const QString& name, int minimum, int maximum, QWidget* parent = nullptr);

 protected:
  void fixup(QString& input) const override;
};
