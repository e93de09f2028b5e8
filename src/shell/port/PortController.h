// The port feature: the port settings dialog of the "Сервис" menu and the toolbar, and "Найти
// порты" in it, which lists the serial devices present and binds the one chosen to a Com number,
// in the channel and at once in [PortDevices] of the settings file.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class TFindPorts;
struct TLineDescription;
class TMIP;
class TPortSettings;
class TWindowSeam;
struct TWorkingState;

class TPortController : public QObject {
  Q_OBJECT

 public:
  TPortController(TWindowSeam& seam, TMIP& mip, TWorkingState& state, QObject* parent = nullptr);

  // Makes the port settings dialog.
  void Build();
  void Wire();

  void PortSettingsCommand();
  void FindPortsCommand();
  void BindPortDevice(int index, const QString& path);
  // The device behind each of Com1..Com20.
  QStringList PortDeviceList() const;

 signals:
  // The port now stands for another device than when the dialog was opened.
  void PortDeviceChanged();

 private:
  void ShowLine(const TLineDescription& line);
  TLineDescription ChosenLine() const;

  TWindowSeam& seam_;
  TMIP& mip_;
  TWorkingState& state_;
  TPortSettings* portSettings_ = nullptr;
  TFindPorts* findPorts_ = nullptr;  // made when first asked for
};
