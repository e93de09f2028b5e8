// A configuration cleared, loaded from a file and saved to one.
#include <QAction>
#include <QFile>
#include <QToolButton>

#include "files/ConfigFile.h"
#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "shell/files/FileController.h"
#include "shell/window/Dialogs.h"
#include "shell/window/UnsavedEdits.h"
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

}  // namespace

TFileController::TFileController(TMainForm& form, TMIP& mip, TPageViews& pages,
                                 TDeviceController& devices, TUnsavedEdits& unsaved)
    : QObject(&form), form_(form), mip_(mip), pages_(pages), devices_(devices), unsaved_(unsaved) {
  setObjectName("FileController");
}

void TFileController::Wire() {
  connect(form_.ToolButton(1), &QToolButton::clicked, this, &TFileController::NewCommand);
  connect(form_.ToolButton(2), &QToolButton::clicked, this, &TFileController::OpenCommand);
  connect(form_.ToolButton(3), &QToolButton::clicked, this, &TFileController::SaveCommand);
  connect(form_.MenuItem(2), &QAction::triggered, this, &TFileController::NewCommand);
  connect(form_.MenuItem(3), &QAction::triggered, this, &TFileController::OpenCommand);
  connect(form_.MenuItem(4), &QAction::triggered, this, &TFileController::SaveCommand);
}

bool TFileController::HasUnsavedEdits() {
  pages_.CommitEdits();
  unsaved_.Note(pages_.PageJobCode(), pages_.Modified);
  return unsaved_.Any();
}

// True when there is nothing to lose or the user agrees to lose it.
bool TFileController::MayDiscardEdits() {
  return !HasUnsavedEdits() ||
         form_.Dialogs().Ask(&form_, "Несохраненные изменения",
                             "Изменения не записаны в прибор и не сохранены в файл. Отбросить их?");
}

void TFileController::ConfigurationReplaced(const QString& fileName) {
  unsaved_.Clear();
  pages_.Modified = false;
  form_.ShowConfigurationFile(fileName);
}

// Address and port settings are no part of the data image's reset and stay as they are.
void TFileController::NewCommand() {
  if (!MayDiscardEdits()) return;
  bool waited = false;
  if (!devices_.WaitForIdleEngine(&waited)) return;
  mip_.Reset();
  pages_.Render();
  ConfigurationReplaced(QString());
  if (waited) devices_.AutomaticReread();
}

void TFileController::OpenCommand() {
  if (!MayDiscardEdits()) return;
  const QString fileName = form_.Dialogs().OpenFileName(&form_, ConfigurationOpenRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!devices_.WaitForIdleEngine(&waited)) return;
  // A refused file leaves the data image as it was; the page shows it again all the same.
  const bool loaded = LoadConfiguration(mip_, QFile::encodeName(fileName).toStdString());
  if (!loaded) form_.Dialogs().Error(&form_, QString(), "Не могу открыть файл!");
  pages_.Render();
  if (loaded) ConfigurationReplaced(fileName);
  if (waited) devices_.AutomaticReread();
}

void TFileController::SaveCommand() {
  pages_.CommitEdits();
  if (pages_.PageJobCode() == JobReadArchive)
    SaveArchiveCommand();
  else
    SaveConfigurationCommand();
}

void TFileController::SaveConfigurationCommand() {
  const QString fileName = form_.Dialogs().SaveFileName(&form_, ConfigurationSaveRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!devices_.WaitForIdleEngine(&waited)) return;
  unsaved_.Note(pages_.PageJobCode(), pages_.Modified);
  if (SaveConfiguration(mip_, QFile::encodeName(fileName).toStdString())) {
    unsaved_.Clear();
    form_.ShowConfigurationFile(fileName);
  } else {
    form_.Dialogs().Error(&form_, QString(), "Не могу сохранить в файл!");
  }
  if (waited) devices_.AutomaticReread();
}
