#include "shell/files/FileController.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>

#include "files/ConfigFile.h"
#include "shell/files/ArchiveExport.h"
#include "shell/settings/CorePath.h"
#include "shell/window/Dialogs.h"
#include "shell/window/Jobs.h"
#include "shell/window/UnsavedEdits.h"
#include "shell/window/WindowSeam.h"
#include "views/PageViews.h"

namespace {

const TFileRequest& ConfigurationOpenRequest() {
  static const TFileRequest request{QString(), "Файлы программы|*.prb|Все файлы|*.*", "prb"};
  return request;
}

const TFileRequest& ConfigurationSaveRequest() {
  static const TFileRequest request{"Сохранить настройки", "Файлы программы|*.prb|Все файлы|*.*",
                                    "prb"};
  return request;
}

// A name typed without an extension becomes a .txt file: with the configuration's .prb the
// export could silently replace a configuration file of the same name.
const TFileRequest& ArchiveSaveRequest() {
  static const TFileRequest request{
      "Сохранить Архив", "Текстовые файлы|*.txt|Все файлы|*.*|Таблицы CSV (UTF-8)|*.csv", "txt"};
  return request;
}

}  // namespace

TFileController::TFileController(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobs& jobs,
                                 TUnsavedEdits& unsaved, QObject* parent)
    : QObject(parent),
      seam_(seam),
      mip_(mip),
      pages_(pages),
      jobs_(jobs),
      unsaved_(unsaved),
      archiveExport_(std::make_unique<TArchiveExport>()) {
  setObjectName("FileController");
}

TFileController::~TFileController() = default;

void TFileController::Wire() {
  connect(seam_.Button("ToolButton1"), &QAbstractButton::clicked, this,
          &TFileController::NewCommand);
  connect(seam_.Button("ToolButton2"), &QAbstractButton::clicked, this,
          &TFileController::OpenCommand);
  connect(seam_.Button("ToolButton3"), &QAbstractButton::clicked, this,
          &TFileController::SaveCommand);
  connect(seam_.Item("N2"), &QAction::triggered, this, &TFileController::NewCommand);
  connect(seam_.Item("N3"), &QAction::triggered, this, &TFileController::OpenCommand);
  connect(seam_.Item("N4"), &QAction::triggered, this, &TFileController::SaveCommand);
}

bool TFileController::MayDiscardEdits() {
  return unsaved_.MayDiscard(pages_, seam_);
}

void TFileController::ConfigurationReplaced(const QString& fileName) {
  unsaved_.Clear();
  pages_.Modified = false;
  seam_.ShowConfigurationFile(fileName);
}

// Address and port settings are no part of the data image's reset and stay as they are.
void TFileController::NewCommand() {
  if (!MayDiscardEdits()) return;
  bool waited = false;
  if (!jobs_.WaitForIdleEngine(&waited)) return;
  mip_.Reset();
  pages_.Render();
  ConfigurationReplaced(QString());
  // The reset changed the device settings the page shows: leaving it offers to write them.
  pages_.Modified = pages_.PageJobCode() == JobReadSettingsPage;
  if (waited) jobs_.AutomaticReread();
}

void TFileController::OpenCommand() {
  if (!MayDiscardEdits()) return;
  const QString fileName = seam_.Dialogs().OpenFileName(seam_.Window(), ConfigurationOpenRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!jobs_.WaitForIdleEngine(&waited)) return;
  // A refused file leaves the data image as it was; the page shows it again all the same.
  const bool loaded = LoadConfiguration(mip_, CorePath(fileName));
  if (!loaded) seam_.Dialogs().Error(seam_.Window(), QString(), "Не могу открыть файл!");
  pages_.Render();
  if (loaded) ConfigurationReplaced(fileName);
  if (waited) jobs_.AutomaticReread();
}

void TFileController::SaveCommand() {
  pages_.CommitEdits();
  if (pages_.PageJobCode() == JobReadArchive)
    SaveArchiveCommand();
  else
    SaveConfigurationCommand();
}

void TFileController::SaveConfigurationCommand() {
  const QString fileName = seam_.Dialogs().SaveFileName(seam_.Window(), ConfigurationSaveRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!jobs_.WaitForIdleEngine(&waited)) return;
  unsaved_.Note(pages_.PageJobCode(), pages_.Modified);
  if (SaveConfiguration(mip_, CorePath(fileName))) {
    unsaved_.Clear();
    seam_.ShowConfigurationFile(fileName);
  } else {
    seam_.Dialogs().Error(seam_.Window(), QString(), "Не могу сохранить в файл!");
  }
  if (waited) jobs_.AutomaticReread();
}

// The archive list is filled by the archive read on the job thread: the export waits for a
// running job before it takes a copy of the list. The grid is left as it is.
void TFileController::SaveArchiveCommand() {
  const QString fileName = seam_.Dialogs().SaveFileName(seam_.Window(), ArchiveSaveRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!jobs_.WaitForIdleEngine(&waited)) return;
  if (!archiveExport_->Write(fileName, mip_, seam_.Progress()))
    seam_.Dialogs().Error(seam_.Window(), QString(), "Не могу сохранить в файл!");
  if (waited) jobs_.AutomaticReread();
}
