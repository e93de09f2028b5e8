// The view feature, the menu "Вид" and its toolbar button after the menus and buttons the window
// always had: the traffic monitor, the trends of the current values and of the archive (where Qt
// Charts is there), and every polled set of current values logged to a CSV file (the file name
// comes from the dialogs; a write failure stops the logging with a message, never the polling).
#pragma once

#include <QObject>

#include <memory>
#include <optional>

#include "files/LiveCsv.h"

class QAbstractButton;
class QAction;
class QLabel;
class TJobs;
class TMIP;
class TTrafficMonitor;
class TTrendWindow;
class TWindowSeam;

class TViewController : public QObject {
  Q_OBJECT

 public:
  TViewController(TWindowSeam& seam, TMIP& mip, TJobs& jobs, QObject* parent = nullptr);
  // The monitor lets go of the channel: the window deletes this object while the channel is
  // still there.
  ~TViewController() override;

  void Build();
  void Wire();

  void ShowTrafficMonitor();
#ifndef K7104_WITHOUT_CHARTS
  void ShowLiveTrend();
  void ShowArchiveTrend();
#endif
  bool StartCsvLogging();
  void StopCsvLogging();
  bool CsvLogging() const;

 private:
  std::optional<TLiveCsvOpen> AskHowToOpen(const QString& name);
  void LogCurrentValues();
  void LogPollFailure(const QString& sentence);
  void StopAfterWriteFailure();

  TWindowSeam& seam_;
  TMIP& mip_;
  TJobs& jobs_;
  QAction* trafficItem_ = nullptr;
  QAction* liveTrendItem_ = nullptr;
  QAction* archiveTrendItem_ = nullptr;
  QAction* csvLoggingItem_ = nullptr;
  QAction* csvDecimalCommaItem_ = nullptr;
  QLabel* csvLoggingLabel_ = nullptr;  // on the status bar while logging
  QAbstractButton* trafficButton_ = nullptr;
  TTrafficMonitor* trafficMonitor_ = nullptr;  // made when first shown
  TTrendWindow* liveTrend_ = nullptr;
  TTrendWindow* archiveTrend_ = nullptr;
  std::unique_ptr<TLiveCsvLog> csvLog_;
  TTextForm csvForm_;
  TLiveCsvOpen csvOpen_ = TLiveCsvOpen::Replace;
};
