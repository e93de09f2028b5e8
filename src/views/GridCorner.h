// The top-left fixed cell of a grid: the table's corner button, painted as a header section that
// carries a caption of its own ("Канал", "Измерено", "№ записи").
#pragma once

#include <QObject>
#include <QString>

class QTableView;

class TGridCorner : public QObject {
 public:
  explicit TGridCorner(QTableView* table);

  const QString& Text() const { return text_; }
  void SetText(const QString& text);
  // A corner over two fixed columns: the caption over the first `firstWidth` pixels, the second
  // caption, centred, beside it.
  void SetSecondCaption(int firstWidth, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Paint() const;

  QWidget* button_ = nullptr;
  QString text_;
  int firstWidth_ = 0;
  QString second_;
};
