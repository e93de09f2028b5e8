#include "shell/view/TrendWindow.h"

#include <QBuffer>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include "files/SafeWrite.h"
#include "instrument/JobMessages.h"
#include "shell/settings/CorePath.h"
#include "shell/window/Dialogs.h"
#include "views/TextForms.h"

namespace {

// Live values and archive records have markers of their own.
const char* MarkerText(TTrendWindow::TSource source, float value) {
  return source == TTrendWindow::TSource::Live ? MeasurementMarkerText(value)
                                               : ArchiveMarkerText(value);
}

QString ValueText(TTrendWindow::TSource source, float value) {
  if (const char* marker = MarkerText(source, value)) return QString::fromUtf8(marker);
  return std::isfinite(value) ? TextForms::FixedText(value, 3) : QString("не число");
}

bool IsPlotted(TTrendWindow::TSource source, float value) {
  return !MarkerText(source, value) && std::isfinite(value);
}

QString ChannelName(int channel) {
  return QString("Канал %1").arg(channel);
}

}  // namespace

void TTrendChartView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0) chart()->zoom(std::pow(1.25, steps));
  event->accept();
}

void TTrendChartView::mouseMoveEvent(QMouseEvent* event) {
  emit PointerMoved(chart()->mapToValue(event->position()));
  QChartView::mouseMoveEvent(event);
}

TTrendWindow::TTrendWindow(TSource source, TDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ChannelList(new QListWidget(this)),
      SpanBox(new QComboBox(this)),
      PauseButton(new QPushButton("Пауза", this)),
      ClearButton(new QPushButton("Очистить", this)),
      ResetZoomButton(new QPushButton("Сбросить масштаб", this)),
      SaveButton(new QPushButton("Сохранить PNG…", this)),
      Readout(new QLabel(this)),
      source_(source),
      dialogs_(dialogs),
      chart_(new QChart),
      timeAxis_(new QDateTimeAxis),
      valueAxis_(new QValueAxis) {
  const bool live = source == TSource::Live;
  setObjectName(live ? "LiveTrend" : "ArchiveTrend");
  setWindowTitle(live ? "Тренд текущих значений" : "Тренд архива");
  ChannelList->setObjectName("TrendChannels");
  SpanBox->setObjectName("TrendSpan");
  SpanBox->addItems({"1 мин", "10 мин", "1 ч"});
  PauseButton->setObjectName("TrendPause");
  PauseButton->setCheckable(true);
  ClearButton->setObjectName("TrendClear");
  ResetZoomButton->setObjectName("TrendResetZoom");
  SaveButton->setObjectName("TrendSave");
  Readout->setObjectName("TrendReadout");
  for (QWidget* w : {static_cast<QWidget*>(SpanBox), static_cast<QWidget*>(PauseButton),
                     static_cast<QWidget*>(ClearButton)})
    w->setVisible(live);
  ResetZoomButton->setVisible(!live);

  timeAxis_->setFormat(live ? "hh:mm:ss" : "dd.MM.yy hh:mm");
  timeAxis_->setTitleText("Время");
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  chart_->legend()->setAlignment(Qt::AlignRight);
  ChartView = new TTrendChartView(chart_, this);
  ChartView->setObjectName("TrendChart");
  ChartView->setRenderHint(QPainter::Antialiasing);
  ChartView->setMouseTracking(true);
  if (!live) ChartView->setRubberBand(QChartView::RectangleRubberBand);

  BuildChannelList();
  auto* controls = new QHBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(SpanBox), static_cast<QWidget*>(PauseButton),
                     static_cast<QWidget*>(ClearButton), static_cast<QWidget*>(ResetZoomButton),
                     static_cast<QWidget*>(SaveButton)})
    controls->addWidget(w);
  controls->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addLayout(controls);
  right->addWidget(ChartView, 1);
  right->addWidget(Readout);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(ChannelList);
  layout->addLayout(right, 1);
  ChannelList->setMaximumWidth(
      ChannelList->fontMetrics().horizontalAdvance("Канал 32: Датчик не настроен") + 40);
  resize(900, 520);

  connect(ClearButton, &QPushButton::clicked, this, &TTrendWindow::Clear);
  connect(ResetZoomButton, &QPushButton::clicked, this, [this] {
    chart_->zoomReset();
    FitAxes();
  });
  connect(SaveButton, &QPushButton::clicked, this, &TTrendWindow::SavePicture);
  connect(chart_, &QChart::plotAreaChanged, this, &TTrendWindow::FitTimeTicks);
  connect(SpanBox, &QComboBox::currentIndexChanged, this, [this] {
    TrimOlderThan(lastSample_ - SpanMs());
    FitAxes();
  });
  connect(ChartView, &TTrendChartView::PointerMoved, this,
          [this](QPointF at) { Readout->setText(ReadoutAt(static_cast<qint64>(at.x()))); });
  // The axes follow the points a few times a second, not at every poll.
  auto* fit = new QTimer(this);
  connect(fit, &QTimer::timeout, this, [this] {
    if (source_ == TSource::Live && !PauseButton->isChecked()) FitAxes();
  });
  fit->start(250);
  // A date axis that is first shown without a valid range stays hidden for good.
  FitAxes();
}

void TTrendWindow::BuildChannelList() {
  for (int channel = 1; channel <= MaxChannels; ++channel) {
    auto* item = new QListWidgetItem(ChannelName(channel), ChannelList);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(channel == 1 ? Qt::Checked : Qt::Unchecked);
  }
  connect(ChannelList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    ChannelToggled(ChannelList->row(item) + 1, item->checkState() == Qt::Checked);
  });
}

qint64 TTrendWindow::SpanMs() const {
  return qint64{SpanSeconds[std::max(0, SpanBox->currentIndex())]} * 1000;
}

QLineSeries* TTrendWindow::NewPiece(int channel) {
  TTrace& trace = traces_[channel - 1];
  auto* piece = new QLineSeries;
  piece->setName(ChannelName(channel));
  chart_->addSeries(piece);
  piece->attachAxis(timeAxis_);
  piece->attachAxis(valueAxis_);
  if (!trace.Pieces.empty()) {
    // Later pieces continue the first one's line and legend entry.
    piece->setPen(trace.Pieces.front()->pen());
    for (QLegendMarker* marker : chart_->legend()->markers(piece)) marker->setVisible(false);
  }
  trace.Pieces.push_back(piece);
  return piece;
}

void TTrendWindow::ChannelToggled(int channel, bool on) {
  TTrace& trace = traces_[channel - 1];
  for (QLineSeries* piece : trace.Pieces) {
    chart_->removeSeries(piece);
    delete piece;
  }
  trace.Pieces.clear();
  trace.InGap = true;
  if (on) {
    for (const TSample& sample : trace.Samples) {
      if (!IsPlotted(source_, sample.Value)) {
        trace.InGap = true;
        continue;
      }
      if (trace.InGap) NewPiece(channel);
      trace.InGap = false;
      trace.Pieces.back()->append(static_cast<qreal>(sample.Time), sample.Value);
    }
  }
  FitAxes();
}

void TTrendWindow::Append(int channel, qint64 time, float value) {
  TTrace& trace = traces_[channel - 1];
  trace.Samples.push_back({time, value});
  const QListWidgetItem* item = ChannelList->item(channel - 1);
  if (!item || item->checkState() != Qt::Checked) return;
  if (!IsPlotted(source_, value)) {
    trace.InGap = true;
    return;
  }
  if (trace.InGap) NewPiece(channel);
  trace.InGap = false;
  trace.Pieces.back()->append(static_cast<qreal>(time), value);
}

void TTrendWindow::AddSample(qint64 msSinceEpoch, const float* values, int channels) {
  if (PauseButton->isChecked()) return;
  if (lastSample_ != 0 && msSinceEpoch - lastSample_ < SpanMs() / MaxPoints) return;
  lastSample_ = msSinceEpoch;
  channels_ = std::clamp(channels, 0, MaxChannels);
  for (int channel = 1; channel <= MaxChannels; ++channel) {
    QListWidgetItem* item = ChannelList->item(channel - 1);
    const bool present = channel <= channels_;
    item->setHidden(!present);
    if (!present) continue;
    {
      // A new text is no choice of the user's: it must not rebuild the channel's line.
      const QSignalBlocker blocker(ChannelList);
      item->setText(ChannelName(channel) + ": " + ValueText(source_, values[channel - 1]));
    }
    Append(channel, msSinceEpoch, values[channel - 1]);
  }
  ChannelList->viewport()->update();
  TrimOlderThan(msSinceEpoch - SpanMs());
}

// Samples and points older than the span go from the front: the series never hold more than the
// span's points.
void TTrendWindow::TrimOlderThan(qint64 time) {
  if (source_ != TSource::Live) return;
  for (TTrace& trace : traces_) {
    while (!trace.Samples.empty() && trace.Samples.front().Time < time) trace.Samples.pop_front();
    while (!trace.Pieces.empty()) {
      QLineSeries* first = trace.Pieces.front();
      int old = 0;
      while (old < first->count() && first->at(old).x() < static_cast<qreal>(time)) ++old;
      if (old < first->count() || trace.Pieces.size() == 1) {
        if (old > 0) first->removePoints(0, old);
        break;
      }
      chart_->removeSeries(first);
      delete first;
      trace.Pieces.erase(trace.Pieces.begin());
    }
  }
}

void TTrendWindow::ShowRecords(const std::vector<MeasurementRecord>& records, int channels) {
  Clear();
  channels_ = std::clamp(channels, 0, MaxChannels);
  std::vector<const MeasurementRecord*> timed;
  for (const MeasurementRecord& record : records)
    if (HasDateTime(record.Time)) timed.push_back(&record);
  std::sort(timed.begin(), timed.end(), [](const MeasurementRecord* a, const MeasurementRecord* b) {
    return a->Time < b->Time;
  });
  for (int channel = 1; channel <= MaxChannels; ++channel)
    ChannelList->item(channel - 1)->setHidden(channel > channels_);
  for (const MeasurementRecord* record : timed) {
    const qint64 time = TextForms::ToQDateTime(record->Time).toMSecsSinceEpoch();
    for (int channel = 1; channel <= channels_; ++channel)
      Append(channel, time, record->Value[channel - 1]);
  }
  FitAxes();
}

void TTrendWindow::Clear() {
  for (int channel = 1; channel <= MaxChannels; ++channel) {
    TTrace& trace = traces_[channel - 1];
    trace.Samples.clear();
    for (QLineSeries* piece : trace.Pieces) {
      chart_->removeSeries(piece);
      delete piece;
    }
    trace.Pieces.clear();
    trace.InGap = true;
  }
  lastSample_ = 0;
  Readout->clear();
}

// The time axis spans the samples (the live span up to the newest), the value axis the values
// of the chosen channels with a margin.
void TTrendWindow::FitAxes() {
  qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
  float low = std::numeric_limits<float>::max(), high = std::numeric_limits<float>::lowest();
  for (int channel = 1; channel <= channels_; ++channel) {
    const TTrace& trace = traces_[channel - 1];
    if (trace.Samples.empty()) continue;
    first = std::min(first, trace.Samples.front().Time);
    last = std::max(last, trace.Samples.back().Time);
    for (const QLineSeries* piece : trace.Pieces)
      for (const QPointF& point : piece->points()) {
        low = std::min(low, static_cast<float>(point.y()));
        high = std::max(high, static_cast<float>(point.y()));
      }
  }
  if (first > last) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    first = now - SpanMs();
    last = now;
  }
  if (source_ == TSource::Live) first = std::min(first, last - SpanMs());
  if (first == last) last = first + 1000;
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
  if (low > high) {
    low = 0;
    high = 1;
  }
  const float margin = std::max((high - low) * 0.05f, 0.5f);
  valueAxis_->setRange(low - margin, high + margin);
}

// As many time labels as fit whole under the plot: the chart cuts each label to an equal share of
// the axis, less a padding on either side.
void TTrendWindow::FitTimeTicks() {
  constexpr int MaxTicks = 5;
  constexpr int LabelPadding = 4;
  constexpr int TextMargins = 4;
  const QString widest =
      QDateTime(QDate(2000, 12, 28), QTime(20, 58, 58)).toString(timeAxis_->format());
  const int label = QFontMetrics(timeAxis_->labelsFont()).horizontalAdvance(widest) +
                    2 * LabelPadding + TextMargins;
  const int ticks = std::clamp(static_cast<int>(chart_->plotArea().width()) / label, 2, MaxTicks);
  if (ticks != timeAxis_->tickCount()) timeAxis_->setTickCount(ticks);
}

int TTrendWindow::PointCount(int channel) const {
  int count = 0;
  for (const QLineSeries* piece : traces_[channel - 1].Pieces) count += piece->count();
  return count;
}

int TTrendWindow::PieceCount(int channel) const {
  return static_cast<int>(traces_[channel - 1].Pieces.size());
}

QString TTrendWindow::ReadoutAt(qint64 msSinceEpoch) const {
  QStringList parts;
  for (int channel = 1; channel <= channels_; ++channel) {
    const QListWidgetItem* item = ChannelList->item(channel - 1);
    if (!item || item->checkState() != Qt::Checked) continue;
    const std::deque<TSample>& samples = traces_[channel - 1].Samples;
    // The newest sample at or before the moment.
    auto after = std::upper_bound(samples.begin(), samples.end(), msSinceEpoch,
                                  [](qint64 time, const TSample& s) { return time < s.Time; });
    if (after == samples.begin()) continue;
    parts << ChannelName(channel) + ": " + ValueText(source_, std::prev(after)->Value);
  }
  if (parts.isEmpty()) return {};
  const QString format = source_ == TSource::Live ? "hh:mm:ss.zzz" : "dd.MM.yyyy hh:mm:ss";
  return QDateTime::fromMSecsSinceEpoch(msSinceEpoch).toString(format) + "   " + parts.join("   ");
}

void TTrendWindow::SavePicture() {
  const QString name =
      dialogs_.SaveFileName(this, {"Сохранить график", "Рисунки PNG|*.png|Все файлы|*.*", "png"});
  if (name.isEmpty()) return;
  // Made in memory first, so that the old picture is replaced by a whole new one or not at all.
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !ChartView->grab().save(&buffer, "PNG") ||
      !WriteFileReplacing(CorePath(name), png.constData(), static_cast<size_t>(png.size())))
    dialogs_.Error(this, "", "Не удалось записать файл " + name);
}
