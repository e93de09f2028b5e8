// The range dialog: a first and a last number, for the archive records to read and for the
// addresses to search. The caller sets caption, maximum and values and orders the range itself.
#pragma once

#include <QDialog>

#include <utility>

class QPushButton;
class QSpinBox;

class TArchQwery : public QDialog {
  Q_OBJECT

 public:
  explicit TArchQwery(QWidget* parent = nullptr);

  // Caption, the maximum of both fields (their minimum is 1) and the values they show.
  void Prepare(const QString& caption, int maximum, int first, int last);
  // The two values, the smaller first; equal values are a range of one.
  std::pair<int, int> Range() const;

  QSpinBox* CSpinEdit1;  // first number
  QSpinBox* CSpinEdit2;  // last number
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
};
