// The commands of the "Файл" menu: a configuration cleared, loaded from a file and saved to one.
// They work on the data image only; nothing reaches the instrument until the user writes it.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>

#include "shell/Dialogs.h"
#include "shell/Mainunit.h"
#include "views/PageViews.h"

namespace {

constexpr int ArchivePageIndex = 15;
constexpr uint8_t WriteJobBit = 128;

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

// Edits of the current page count once they are committed; a page left with its edits unwritten
// keeps them in the list of groups not yet written or saved.
void TMainForm::NoteUnsavedEdits(uint8_t pageJobCode) {
  if (pages_->Modified) unsavedGroups_.insert(pageJobCode);
}

// What a job's success makes safe: a read replaces the group's edits with the instrument's
// values, a write puts them into the instrument.
void TMainForm::ForgetSavedEdits(uint8_t jobCode) {
  if (jobCode == JobReadAll || jobCode == JobWriteAll)
    unsavedGroups_.clear();
  else
    unsavedGroups_.remove(static_cast<uint8_t>(jobCode & ~WriteJobBit));
}

bool TMainForm::HasUnsavedEdits() {
  pages_->CommitEdits();
  NoteUnsavedEdits(pages_->PageJobCode());
  return !unsavedGroups_.isEmpty();
}

// True when there is nothing to lose or the user agrees to lose it.
bool TMainForm::MayDiscardEdits() {
  return !HasUnsavedEdits() ||
         dialogs_->Ask(this, "Несохраненные изменения",
                       "Изменения не записаны в прибор и не сохранены в файл. Отбросить их?");
}

void TMainForm::ShowConfigurationFile(const QString& fileName) {
  setWindowFilePath(fileName);
  setWindowTitle(fileName.isEmpty() ? BaseTitle
                                    : BaseTitle + " - " + QFileInfo(fileName).fileName());
}

void TMainForm::ConfigurationReplaced(const QString& fileName) {
  unsavedGroups_.clear();
  pages_->Modified = false;
  ShowConfigurationFile(fileName);
}

// Address and port settings are no part of the data image's reset and stay as they are.
void TMainForm::NewCommand() {
  if (!MayDiscardEdits()) return;
  bool waited = false;
  if (!WaitForIdleEngine(&waited)) return;
  mip_->Reset();
  pages_->Render();
  ConfigurationReplaced(QString());
  if (waited) AutomaticReread();
}

void TMainForm::OpenCommand() {
  if (!MayDiscardEdits()) return;
  const QString fileName = dialogs_->OpenFileName(this, ConfigurationOpenRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!WaitForIdleEngine(&waited)) return;
  // A refused file leaves the data image as it was; the page shows it again all the same.
  const bool loaded = mip_->LoadConfiguration(QFile::encodeName(fileName).toStdString());
  if (!loaded) dialogs_->Error(this, QString(), "Не могу открыть файл!");
  pages_->Render();
  if (loaded) ConfigurationReplaced(fileName);
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
  NoteUnsavedEdits(pages_->PageJobCode());
  if (mip_->SaveConfiguration(QFile::encodeName(fileName).toStdString())) {
    unsavedGroups_.clear();
    ShowConfigurationFile(fileName);
  } else {
    dialogs_->Error(this, QString(), "Не могу сохранить в файл!");
  }
  if (waited) AutomaticReread();
}
