// How the job thread's reports reach the window. The job thread must never touch a control, and
// the window must never block on the job thread: the thread posts the work to the GUI thread,
// without waiting for the start and progress reports, and waiting for the job's end to be shown
// (its error box included) so that the window renders between jobs only.
#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <mutex>

class TJobBridge : public QObject {
  Q_OBJECT

 public:
  // Lives on the GUI thread; the work posted to it runs there.
  explicit TJobBridge(QObject* parent = nullptr);
  ~TJobBridge() override;

  // Any thread: runs work on the GUI thread later; returns at once.
  void Post(std::function<void()> work);

  // Job thread: runs work on the GUI thread and returns once it has finished. Returns without it
  // once the bridge is shut down or stopping() turns true, so that a window or an instrument
  // object being destroyed never waits for a GUI thread that no longer serves it. On the GUI
  // thread itself the work runs at once.
  void PostAndWait(std::function<void()> work, const std::function<bool()>& stopping);

  // GUI thread: nothing posted before or after runs any more, and a waiting thread goes on.
  void Shutdown();
  bool IsShutDown() const;

 private:
  struct TTicket {
    bool Done = false;
  };

  mutable std::mutex mutex_;
  std::condition_variable finished_;
  bool shutdown_ = false;
};
