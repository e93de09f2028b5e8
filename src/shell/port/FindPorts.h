// "Найти порты": the serial devices present on this machine, with the converter's name, and the
// binding of one of them to a Com number.
#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "modbus/SerialDevices.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// The folders the scan looks in: /dev/serial/by-id, /dev and /sys/class/tty, or the folders the
// environment variables K7104_SERIAL_BY_ID, K7104_SERIAL_DEV and K7104_SERIAL_SYS name (for tests
// and for machines that keep their devices elsewhere).
TSerialScanRoots SerialScanRootsFromEnvironment();

class TFindPorts : public QDialog {
  Q_OBJECT

 public:
  explicit TFindPorts(QWidget* parent = nullptr);

  // Lists the devices; the Com number to bind to starts at comIndex (0 is Com1).
  void Show(std::vector<TSerialDevice> devices, int comIndex);

  // After OK: the Com number (0 is Com1) and the path to bind, the device's by-id link when one
  // leads to it.
  int ChosenIndex() const;
  QString ChosenPath() const;

  QTreeWidget* PortList;
  QLabel* NoPortsLabel;
  QComboBox* ComboBoxCom;
  QPushButton* BindBtn;
  QPushButton* CloseBtn;
  QLabel* ByIdHint;  // shown when a converter has a /dev/serial/by-id link

 private:
  void FollowSelection();
  void FitListToRows();

  std::vector<TSerialDevice> devices_;
};
