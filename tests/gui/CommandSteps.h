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
#include "files/ArchQwery.h"
#include "views/PageViews.h"

namespace Steps {

inline constexpr int Patience = 60000;  // ms: generous, the machine is shared with other builds

inline const QString ReadOf8And4 = "Данные с 8-ти каналов(4-ти реле) считаны.";
inline const QString WrittenOf8And4 = "Данные 8-ти каналов(4-ти реле) записаны.";
inline const QString PortNotOpen = "Не открыт порт!!!";

// Log lines that report the sentence as an ordinary message.
inline int Reported(const TMainForm& form, const QString& sentence) {
  int count = 0;
  for (const QString& line : form.EventLog()) count += line.endsWith("] " + sentence);
  return count;
}

inline int ReportedError(const TMainForm& form, const QString& sentence) {
  return Reported(form, "Ошибка: " + sentence);
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
  auto* pages = form.findChild<TglPageControl*>("glPageControl1");
  pages->TabButton(page)->click();
  if (subPage < 0) return;
  const int nested = page == 9 ? 2 : page == 10 ? 3 : page == 12 ? 4 : page == 13 ? 5 : 0;
  auto* subPages = form.findChild<TglPageControl*>(QString("glPageControl%1").arg(nested));
  subPages->TabButton(subPage)->click();
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

}  // namespace Steps
