#include "shell/device/ReconnectOffer.h"

#include <QAbstractButton>

#include "modbus/Modbusunit.h"
#include "shell/device/DeviceReturn.h"
#include "shell/window/WindowSeam.h"

TReconnectOffer::TReconnectOffer(TWindowSeam& seam, TModBus& bus, QObject* parent)
    : QObject(parent), seam_(seam), bus_(bus), deviceReturn_(new TDeviceReturn(this)) {
  connect(deviceReturn_, &TDeviceReturn::Returned, this, &TReconnectOffer::Offer);
}

// The device itself may have gone (a converter pulled out): the window says so and watches for
// its return.
QString TReconnectOffer::PortGone() {
  const QString device = QString::fromStdString(bus_.LineName());
  bus_.ClosePort();
  if (bus_.IsNetworkLine()) {
    // There is no device to watch: a server that dropped the connection may take it again at once.
    const QString why = QString("Соединение с %1 разорвано.").arg(device);
    seam_.PresentConnection(why);
    seam_.Button("ReconnectButton")->show();
    return "Порт закрыт. " + why;
  }
  const bool gone = TDeviceReturn::Gone(device);
  const QString why = gone ? QString("Устройство %1 отключено.").arg(device) : QString();
  seam_.PresentConnection(why);
  deviceReturn_->Watch(device);
  return why.isEmpty() ? "Порт закрыт." : "Порт закрыт. " + why;
}

void TReconnectOffer::Forget() {
  deviceReturn_->Stop();
  seam_.Button("ReconnectButton")->hide();
}

void TReconnectOffer::Offer(const QString& device) {
  if (bus_.IsOpen()) return;
  seam_.Button("ReconnectButton")->show();
  seam_.Report(
      QString("Устройство %1 снова подключено: «Соединиться снова» открывает порт.").arg(device),
      false);
}
