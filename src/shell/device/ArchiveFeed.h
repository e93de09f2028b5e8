// The records of an archive read on their way to the window while the read goes on: the job
// thread hands each record over, the window takes them in batches a few times a second, shows
// them in the archive grid, the records done of those asked on the gauge, and the rate and the
// time left on the status line.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <mutex>
#include <vector>

#include "instrument/Mipunit.h"

class TJobBridge;
class TPageViews;
class TProgress;

class TArchiveFeed : public QObject {
  Q_OBJECT

 public:
  TArchiveFeed(TPageViews& pages, TProgress& progress, TJobBridge& bridge,
               QObject* parent = nullptr);

  // GUI thread, just before the read is started: asked records from the range.
  void Begin(uint32_t asked);
  // Job thread: a record the read has just appended.
  void Push(const MeasurementRecord& record);
  // GUI thread, at the read's end while the archive list holds still: the grid shows the list.
  void End();
  bool Active() const { return active_; }

  // The status line text while records arrive.
  static QString ProgressText(uint32_t done, uint32_t asked, double seconds);

 private:
  void Flush();

  TPageViews& pages_;
  TProgress& progress_;
  TJobBridge& bridge_;
  QTimer timer_;
  QElapsedTimer clock_;
  bool active_ = false;
  uint32_t asked_ = 0;
  uint32_t done_ = 0;

  std::mutex mutex_;
  std::vector<MeasurementRecord> pending_;  // under mutex_
  bool flushPosted_ = false;                // under mutex_
};
