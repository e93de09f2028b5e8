#include "shell/device/ArchiveFeed.h"

#include <cmath>

#include "shell/window/JobBridge.h"
#include "shell/window/Progress.h"
#include "views/PageViews.h"
#include "views/TextForms.h"

namespace {

// Often enough to look continuous, rarely enough that the grid lays out a batch, not a record.
constexpr int FlushIntervalMs = 150;

QString Duration(double seconds) {
  const auto total = static_cast<long long>(std::llround(seconds));
  return QString("%1:%2:%3")
      .arg(total / 3600)
      .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(total % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

TArchiveFeed::TArchiveFeed(TPageViews& pages, TProgress& progress, TJobBridge& bridge,
                           QObject* parent)
    : QObject(parent), pages_(pages), progress_(progress), bridge_(bridge) {
  timer_.setSingleShot(true);
  timer_.setInterval(FlushIntervalMs);
  connect(&timer_, &QTimer::timeout, this, &TArchiveFeed::Flush);
}

void TArchiveFeed::Begin(uint32_t asked) {
  {
    const std::lock_guard lock(mutex_);
    pending_.clear();
    flushPosted_ = false;
  }
  timer_.stop();
  active_ = true;
  asked_ = asked;
  done_ = 0;
  clock_.start();
  pages_.ArchiveReadStarts();
  progress_.Count(static_cast<int>(asked));
}

void TArchiveFeed::Push(const MeasurementRecord& record) {
  const std::lock_guard lock(mutex_);
  pending_.push_back(record);
  if (flushPosted_) return;
  flushPosted_ = true;
  bridge_.Post([this] {
    if (active_ && !timer_.isActive()) timer_.start();
  });
}

void TArchiveFeed::Flush() {
  std::vector<MeasurementRecord> batch;
  {
    const std::lock_guard lock(mutex_);
    batch.swap(pending_);
    flushPosted_ = false;
  }
  if (!active_ || batch.empty()) return;
  pages_.ArchiveRecordsArrived(batch);
  done_ += static_cast<uint32_t>(batch.size());
  progress_.SetValue(static_cast<int>(std::min(done_, asked_)));
  progress_.ShowText("[" + TextForms::DateTimeText(NowLocal()) + "] " +
                     ProgressText(done_, asked_, clock_.elapsed() / 1000.0));
}

void TArchiveFeed::End() {
  timer_.stop();
  {
    const std::lock_guard lock(mutex_);
    pending_.clear();
    flushPosted_ = false;
  }
  active_ = false;
  pages_.ArchiveReadEnded();
  progress_.Percent();
}

QString TArchiveFeed::ProgressText(uint32_t done, uint32_t asked, double seconds) {
  QString text = QString("Идет считывание данных. Записей: %1 из %2").arg(done).arg(asked);
  if (seconds <= 0 || done == 0) return text;
  const double rate = done / seconds;
  text += QString(", %1 зап./с").arg(TextForms::FixedText(rate, 1));
  if (asked > done) text += ", осталось " + Duration((asked - done) / rate);
  return text;
}
