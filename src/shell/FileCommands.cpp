// The commands of the "Файл" menu: a configuration cleared, loaded from a file and saved to one.
// They work on the data image only; nothing reaches the instrument until the user writes it.
#include <QAction>
#include <QFile>
#include <QToolButton>

#include "shell/Dialogs.h"
#include "shell/Mainunit.h"
#include "views/PageViews.h"

namespace {

constexpr int ArchivePageIndex = 15;

const TFileRequest& ConfigurationOpenRequest() {
  static const TFileRequest request{QString(), "Файлы программы|*.prb|Все файлы|*.*", "prb"};
  return request;
}

const TFileRequest& ConfigurationSaveRequest() {
  static const TFileRequest request{"Сохранить настройки", "Файлы программы|*.prb|Все файлы|*.*",
                                    "prb"};
  return request;
}

}  // namespace

void TMainForm::WireFileCommands() {
  connect(ToolButton(1), &QToolButton::clicked, this, &TMainForm::NewCommand);
  connect(ToolButton(2), &QToolButton::clicked, this, &TMainForm::OpenCommand);
  connect(ToolButton(3), &QToolButton::clicked, this, &TMainForm::SaveCommand);
  connect(MenuItem(2), &QAction::triggered, this, &TMainForm::NewCommand);
  connect(MenuItem(3), &QAction::triggered, this, &TMainForm::OpenCommand);
  connect(MenuItem(4), &QAction::triggered, this, &TMainForm::SaveCommand);
}

// The job thread writes the data image while a job runs. A file command waits for the job under
// way as a job start does, with the window answering; the job's end then starts no poll, so that
// a polled page cannot keep the engine busy for ever, and *waited tells the command to start the
// polling again once it is done. False when the window closes meanwhile.
bool TMainForm::WaitForIdleEngine(bool* waited) {
  *waited = false;
  while (mip_->Busy) {
    if (closing_ || mip_->Stopping()) return false;
    rereadSkip_ = true;
    *waited = true;
    if (!WaitWhileBusy()) return false;
  }
  return !closing_;
}

// Address and port settings are no part of the data image's reset and stay as they are.
void TMainForm::NewCommand() {
  bool waited = false;
  if (!WaitForIdleEngine(&waited)) return;
  mip_->Reset();
  pages_->Render();
  if (waited) AutomaticReread();
}

void TMainForm::OpenCommand() {
  const QString fileName = dialogs_->OpenFileName(this, ConfigurationOpenRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!WaitForIdleEngine(&waited)) return;
  // A refused file leaves the data image as it was; the page shows it again all the same.
  if (!mip_->LoadConfiguration(QFile::encodeName(fileName).toStdString()))
    dialogs_->Error(this, QString(), "Не могу открыть файл!");
  pages_->Render();
  if (waited) AutomaticReread();
}

void TMainForm::SaveCommand() {
  pages_->CommitEdits();
  if (pages_->PageControl()->CurrentIndex() == ArchivePageIndex)
    SaveArchiveCommand();
  else
    SaveConfigurationCommand();
}

void TMainForm::SaveConfigurationCommand() {
  const QString fileName = dialogs_->SaveFileName(this, ConfigurationSaveRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!WaitForIdleEngine(&waited)) return;
  if (!mip_->SaveConfiguration(QFile::encodeName(fileName).toStdString()))
    dialogs_->Error(this, QString(), "Не могу сохранить в файл!");
  if (waited) AutomaticReread();
}
