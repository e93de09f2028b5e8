// An unattended day on a noisy line, shortened: the real main window (offscreen) polls the current
// values of the instrument k7104-sim makes, paced at 115200 Bd with a CRC error in about one reply
// of 500 (seeded, so every run meets the same line), and logs them to CSV as the user starts it
// from "Вид". Nobody answers a box. Prints name=value figures at the end: the rows written, the
// failed polls among them, the longest gap between two rows against the poll period, the longest
// run of failed polls the status bar counted, and the error boxes shown; the longest gap is also
// given apart for gaps next to a failed poll and gaps between two read rows (which no failure of
// the line explains), with the count of gaps over two periods. With OUT_DIR set, the
// window is drawn into OUT_DIR/live-log-failure.png at the first failed poll.
//
//   live_log [SECONDS] [POLL_INTERVAL_MS]      (default 3600 s, 200 ms)
//
// Prints figures; asserts nothing.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "GuiTestSupport.h"

namespace {

constexpr int Baud115200Index = 12;

struct TFigures {
  long Rows = 0;
  long FailedRows = 0;
  int LongestRun = 0;
  qint64 LongestGapMs = 0;
  qint64 LastRowMs = -1;
  bool LastRowFailed = false;
  std::vector<qint64> Gaps;
  std::vector<bool> GapAtFailure;  // the row before or after the gap is a failed poll
};

QString StartSimulator(QProcess& sim) {
  sim.start(K7104_SIM_PROGRAM,
            {"--quiet", "--pace", "115200", "--fault", "kind=badcrc,prob=0.002,seed=1"});
  if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) return {};
  return QString::fromUtf8(sim.readLine()).trimmed();
}

QString Settings(const QString& port, int pollIntervalMs) {
  return QString(
             "[SettingsPort]\nBaudRate=%1\nWaitTime=1300\nPollInterval=%2\n[PortDevices]\n"
             "Com1=%3\n")
      .arg(Baud115200Index)
      .arg(pollIntervalMs)
      .arg(port);
}

int CountedFailures(const TMainForm& form) {
  const QLabel* count = Control<QLabel>(form, "PollFailureCount");
  if (!count || count->isHidden()) return 0;
  return count->text().section(' ', -1).toInt();
}

void AddRow(TFigures& figures, const QElapsedTimer& clock, bool failed) {
  const qint64 now = clock.elapsed();
  if (figures.LastRowMs >= 0) {
    const qint64 gap = now - figures.LastRowMs;
    figures.Gaps.push_back(gap);
    figures.GapAtFailure.push_back(failed || figures.LastRowFailed);
    figures.LongestGapMs = std::max(figures.LongestGapMs, gap);
  }
  figures.LastRowMs = now;
  figures.LastRowFailed = failed;
  ++figures.Rows;
}

// The longest gap next to a failed poll, the longest between two read ones, and how many gaps
// were longer than two poll periods.
struct TGapKinds {
  qint64 AtFailureMs = 0;
  qint64 BetweenReadsMs = 0;
  long OverTwoPeriods = 0;
};

TGapKinds GapKinds(const TFigures& figures, double periodMs) {
  TGapKinds kinds;
  for (size_t i = 0; i < figures.Gaps.size(); ++i) {
    qint64& longest = figures.GapAtFailure[i] ? kinds.AtFailureMs : kinds.BetweenReadsMs;
    longest = std::max(longest, figures.Gaps[i]);
    kinds.OverTwoPeriods += figures.Gaps[i] > 2 * periodMs;
  }
  return kinds;
}

long FileRows(const QString& path, long* failedRows) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  long rows = -1;  // the header is no row
  *failedRows = 0;
  while (!file.atEnd()) {
    const QByteArray line = file.readLine();
    ++rows;
    if (line.contains('"')) ++*failedRows;
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  QApplication::setQuitOnLastWindowClosed(false);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 3600;
  const int pollIntervalMs = argc > 2 ? std::atoi(argv[2]) : 200;
  const QString outDir = qEnvironmentVariable("OUT_DIR");

  QProcess sim;
  const QString port = StartSimulator(sim);
  if (port.isEmpty()) {
    std::fprintf(stderr, "live_log: the simulator gave no terminal\n");
    return 2;
  }
  TFormFixture fixture(Settings(port, pollIntervalMs), true);
  TMainForm& form = fixture.Form();
  form.resize(1000, 700);
  form.show();
  const QString csvPath = QDir(fixture.Folder()).filePath("live.csv");
  fixture.Dialogs().FileNames << csvPath;

  TFigures figures;
  QElapsedTimer clock;
  TJobs& jobs = Devices(form).Jobs();
  QObject::connect(&jobs, &TJobs::CurrentValuesRead, [&] {
    if (View(form).CsvLogging()) AddRow(figures, clock, false);
  });
  bool pictured = false;
  QObject::connect(&jobs, &TJobs::CurrentValuesFailed, [&] {
    if (!View(form).CsvLogging()) return;
    AddRow(figures, clock, true);
    ++figures.FailedRows;
    figures.LongestRun = std::max(figures.LongestRun, CountedFailures(form));
    if (!outDir.isEmpty() && !pictured) {
      pictured = true;
      form.grab().save(QDir(outDir).filePath("live-log-failure.png"));
    }
  });

  Button(form, "ToolButton8")->click();
  if (!form.Mip().Bus.IsOpen()) {
    std::fprintf(stderr, "live_log: the port %s would not open\n", qPrintable(port));
    return 2;
  }
  clock.start();
  TriggerItem(form, "CsvLoggingItem");
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  app.exec();
  TriggerItem(form, "CsvLoggingItem");

  long fileFailedRows = 0;
  const long fileRows = FileRows(csvPath, &fileFailedRows);
  std::vector<qint64> gaps = figures.Gaps;
  std::sort(gaps.begin(), gaps.end());
  const qint64 medianGap = gaps.empty() ? 0 : gaps[gaps.size() / 2];
  const double periodMs = figures.Rows > 1 ? double(figures.LastRowMs) / (figures.Rows - 1) : 0;
  const TGapKinds kinds = GapKinds(figures, periodMs);
  std::printf(
      "live_log seconds=%d poll_interval_ms=%d rows=%ld failed_rows=%ld file_rows=%ld "
      "file_failed_rows=%ld poll_period_ms=%.1f median_gap_ms=%lld longest_gap_ms=%lld "
      "longest_gap_periods=%.2f longest_gap_at_failure_ms=%lld longest_gap_between_reads_ms=%lld "
      "gaps_over_two_periods=%ld longest_failure_run=%d error_boxes=%lld\n",
      seconds, pollIntervalMs, figures.Rows, figures.FailedRows, fileRows, fileFailedRows, periodMs,
      static_cast<long long>(medianGap), static_cast<long long>(figures.LongestGapMs),
      periodMs > 0 ? figures.LongestGapMs / periodMs : 0.0,
      static_cast<long long>(kinds.AtFailureMs), static_cast<long long>(kinds.BetweenReadsMs),
      kinds.OverTwoPeriods, figures.LongestRun,
      static_cast<long long>(
          std::count_if(fixture.Dialogs().Asked.begin(), fixture.Dialogs().Asked.end(),
                        [](const TAskedDialog& asked) { return asked.Kind == "Error"; })));
  if (!outDir.isEmpty()) QFile::copy(csvPath, QDir(outDir).filePath("live-log.csv"));
  fixture.Close();
  sim.terminate();
  sim.waitForFinished(5000);
  return 0;
}
