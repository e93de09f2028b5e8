#include "shell/window/JobBridge.h"

#include <QThread>

#include <chrono>
#include <memory>

namespace {

// How often a waiting job thread looks whether its instrument object is being destroyed; that
// happens without a signal the bridge could hear.
constexpr std::chrono::milliseconds StoppingPoll{20};

}  // namespace

TJobBridge::TJobBridge(QObject* parent) : QObject(parent) {
  setObjectName("JobBridge");
}

TJobBridge::~TJobBridge() {
  Shutdown();
}

void TJobBridge::Post(std::function<void()> work) {
  const std::lock_guard lock(mutex_);
  if (shutdown_) return;
  QMetaObject::invokeMethod(
      this,
      [this, work = std::move(work)] {
        if (!IsShutDown()) work();
      },
      Qt::QueuedConnection);
}

void TJobBridge::PostAndWait(std::function<void()> work, const std::function<bool()>& stopping) {
  if (QThread::currentThread() == thread()) {
    if (!IsShutDown()) work();
    return;
  }
  auto ticket = std::make_shared<TTicket>();
  std::unique_lock lock(mutex_);
  if (shutdown_) return;
  QMetaObject::invokeMethod(
      this,
      [this, ticket, work = std::move(work)] {
        if (!IsShutDown()) work();
        {
          const std::lock_guard done(mutex_);
          ticket->Done = true;
        }
        finished_.notify_all();
      },
      Qt::QueuedConnection);
  while (!ticket->Done && !shutdown_ && !stopping()) finished_.wait_for(lock, StoppingPoll);
}

void TJobBridge::Shutdown() {
  {
    const std::lock_guard lock(mutex_);
    shutdown_ = true;
  }
  finished_.notify_all();
}

bool TJobBridge::IsShutDown() const {
  const std::lock_guard lock(mutex_);
  return shutdown_;
}
