// The archive page at full depth: the real main window offscreen with N records of 32 channels
// in its data image, filled the way the archive read fills it, then rendered, painted, reached
// by a page change, scrolled top to bottom in 100 steps and exported by Save. Every N runs in a
// process of its own so that its peak memory is its own. One line per N:
//   archive_view N=65535 render_ms=... paint_ms=... page_change_ms=... scroll_ms=... export_ms=...
//   peak_mb=...
// Prints figures; asserts nothing.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocale>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "GuiTestSupport.h"
#include "views/PageViews.h"

namespace {

constexpr int ArchivePage = 15;
constexpr int ScrollSteps = 100;
const int Sizes[] = {1000, 10000, 65535};

// As the archive read does it: the record buffer appended record by record, then sorted. Values
// of every channel, with the instrument's markers among them.
void FillArchive(TMIP& mip, int count) {
  mip.ClearArchive();
  const TDateTime start = EncodeDate(2024, 1, 1);
  for (int k = 1; k <= count; ++k) {
    mip.MeasRecord.Number = static_cast<uint16_t>(k);
    mip.MeasRecord.Time = start + k / 1440.0;
    for (int ch = 0; ch < MaxChannels; ++ch) {
      const unsigned hash = static_cast<unsigned>(k) * 31u + static_cast<unsigned>(ch) * 17u;
      float value = static_cast<float>((hash % 200000) / 97.0 - 900.0);
      if (ch % 8 == 7) value = -32764.0f;
      if (k % 50 == 1) value = -32765.0f;
      if (hash % 53 == 7) value = -32767.0f;
      if (hash % 97 == 13) value = -32768.0f;
      mip.MeasRecord.Value[ch] = value;
    }
    mip.AppendRecord();
  }
  mip.SortArchive();
}

double Ms(const QElapsedTimer& timer) {
  return timer.nsecsElapsed() / 1e6;
}

void ClickPage(TMainForm& form, int page) {
  form.Pages().PageControl()->TabButton(page)->click();
}

int RunOne(int count) {
  // The window of the window tests: its dialogs answer from a script and note every box.
  TFormFixture fixture;
  TMainForm& form = fixture.Form();
  form.show();
  QApplication::processEvents();
  TArchiveGrid* grid = form.Pages().ArchiveGrid();
  ClickPage(form, ArchivePage);
  QApplication::processEvents();

  FillArchive(form.Mip(), count);
  QElapsedTimer timer;
  timer.start();
  form.Pages().Render();  // what the end of the archive read does on the archive page
  const double renderMs = Ms(timer);
  timer.start();
  QApplication::processEvents();
  grid->viewport()->repaint();
  grid->verticalHeader()->viewport()->repaint();
  const double paintMs = Ms(timer);

  ClickPage(form, 0);
  QApplication::processEvents();
  timer.start();
  ClickPage(form, ArchivePage);
  QApplication::processEvents();
  grid->viewport()->repaint();
  const double pageChangeMs = Ms(timer);

  QScrollBar* bar = grid->verticalScrollBar();
  timer.start();
  for (int step = 1; step <= ScrollSteps; ++step) {
    bar->setValue(bar->maximum() * step / ScrollSteps);
    grid->viewport()->repaint();
    grid->verticalHeader()->viewport()->repaint();
  }
  const double scrollMs = Ms(timer);

  fixture.Dialogs().FileNames << fixture.Folder() + "/archive.txt";
  timer.start();
  Button(form, "ToolButton3")->click();
  const double exportMs = Ms(timer);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "archive_view N=%d render_ms=%.1f paint_ms=%.1f page_change_ms=%.1f scroll_ms=%.1f "
      "export_ms=%.1f peak_mb=%.1f\n",
      count, renderMs, paintMs, pageChangeMs, scrollMs, exportMs, usage.ru_maxrss / 1024.0);
  std::fflush(stdout);
  const bool errorShown =
      fixture.Dialogs().Asked.end() !=
      std::find_if(fixture.Dialogs().Asked.begin(), fixture.Dialogs().Asked.end(),
                   [](const TAskedDialog& asked) { return asked.Kind == "Error"; });
  return !errorShown && bar->value() == bar->maximum() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    return RunOne(std::atoi(argv[1]));
  }
  int failures = 0;
  for (const int count : Sizes) {
    const pid_t child = fork();
    if (child == 0) {
      const std::string n = std::to_string(count);
      execl("/proc/self/exe", argv[0], n.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
