// Steps the command tests share: reading what the window reported and asked, switching pages by
// clicking their tabs, and the settings that put COM1 on a simulated line.
#pragma once

#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "files/ConfigValues.h"
#include "instrument/JobEngine.h"
#include "shell/device/ArchQwery.h"
#include "shell/window/Jobs.h"
#include "views/PageViews.h"
#include "views/PopupList.h"
#include "views/StringGrid.h"

namespace Steps {

inline constexpr int Patience = 60000;  // ms: generous, the machine is shared with other builds

inline const QString ReadOf8And4 = "Данные с 8-ти каналов(4-ти реле) считаны.";
inline const QString WrittenOf8And4 = "Данные 8-ти каналов(4-ти реле) записаны.";
inline const QString PortNotOpen = "Не открыт порт!!!";

// How often the sentence was reported as an ordinary message: a log line that folds repeats
// counts as many as its "(×N)" says.
inline int Reported(const TMainForm& form, const QString& sentence) {
  int count = 0;
  const QString tail = "] " + sentence;
  for (const QString& line : form.EventLog()) {
    if (line.endsWith(tail)) {
      ++count;
      continue;
    }
    const int fold = line.lastIndexOf(" (×");
    if (fold > 0 && line.endsWith(')') && line.left(fold).endsWith(tail))
      count += line.mid(fold + 3, line.size() - fold - 4).toInt();
  }
  return count;
}

inline int ReportedError(const TMainForm& form, const QString& sentence) {
  return Reported(form, "Ошибка: " + sentence);
}

// Jobs whose start the window has reported, and jobs whose end it has reported (every sentence
// that is no job start and no port or program message ends a job).
inline int JobStarts(const TMainForm& form) {
  return Reported(form, "Идет считывание данных.") + Reported(form, "Идет запись данных.") +
         Reported(form, "Идет поиск приборов.") + Reported(form, "Идет поиск скорости обмена.");
}
inline int ReportedLines(const TMainForm& form) {
  int count = 0;
  for (const QString& line : form.EventLog()) {
    const int fold = line.lastIndexOf(" (×");
    count +=
        fold > 0 && line.endsWith(')') ? line.mid(fold + 3, line.size() - fold - 4).toInt() : 1;
  }
  return count;
}
// Reports whose sentence begins with the given words, folded repeats counted each.
inline int ReportedStarting(const TMainForm& form, const QString& words) {
  int count = 0;
  for (const QString& line : form.EventLog()) {
    const int sentence = line.indexOf("] ");
    if (sentence < 0 || !line.mid(sentence + 2).startsWith(words)) continue;
    const int fold = line.lastIndexOf(" (×");
    count +=
        fold > 0 && line.endsWith(')') ? line.mid(fold + 3, line.size() - fold - 4).toInt() : 1;
  }
  return count;
}
// The port opened (a network line with its server) or closed (with its reason), a device bound to a
// port, a device that went away back again.
inline int PortLines(const TMainForm& form) {
  return ReportedStarting(form, "Порт открыт.") + ReportedStarting(form, "Порт закрыт.") +
         ReportedStarting(form, "Порту ") + ReportedStarting(form, "Устройство ");
}
inline int JobEnds(const TMainForm& form) {
  return ReportedLines(form) - JobStarts(form) - PortLines(form) -
         Reported(form, "Программа загружена.");
}

// Once the port is closed or the page is no live one, no job may start any more: the window
// has shown the end of every job started before, the engine is idle and stays so. Exact however
// loaded the machine: a job's start is posted before the engine's Busy clears, so once Busy is
// seen clear and the posted work has run, every start is counted and its end follows.
inline bool NoMoreJobs(TMainForm& form) {
  if (!QTest::qWaitFor([&form] { return form.Mip().Busy == 0; }, Patience)) return false;
  QCoreApplication::sendPostedEvents();
  auto settled = [&form] { return form.Mip().Busy == 0 && JobStarts(form) == JobEnds(form); };
  if (!QTest::qWaitFor(settled, Patience)) return false;
  const int starts = JobStarts(form);
  QTest::qWait(300);
  return form.Mip().Busy == 0 && JobStarts(form) == starts;
}

// The boxes and file dialogs of one kind the window has shown, by their texts.
inline QStringList Shown(const TScriptedDialogs& dialogs, const QString& kind) {
  QStringList texts;
  for (const TAskedDialog& asked : dialogs.Asked)
    if (asked.Kind == kind) texts << asked.Text;
  return texts;
}

// Clicks the tab of a page of glPageControl1 and, for a page with sub-pages, the tab of the
// sub-page, as the user does.
inline void ClickPage(TMainForm& form, int page, int subPage = -1) {
  form.Pages().PageControl()->TabButton(page)->click();
  if (subPage < 0) return;
  form.Pages().SubPages(page)->TabButton(subPage)->click();
}

// A settings file whose COM1 is the given device, with the given reply timeout.
inline QString LineSettings(const QString& device, int waitTime = 1300) {
  return QString("[SettingsPort]\nWaitTime=%1\n[PortDevices]\nCom1=%2\n").arg(waitTime).arg(device);
}

inline QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Answers the next range dialog with the two values.
inline void AnswerRangeDialog(int first, int last) {
  WhenModalShown<TArchQwery>([first, last](TArchQwery* dialog) {
    dialog->CSpinEdit1->setValue(first);
    dialog->CSpinEdit2->setValue(last);
    dialog->OKBtn->click();
  });
}

// Every configuration group of the window's image came from the instrument.
inline bool AllRead(const TMIP& mip) {
  for (const TGroup* group : ConfigurationGroups())
    if (mip.GroupSource[group->Code] != TGroupSource::Read) return false;
  return true;
}

// Read all, done once the window has shown its end (the pages drawn).
inline void ReadAll(TMainForm& form) {
  bool ended = false;
  const auto onEnd =
      QObject::connect(&Devices(form).Jobs(), &TJobs::JobEnded, [&ended](uint8_t job, int result) {
        ended = ended || (job == JobReadAll && result == RESULT_OK);
      });
  Button(form, "ToolButton11")->click();
  const bool done = QTest::qWaitFor([&ended] { return ended; }, Patience);
  QObject::disconnect(onEnd);
  QVERIFY(done && AllRead(form.Mip()));
}

// A search of the addresses first..last, done when the window reports its end.
inline void Search(TMainForm& form, int first, int last) {
  const int before = Reported(form, "Поиск завершен.");
  AnswerRangeDialog(first, last);
  Button(form, "ToolButton9")->click();
  QTRY_VERIFY_WITH_TIMEOUT(Reported(form, "Поиск завершен.") == before + 1, Patience);
}

// An edit as the user makes it: the filter of channel 6 chosen from its list.
inline void ChooseFilterOfChannel6(TMainForm& form, int item) {
  ClickPage(form, 7);
  TStringGrid* grid = form.Pages().StringGrid(4);
  grid->scrollToItem(grid->item(6 - grid->FixedRows(), 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid->viewport()->mapFrom(grid, grid->CellRect(1, 6).center()));
  auto* list = form.findChild<TPopupList*>("MenuFilter");
  QVERIFY(list && list->isVisible());
  QTest::mouseClick(list, Qt::LeftButton, Qt::NoModifier,
                    list->actionGeometry(list->actions().at(item)).center());
  QVERIFY(!list->isVisible());
}

}  // namespace Steps
