// k7104-screenshots DIR: the window filled from a simulated instrument, one picture per page in
// page order, plus the popup lists, the event log, the port settings dialog, the range dialog,
// the tabs of the instruments a search found, values not read, failed polls counted with the
// values grey, the rows an instrument of 8 channels does not have, the archive page during a deep
// archive read, the comparison with a file and the first two pages of the configuration report
// printed as PDF (rendered by pdftoppm). Used to keep docs/screenshots up to date and to look at
// every page after a layout change.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "GuiTestSupport.h"
#include "files/ConfigFile.h"
#include "shell/device/ArchQwery.h"
#include "shell/device/DeviceController.h"
#include "shell/port/PortSettings.h"
#include "shell/setup/CompareDialog.h"
#include "shell/setup/JournalDialog.h"
#include "shell/setup/RateSearchDialog.h"
#include "shell/view/TrafficMonitor.h"
#ifndef K7104_WITHOUT_CHARTS
#include "shell/view/TrendWindow.h"
#endif
#include "shell/window/Dialogs.h"
#include "shell/window/LogDialog.h"
#include "sim/Simulator.h"
#include "views/PageViews.h"

namespace {

const char* const PageNames[] = {
    "current-measurements",
    "last-cycle",
    "sensor-types",
    "connection-type",
    "break-check",
    "cold-junction",
    "square-root",
    "filter",
    "decimal-points",
    "physical-values",
    "setpoints",
    "hysteresis",
    "relays",
    "relay-logic",
    "device-settings",
    "archive",
};

// A job through the window's own job start; done once the window has reported its end (every job
// reports its start and its end), so that no report or re-read is left over for the pictures.
bool RunJob(TMainForm& form, uint8_t job) {
  TMIP& mip = form.Mip();
  const int reports = form.ReportCount() + 2;
  if (!Devices(form).Jobs().JobStart(job)) return false;
  QElapsedTimer timer;
  timer.start();
  while ((mip.Busy.load() || form.ReportCount() < reports) && timer.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  return mip.Busy.load() == 0 && mip.JobResult.load() == RESULT_OK;
}

bool Save(QWidget* widget, const QDir& dir, const QString& name) {
  // Layouts settle over a few rounds once texts have changed.
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const bool ok = widget->grab().save(dir.filePath(name));
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(dir.filePath(name)));
  return ok;
}

// A modal dialog is pictured once it is up, then closed.
void SaveWhenShown(QDialog* dialog, const QDir& dir, const QString& name) {
  QTimer::singleShot(300, dialog, [dialog, dir, name] {
    Save(dialog, dir, name);
    dialog->reject();
  });
}

// The range dialog of a search is pictured, then confirmed with the values it offers.
void SaveAndConfirmWhenShown(QDialog* dialog, const QDir& dir, const QString& name) {
  QTimer::singleShot(300, dialog, [dialog, dir, name] {
    Save(dialog, dir, name);
    dialog->accept();
  });
}

// Error boxes are printed instead of waiting for a click that never comes.
class TPrintedErrors : public TQtDialogs {
 public:
  void Error(QWidget*, const QString& caption, const QString& text, const QString&) override {
    std::fprintf(stderr, "error box: %s %s\n", qPrintable(caption), qPrintable(text));
    ++Count;
  }
  // The name every save dialog answers with, when set.
  QString SaveFileName(QWidget* owner, const TFileRequest& request) override {
    return SaveAs.isEmpty() ? TQtDialogs::SaveFileName(owner, request) : SaveAs;
  }
  // The name every open dialog answers with, when set.
  QString OpenFileName(QWidget* owner, const TFileRequest& request) override {
    return OpenAs.isEmpty() ? TQtDialogs::OpenFileName(owner, request) : OpenAs;
  }
  int Count = 0;
  QString SaveAs;
  QString OpenAs;
};

// A page of the PDF report as a printer would put it on paper, at 100 dpi (pdftoppm, of
// poppler-utils).
bool SaveReportPage(const QString& pdf, int page, const QDir& dir, const QString& name) {
  const QString prefix = dir.filePath(QFileInfo(name).completeBaseName());
  const int status =
      QProcess::execute("pdftoppm", {"-png", "-r", "100", "-f", QString::number(page), "-l",
                                     QString::number(page), "-singlefile", pdf, prefix});
  const bool ok = status == 0 && QFileInfo::exists(prefix + ".png");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(prefix + ".png"));
  return ok;
}

// The pages of a PDF file as pdfinfo (poppler-utils) counts them; 0 when it cannot.
int PdfPageCount(const QString& pdf) {
  QProcess info;
  info.start("pdfinfo", {pdf});
  if (!info.waitForFinished(60000)) return 0;
  for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split('\n'))
    if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
  return 0;
}

// Polls of the current values failing: the values grey, the failures counted on the status line,
// a box for the first failure of the run only. The polls pause between them so that the status line
// shows the failure when the window is pictured; they stop on leaving the page.
bool SavePollFailures(TMainForm& form, k7104sim::Line& line, const QDir& dir) {
  k7104sim::Fault crc{k7104sim::FaultKind::BadCrc};
  crc.function = 3;
  crc.firstRegister = 768;
  line.AddFault(crc);
  form.State().PollInterval = 1500;
  Devices(form).Jobs().AutomaticReread();
  const QLabel* count = Control<QLabel>(form, "PollFailureCount");
  QElapsedTimer timer;
  timer.start();
  while ((count->isHidden() || count->text() != "Сбоев опроса: 3") && timer.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  const bool ok = count->isVisible() && Save(&form, dir, "poll-failures.png");
  line.ClearFaults();
  form.State().PollInterval = 0;
  form.Pages().PageControl()->SetCurrentIndex(2);
  while (form.Mip().Busy.load() && timer.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  return ok;
}

// Three writes through the window's jobs: two sensor types changed, one of them written again,
// and the clock set; the journal dialog shows them with the values of the newest.
bool SaveJournal(TMainForm& form, const QDir& dir) {
  TMIP& mip = form.Mip();
  bool ok = true;
  mip.Config.TypeSensor[0] = 12;
  mip.Config.TypeSensor[2] = 3;
  ok &= RunJob(form, GroupSensorTypes + WriteCodeBit);
  mip.DeviceClock = NowLocal();
  ok &= RunJob(form, OpWriteClock);
  mip.Config.TypeSensor[0] = 14;
  ok &= RunJob(form, GroupSensorTypes + WriteCodeBit);
  TriggerItem(form, "JournalItem");
  auto* journal = Control<TJournalDialog>(form, "JournalDialog");
  ok &= journal && journal->RecordTable->rowCount() == 3 && Save(journal, dir, "journal.png");
  if (journal) journal->close();
  return ok;
}

// Two instruments at rates of their own on a line of their own, found by the rate search.
bool SaveRateSearch(TMainForm& form, const QDir& dir) {
  k7104sim::Line rateLine;
  rateLine.AddInstrument({7, 1, 8, 4, 2400});
  rateLine.AddInstrument({8, 6, 16, 16, 57600});
  if (!rateLine.Start()) return false;
  TMIP& mip = form.Mip();
  mip.Bus.SetPortDevice(0, rateLine.SlavePath());
  Devices(form).ConnectCommand();
  TriggerItem(form, "RateSearchItem");
  auto* search = Control<TRateSearchDialog>(form, "RateSearchDialog");
  if (!search) return false;
  search->AddressRange->setChecked(true);
  search->FirstBox->setValue(7);
  search->LastBox->setValue(8);
  search->SearchButton->click();
  QElapsedTimer timer;
  timer.start();
  while (search->Running() && timer.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  const bool ok = search->FindTable->rowCount() == 2 && Save(search, dir, "rate-search.png");
  search->close();
  Devices(form).ConnectCommand();  // closes the port again
  mip.Bus.SetBaudIndex(6);
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: k7104-screenshots DIR\n");
    return 64;
  }
  QApplication::setApplicationName("К7104Т(С)1 - Конфигуратор");
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(dir.path());

  k7104sim::Line line;
  line.AddInstrument({1, 1, 32, 32});
  line.AddInstrument({17, 6, 8, 8});
  if (!line.Start()) {
    std::fprintf(stderr, "cannot start the simulated line\n");
    return 1;
  }
  QTemporaryDir settingsDir;
  // The journal of writes holds only the writes made here.
  qputenv("XDG_DATA_HOME", QFile::encodeName(settingsDir.path()));
  TMainFormOptions options;
  options.SettingsPath = settingsDir.filePath("k7104-configurator.ini");
  TPrintedErrors dialogs;
  options.Dialogs = &dialogs;
  TMainForm form(options);
  TMIP& mip = form.Mip();
  TPageViews& pages = form.Pages();
  mip.Bus.SetPortDevice(0, line.SlavePath());
  mip.Bus.SetPortIndex(0);
  // Connected on a page that is not polled, so that the reads below have the line to themselves.
  pages.PageControl()->SetCurrentIndex(2);
  Devices(form).ConnectCommand();
  if (!mip.Bus.IsOpen()) {
    std::fprintf(stderr, "cannot open %s\n", line.SlavePath().c_str());
    return 1;
  }
  mip.RangeFirst = 1;
  mip.RangeLast = 40;
  if (!RunJob(form, 127) || !RunJob(form, 30) || !RunJob(form, 34)) {
    std::fprintf(stderr, "reading the simulated instrument failed: %d\n", mip.JobResult.load());
    return 1;
  }
  form.show();
  // The offscreen screen is small; open the window as it opens on a desktop of 1280 x 1024.
  form.resize(qMax(form.width(), pages.PreferredWidth()), form.height());
  bool ok = true;
  for (int page = 0; page < pages.PageControl()->Count(); ++page) {
    pages.PageControl()->SetCurrentIndex(page);
    pages.Render();
    ok &= Save(&form, dir,
               QString("%1-%2.png").arg(page + 1, 2, 10, QChar('0')).arg(PageNames[page]));
  }
  pages.PageControl()->SetCurrentIndex(12);
  pages.glPageControl4->SetCurrentIndex(4);
  pages.Render();
  ok &= Save(&form, dir, "13b-fault-relays.png");
  pages.glPageControl4->SetCurrentIndex(5);
  pages.Render();
  ok &= Save(&form, dir, "13c-relay-control.png");

  pages.MenuTypeSensor->SetBannerText("Пожалуйста выбирите тип датчика для 3-го канала");
  pages.MenuTypeSensor->popup(form.mapToGlobal(QPoint(200, 120)));
  ok &= Save(pages.MenuTypeSensor, dir, "popup-sensor-types.png");
  pages.MenuTypeSensor->hide();
  pages.MenuFilter->SetBannerText("Всех каналов");
  pages.MenuFilter->popup(form.mapToGlobal(QPoint(200, 120)));
  ok &= Save(pages.MenuFilter, dir, "popup-filter.png");
  pages.MenuFilter->hide();

  SaveWhenShown(Control<TLogDialog>(form, "LogDialog"), dir, "event-log.png");
  TriggerItem(form, "N18");
  SaveWhenShown(Control<TPortSettings>(form, "PortSettings"), dir, "port-settings.png");
  TriggerItem(form, "N8");
  // The same dialog set to a serial server on the plant's network, then cancelled.
  auto* portSettings = Control<TPortSettings>(form, "PortSettings");
  QTimer::singleShot(300, portSettings, [portSettings, dir] {
    portSettings->LineKindBox->setCurrentIndex(1);
    portSettings->HostEdit->setText("192.168.1.50");
    portSettings->TcpPortSpin->setValue(4001);
    portSettings->NetworkModeBox->setCurrentIndex(0);
    Save(portSettings, dir, "port-settings-network.png");
    portSettings->reject();
  });
  TriggerItem(form, "N8");

  pages.PageControl()->SetCurrentIndex(2);
  pages.Render();
  form.State().AddressMax = 20;
  SaveAndConfirmWhenShown(Control<TArchQwery>(form, "ArchQwery"), dir, "range-dialog.png");
  Devices(form).SearchCommand();
  QElapsedTimer search;
  search.start();
  while ((mip.Busy.load() || Control<QTabBar>(form, "TabSet1")->count() == 0) &&
         search.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ok &=
      Control<QTabBar>(form, "TabSet1")->count() == 2 && Save(&form, dir, "found-instruments.png");

  // The search has chosen an instrument: what was read before is not known for it. One value
  // typed among the setpoints not read.
  pages.PageControl()->SetCurrentIndex(10);
  pages.glPageControl3->SetCurrentIndex(0);
  mip.Config.Setpoint[0][2] = 33.3f;
  mip.MarkEdited(&mip.Config.Setpoint[0][2], sizeof(TLeFloat));
  pages.Render();
  ok &= Save(&form, dir, "not-read-setpoints.png");

  // The instrument of 8 channels and 8 relays: the rows beyond are greyed.
  Control<QTabBar>(form, "TabSet1")->setCurrentIndex(1);
  pages.PageControl()->SetCurrentIndex(2);
  ok &= RunJob(form, 127);
  pages.Render();
  pages.StringGrid(3)->scrollToItem(pages.StringGrid(3)->item(14, 0));
  ok &= Save(&form, dir, "eight-channels-sensor-types.png");
  pages.PageControl()->SetCurrentIndex(12);
  pages.glPageControl4->SetCurrentIndex(6);
  pages.Render();
  pages.glAskListBox6->ensureWidgetVisible(pages.glAskListBox6->Button(12, 1));
  ok &= Save(&form, dir, "eight-relays-relay-test.png");

  // The menu "Вид": the traffic monitor over a read of all, the live trend of four channels over
  // some polls with the CSV logging named on the status line, the trend of the archive read.
  Control<QTabBar>(form, "TabSet1")->setCurrentIndex(0);
  TriggerItem(form, "TrafficMonitorItem");
  Control<TTrafficMonitor>(form, "TrafficMonitor")->move(form.pos() + QPoint(40, 40));
  ok &= RunJob(form, 127);
  Control<TTrafficMonitor>(form, "TrafficMonitor")->TakeTraffic();
  ok &= Save(Control<TTrafficMonitor>(form, "TrafficMonitor"), dir, "traffic-monitor.png");
  Control<TTrafficMonitor>(form, "TrafficMonitor")->close();
  QTemporaryDir csvDir;
  dialogs.SaveAs = csvDir.filePath("текущие-значения.csv");
  ok &= View(form).StartCsvLogging();
#ifndef K7104_WITHOUT_CHARTS
  TriggerItem(form, "LiveTrendItem");
  for (int channel = 2; channel <= 4; ++channel)
    Control<TTrendWindow>(form, "LiveTrend")
        ->ChannelList->item(channel - 1)
        ->setCheckState(Qt::Checked);
#endif
  pages.PageControl()->SetCurrentIndex(0);
  for (int poll = 0; poll < 60; ++poll) {
    ok &= RunJob(form, 0);
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < 150) QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  pages.Render();
#ifndef K7104_WITHOUT_CHARTS
  ok &= Save(Control<TTrendWindow>(form, "LiveTrend"), dir, "trend-live.png");
#endif
  ok &= Save(&form, dir, "csv-logging.png");
  // The first failed poll of a run shows its error box, as it should; no other box is expected.
  const int boxesBefore = dialogs.Count;
  ok &= SavePollFailures(form, line, dir);
  const int pollFailureBoxes = dialogs.Count - boxesBefore;
  if (pollFailureBoxes != 1)
    std::fprintf(stderr, "the failed polls showed %d error boxes instead of one\n",
                 pollFailureBoxes);
  ok &= pollFailureBoxes == 1;
  dialogs.Count = boxesBefore;
  View(form).StopCsvLogging();
#ifndef K7104_WITHOUT_CHARTS
  Control<TTrendWindow>(form, "LiveTrend")->close();
  TriggerItem(form, "ArchiveTrendItem");
  for (int channel = 2; channel <= 3; ++channel)
    Control<TTrendWindow>(form, "ArchiveTrend")
        ->ChannelList->item(channel - 1)
        ->setCheckState(Qt::Checked);
  ok &= Save(Control<TTrendWindow>(form, "ArchiveTrend"), dir, "trend-archive.png");
  Control<TTrendWindow>(form, "ArchiveTrend")->close();
#endif
  dialogs.SaveAs.clear();
  pages.PageControl()->SetCurrentIndex(2);

  // The instrument against a file that differs in a few values, and the report made of it.
  QTemporaryDir compareDir;
  const QString prb = compareDir.filePath("линия-3.prb");
  ok &= RunJob(form, JobReadAll);
  TConfigBlock changed = mip.Config;
  changed.TypeSensor[1] = 25;
  changed.KXC[3] = 16;
  changed.Filter[4] = static_cast<uint8_t>((changed.Filter[4] + 2) % 6);
  changed.Setpoint[0][0] = 250.0f;
  changed.SetpointRelay[0][0] = 3;
  changed.Password = 1234;
  ok &= SaveConfigFile(prb.toStdString(), changed);
  dialogs.OpenAs = prb;
  ok &= SaveJournal(form, dir);
  TriggerItem(form, "CompareWithFileItem");
  ok &= Control<TCompareDialog>(form, "CompareDialog") &&
        Save(Control<TCompareDialog>(form, "CompareDialog"), dir, "compare.png");
  if (Control<TCompareDialog>(form, "CompareDialog"))
    Control<TCompareDialog>(form, "CompareDialog")->close();
  dialogs.SaveAs = compareDir.filePath("отчёт.pdf");
  TriggerItem(form, "ConfigurationReportItem");
  ok &= SaveReportPage(dialogs.SaveAs, 1, dir, "report.png");
  ok &= SaveReportPage(dialogs.SaveAs, 2, dir, "report-2.png");
  ok &= SaveReportPage(dialogs.SaveAs, PdfPageCount(dialogs.SaveAs), dir, "report-journal.png");
  dialogs.OpenAs.clear();
  dialogs.SaveAs.clear();

  // A long search with its Stop button beside the gauge, then stopped.
  Devices(form).Jobs().JobStart(JobSearch, [&mip] {
    mip.RangeFirst = 1;
    mip.RangeLast = 255;
  });
  QElapsedTimer stop;
  stop.start();
  while ((Control<QPushButton>(form, "StopButton")->isHidden() ||
          Control<QProgressBar>(form, "CGauge")->value() < 4) &&
         stop.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ok &= Save(&form, dir, "stop-button.png");
  Devices(form).StopCommand();
  while ((mip.Busy.load() || !Control<QProgressBar>(form, "CGauge")->isHidden()) &&
         stop.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  mip.Bus.ClosePort();
  ok &= SaveRateSearch(form, dir);

  // The whole of a deep archive read on a line paced at 115200 Bd: the records appear while they
  // are read, the gauge counts them and the status line gives the rate and the time left.
  k7104sim::LineOptions paced;
  paced.paceBaud = 115200;
  k7104sim::Line deepLine(paced);
  deepLine.AddInstrument({1, 1, 32, 32}).SetArchiveDepth(65535);
  if (!deepLine.Start()) return 1;
  mip.Bus.SetPortDevice(0, deepLine.SlavePath());
  mip.Bus.SetBaudIndex(12);
  Control<QTabBar>(form, "TabSet1")->setCurrentIndex(0);
  pages.PageControl()->SetCurrentIndex(15);
  pages.Render();
  Devices(form).ConnectCommand();
  form.State().MinArch = 1;
  form.State().MaxArch = 65535;
  QTimer::singleShot(300, Control<TArchQwery>(form, "ArchQwery"),
                     [&form] { Control<TArchQwery>(form, "ArchQwery")->accept(); });
  Devices(form).ReadCurrentCommand();
  QElapsedTimer reading;
  reading.start();
  while (pages.ArchiveGrid()->RowCount() < 400 && reading.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ok &= pages.ArchiveGrid()->RowCount() >= 400 && Save(&form, dir, "16b-archive-reading.png");
  return ok && dialogs.Count == 0 ? 0 : 1;
}
