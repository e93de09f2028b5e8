// The progress of a job on the status line: the gauge over its panel, the Stop button beside it
// while a long job runs, and the message panel's text while an archive read counts its records.
#pragma once

#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

class TProgress {
 public:
  TProgress(QProgressBar* gauge, QPushButton* stopButton, QLabel* message);

  // The gauge at 0 and shown; the Stop button with it for a job the user may stop.
  void Start(bool stoppable);
  void SetValue(int value);
  void Hide();
  void HideStop();
  bool Shown() const;
  bool StopShown() const;
  // Counting done of total ("%v/%m") instead of a percentage, from 0; and back to percent.
  void Count(int total);
  void Percent();
  // The message panel's text, neither time-stamped nor kept in the event log.
  void ShowText(const QString& text);

 private:
  QProgressBar* gauge_;
  QPushButton* stopButton_;
  QLabel* message_;
};
