// The archive grid's row header: the record number and, beside it, the record's date, the grid's
// two fixed columns. Being the row header, both stay in view while the channels scroll sideways.
#pragma once

#include <QHeaderView>

class TArchiveRowHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit TArchiveRowHeader(QWidget* parent = nullptr);

  // The date is the model's column `dateColumn`, which the grid itself does not show.
  void SetDateColumn(int dateColumn) { dateColumn_ = dateColumn; }
  int NumberWidth() const { return numberWidth_; }
  int DateWidth() const { return dateWidth_; }
  void SetNumberWidth(int width);
  void SetDateWidth(int width);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

 private:
  int numberWidth_ = 0;
  int dateWidth_ = 0;
  int dateColumn_ = 0;
};
