#include "shell/files/ArchiveExport.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "files/ArchiveText.h"
#include "instrument/Mipunit.h"
#include "shell/settings/CorePath.h"
#include "shell/window/Progress.h"
#include "views/TextForms.h"

namespace {

constexpr int ExportGaugeMs = 50;

bool IsCsvName(const QString& fileName) {
  return QFileInfo(fileName).suffix().compare("csv", Qt::CaseInsensitive) == 0;
}

// Everything the writing thread uses is its own: the window may read the archive again, or the
// user change the locale, while the file is written.
struct TExportJob {
  std::string Path;
  bool Csv = false;
  std::vector<MeasurementRecord> Records;
  uint16_t ChannelCount = 0;
  TTextForm Form;
  std::atomic<size_t> Done{0};
  bool Written = false;

  void Run() {
    const TExportProgress progress = [this](size_t done) {
      Done = done;
      return true;
    };
    if (Csv) {
      Written = WriteArchiveCsv(Path, Records, ChannelCount, progress);
      return;
    }
    Written = WriteArchiveText(Path, Records, ChannelCount, Form, progress);
  }
};

// Runs work on a thread of its own and the window's events meanwhile, with the records done on
// the gauge unless a job's progress holds it.
void RunBeside(const std::function<void()>& work, size_t total, const std::function<size_t()>& done,
               TProgress& progress) {
  QEventLoop loop;
  QTimer refresh;
  const bool gaugeWasShown = progress.Shown();
  const auto showDone = [&] {
    if (!gaugeWasShown) progress.SetValue(static_cast<int>(done()));
  };
  if (!gaugeWasShown) {
    progress.Count(static_cast<int>(total));
    progress.Start(false);
  }
  QObject::connect(&refresh, &QTimer::timeout, &loop, showDone);
  refresh.start(ExportGaugeMs);
  std::thread writer([&] {
    work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The thread may finish before the loop runs: the quit it posted still ends the loop.
  loop.exec();
  writer.join();
  if (!gaugeWasShown) {
    progress.Hide();
    progress.Percent();
  }
}

}  // namespace

bool TArchiveExport::Write(const QString& fileName, const TMIP& mip, TProgress& progress) {
  if (exporting_) return false;
  exporting_ = true;
  auto job = std::make_shared<TExportJob>();
  job->Path = CorePath(fileName);
  job->Csv = IsCsvName(fileName);
  job->Records = mip.MeasArchive;
  job->ChannelCount = mip.ChannelCount;
  job->Form = TextForms::CurrentTextForm();
  RunBeside([job] { job->Run(); }, job->Records.size(), [job] { return job->Done.load(); },
            progress);
  exporting_ = false;
  return job->Written;
}
