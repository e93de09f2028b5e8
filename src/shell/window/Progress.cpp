#include "shell/window/Progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

TProgress::TProgress(QProgressBar* gauge, QPushButton* stopButton, QLabel* message)
    : gauge_(gauge), stopButton_(stopButton), message_(message) {}

void TProgress::Start(bool stoppable) {
  gauge_->setValue(0);
  gauge_->show();
  stopButton_->setVisible(stoppable);
}

void TProgress::SetValue(int value) {
  gauge_->setValue(value);
}

void TProgress::Hide() {
  gauge_->hide();
}

void TProgress::HideStop() {
  stopButton_->hide();
}

bool TProgress::Shown() const {
  return gauge_->isVisible();
}

bool TProgress::StopShown() const {
  return !stopButton_->isHidden();
}

void TProgress::Count(int total) {
  gauge_->setRange(0, total);
  gauge_->setValue(0);
  gauge_->setFormat("%v/%m");
}

void TProgress::Percent() {
  gauge_->setRange(0, 100);
  gauge_->setFormat("%p%");
}

void TProgress::ShowText(const QString& text) {
  message_->setText(text);
}
