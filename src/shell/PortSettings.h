// The port settings dialog: serial port, baud rate and reply timeout of the channel.
#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QSpinBox;

class TPortSettings : public QDialog {
  Q_OBJECT

 public:
  explicit TPortSettings(QWidget* parent = nullptr);

  QComboBox* ComboBox1;     // Com1..Com20; each item's tool tip names its device
  QComboBox* ComboBox2;     // the 15 baud rates
  QSpinBox* CSpinEdit1;     // reply timeout, 10..3000 ms
  QSpinBox* CSpinEditPoll;  // pause between polls: 0 (continuously) or 100..60000 ms
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
};
