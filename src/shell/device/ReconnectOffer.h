// A port whose device went away (a converter pulled out): the port is closed, the window says so,
// and once the device is back "Соединиться снова" offers to open the port again. A network line
// whose connection was lost is offered again at once.
#pragma once

#include <QObject>
#include <QString>

class TDeviceReturn;
class TModBus;
class TWindowSeam;

class TReconnectOffer : public QObject {
  Q_OBJECT

 public:
  TReconnectOffer(TWindowSeam& seam, TModBus& bus, QObject* parent = nullptr);

  // Closes the port the line failed on and watches its device; returns the sentence that says
  // so, "Порт закрыт." with the device when it has gone.
  QString PortGone();
  // The device is no longer watched, and "Соединиться снова" goes.
  void Forget();

 private:
  void Offer(const QString& device);

  TWindowSeam& seam_;
  TModBus& bus_;
  TDeviceReturn* deviceReturn_;
};
