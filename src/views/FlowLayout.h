// A layout that places its items left to right and wraps them into further lines, so that the
// tabs of a page control stay visible however narrow the window is.
#pragma once

#include <QLayout>
#include <QList>

class TFlowLayout : public QLayout {
 public:
  explicit TFlowLayout(QWidget* parent = nullptr, int spacing = 2);
  ~TFlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  int Arrange(const QRect& rect, bool place) const;

  QList<QLayoutItem*> items_;
};
