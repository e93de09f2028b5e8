#include "shell/device/DeviceReturn.h"

#include <QFileInfo>
#include <QTimer>

namespace {

// "\\.\COM3" and the like are no file names the file system answers for.
bool Judgeable(const QString& path) {
  return !path.isEmpty() && !path.startsWith("\\\\.\\");
}

}  // namespace

TDeviceReturn::TDeviceReturn(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  timer_->setInterval(CheckMs);
  connect(timer_, &QTimer::timeout, this, &TDeviceReturn::Check);
}

bool TDeviceReturn::Gone(const QString& path) {
  return Judgeable(path) && !QFileInfo::exists(path);
}

// The first look is taken at once, since the device may be back before the first tick; a node
// that lingers a moment after the unplug is seen gone at a later one.
void TDeviceReturn::Watch(const QString& path) {
  Stop();
  if (!Judgeable(path)) return;
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
