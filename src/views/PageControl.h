// A page control whose tabs are flat buttons in as many lines as the width needs, with the pages
// stacked below them. Switching pages emits Changed after the new page is current.
#pragma once

#include <QButtonGroup>
#include <QStackedWidget>
#include <QToolButton>
#include <QWidget>

class TglPageControl : public QWidget {
  Q_OBJECT

 public:
  explicit TglPageControl(QWidget* parent = nullptr);

  int AddPage(QWidget* page, const QString& caption);
  int Count() const { return stack_->count(); }
  QWidget* Page(int index) const { return stack_->widget(index); }
  QString Caption(int index) const;
  QToolButton* TabButton(int index) const;

  int CurrentIndex() const { return stack_->currentIndex(); }
  QWidget* CurrentPage() const { return stack_->currentWidget(); }
  // Makes the page current as a tab click would, and so emits Changed when it changes.
  void SetCurrentIndex(int index);

 signals:
  void Changed(int index);

 private:
  QWidget* tabs_;
  QButtonGroup* buttons_;
  QStackedWidget* stack_;
};
