// The event log window: a copy of the log taken when it is opened, newest line first. It has no
// buttons of its own; the window's close box closes it.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

class TLogDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TLogDialog(QWidget* parent = nullptr);

  // Fills the list from the log and shows the window modally.
  void ShowLog(const QStringList& lines);

  QListWidget* ListBox1;
};
