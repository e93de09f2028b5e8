// Trend charts beside the main window: the current values of the chosen channels against time
// while the current values page polls, or the records of the archive last read. A marker value
// (a sensor fault, a switched-on instrument…) leaves a gap; the read-out under the chart names it.
#pragma once

#include <QChartView>
#include <QWidget>

#include <deque>
#include <vector>

#include "instrument/Mipunit.h"

class QComboBox;
class QLabel;
class QLineSeries;
class QListWidget;
class QPushButton;
class QValueAxis;
class QDateTimeAxis;
class TDialogs;

// The chart view of the trend window: the wheel zooms, a rubber band zooms into its rectangle.
class TTrendChartView : public QChartView {
  Q_OBJECT

 public:
  using QChartView::QChartView;

 signals:
  void PointerMoved(QPointF valuePoint);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
};

class TTrendWindow : public QWidget {
  Q_OBJECT

 public:
  enum class TSource { Live, Archive };
  // Spans of the live chart: the points older than the span leave it.
  static constexpr int SpanSeconds[] = {60, 600, 3600};
  // A series keeps at most this many points; polls closer than span / MaxPoints are skipped.
  static constexpr int MaxPoints = 2000;

  TTrendWindow(TSource source, TDialogs& dialogs, QWidget* parent = nullptr);

  // Live: one poll's values of the instrument's channels, at the computer's time.
  void AddSample(qint64 msSinceEpoch, const float* values, int channels);
  // Archive: the records, with their times, of the first `channels` channels.
  void ShowRecords(const std::vector<MeasurementRecord>& records, int channels);
  void Clear();

  // Points plotted for the channel (1-based), in all its gap-separated pieces.
  int PointCount(int channel) const;
  int PieceCount(int channel) const;
  // What the read-out says for this moment: each chosen channel's value or marker text there.
  QString ReadoutAt(qint64 msSinceEpoch) const;

  QListWidget* ChannelList;
  QComboBox* SpanBox;  // live only
  QPushButton* PauseButton;
  QPushButton* ClearButton;
  QPushButton* ResetZoomButton;
  QPushButton* SaveButton;
  QLabel* Readout;
  TTrendChartView* ChartView;

 private:
  struct TSample {
    qint64 Time;
    float Value;
  };
  struct TTrace {
    std::vector<QLineSeries*> Pieces;
    std::deque<TSample> Samples;
    bool InGap = true;  // the next value starts a new piece
  };

  void BuildChannelList();
  void ChannelToggled(int channel, bool on);
  void Append(int channel, qint64 time, float value);
  void TrimOlderThan(qint64 time);
  void FitAxes();
  void FitTimeTicks();
  void SavePicture();
  qint64 SpanMs() const;
  QLineSeries* NewPiece(int channel);

  TSource source_;
  TDialogs& dialogs_;
  QChart* chart_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  TTrace traces_[MaxChannels];
  int channels_ = MaxChannels;
  qint64 lastSample_ = 0;
};
