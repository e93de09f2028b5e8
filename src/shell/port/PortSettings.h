// The port settings dialog: serial port, baud rate and reply timeout of the channel; after them,
// the line in use: the serial port or a server over Ethernet at a host and TCP port, in a mode;
// last, whether a write may start while the journal of writes cannot be kept.
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TPortSettings : public QDialog {
  Q_OBJECT

 public:
  // The item data of ComboBox1 that holds the device of each Com number.
  static constexpr int DeviceRole = Qt::UserRole + 1;

  explicit TPortSettings(QWidget* parent = nullptr);

  // The device behind each Com number (20 paths): named in the list, in each item's tool tip and
  // beside the list for the number chosen.
  void ShowDevices(const QStringList& devices);

  QComboBox* ComboBox1;        // Com1..Com20; each item's tool tip names its device
  QComboBox* ComboBox2;        // the 15 baud rates
  QSpinBox* CSpinEdit1;        // reply timeout, 10..3000 ms
  QSpinBox* CSpinEditPoll;     // pause between polls: 0 (continuously) or 100..60000 ms
  QSpinBox* CSpinEditRetries;  // times a garbled read is sent again, 0..5
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
  QLabel* PortDevice;            // the device of the Com number chosen
  QPushButton* FindPortsButton;  // "Найти порты": the devices present, to bind one
  QComboBox* LineKindBox;        // "COM-порт" or "Сеть"
  QLineEdit* HostEdit;           // the server's name or address
  QSpinBox* TcpPortSpin;         // its TCP port, 1..65535
  QComboBox* NetworkModeBox;     // "RTU поверх TCP", "Modbus TCP", "RFC 2217"
  QCheckBox* RequireJournalBox;  // no write starts while the journal of writes cannot be kept

  bool NetworkChosen() const;

 private:
  void ShowChosenDevice();
  void ShowLineKind();
  void TakeEndpointFromHost();
};
