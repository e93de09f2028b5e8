#include "views/PageControl.h"

#include <QVBoxLayout>

#include "views/FlowLayout.h"

TglPageControl::TglPageControl(QWidget* parent)
    : QWidget(parent),
      tabs_(new QWidget(this)),
      buttons_(new QButtonGroup(this)),
      stack_(new QStackedWidget(this)) {
  new TFlowLayout(tabs_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 2, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(tabs_);
  layout->addWidget(stack_, 1);
  stack_->setFrameShape(QFrame::StyledPanel);
  tabs_->setStyleSheet(
      "QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 2px 6px; }"
      "QToolButton:hover { border-color: #9aa5b1; }"
      "QToolButton:checked { background: #dbe6f5; border-color: #7a9cc9; }");
  buttons_->setExclusive(true);
  connect(buttons_, &QButtonGroup::idClicked, this, &TglPageControl::SetCurrentIndex);
}

int TglPageControl::AddPage(QWidget* page, const QString& caption) {
  const int index = stack_->addWidget(page);
  auto* button = new QToolButton(tabs_);
  button->setText(caption);
  button->setCheckable(true);
  button->setAutoRaise(true);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setFocusPolicy(Qt::TabFocus);
  buttons_->addButton(button, index);
  tabs_->layout()->addWidget(button);
  if (index == 0) button->setChecked(true);
  return index;
}

QString TglPageControl::Caption(int index) const {
  const QToolButton* button = TabButton(index);
  return button ? button->text() : QString();
}

QToolButton* TglPageControl::TabButton(int index) const {
  return qobject_cast<QToolButton*>(buttons_->button(index));
}

void TglPageControl::SetCurrentIndex(int index) {
  if (index < 0 || index >= Count()) return;
  if (QToolButton* button = TabButton(index)) button->setChecked(true);
  if (index == stack_->currentIndex()) return;
  stack_->setCurrentIndex(index);
  emit Changed(index);
}
