#include "shell/device/DeviceReturn.h"

#include <QFileInfo>
#include <QTimer>

#include "modbus/SerialDevices.h"

namespace {

const QString DeviceNamespace = "\\\\.\\";

// "\\.\COM3" is no file name the file system answers for: a COM port is there while the system
// lists it.
bool IsComName(const QString& path) {
  const QString name = path.startsWith(DeviceNamespace) ? path.mid(DeviceNamespace.size()) : path;
  return name.startsWith("COM", Qt::CaseInsensitive) && name.size() > 3 && name.mid(3).toUInt() > 0;
}

bool ComPortListed(const QString& path) {
  const QString name = path.startsWith(DeviceNamespace) ? path : DeviceNamespace + path;
  for (const TSerialDevice& device : ListSerialDevices())
    if (name.compare(QString::fromStdString(device.Path), Qt::CaseInsensitive) == 0) return true;
  return false;
}

}  // namespace

TDeviceReturn::TDeviceReturn(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  timer_->setInterval(CheckMs);
  connect(timer_, &QTimer::timeout, this, &TDeviceReturn::Check);
}

bool TDeviceReturn::Gone(const QString& path) {
  if (path.isEmpty()) return false;
  return IsComName(path) ? !ComPortListed(path) : !QFileInfo::exists(path);
}

// The first look is taken at once, since the device may be back before the first tick; a node
// that lingers a moment after the unplug is seen gone at a later one.
void TDeviceReturn::Watch(const QString& path) {
  Stop();
  if (path.isEmpty()) return;
  path_ = path;
  seenGone_ = Gone(path);
  timer_->start();
}

void TDeviceReturn::Stop() {
  timer_->stop();
  path_.clear();
  seenGone_ = false;
}

bool TDeviceReturn::Watching() const {
  return timer_->isActive();
}

void TDeviceReturn::Check() {
  if (Gone(path_)) {
    seenGone_ = true;
    return;
  }
  if (!seenGone_) return;
  const QString path = path_;
  Stop();
  emit Returned(path);
}
