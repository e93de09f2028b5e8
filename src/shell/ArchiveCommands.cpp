// The archive page's export: the records of the last archive read as a text file, with the
// numbers and date-times written as the archive page shows them.
#include <QFile>
#include <QLocale>

#include "files/ArchiveText.h"
#include "shell/Dialogs.h"
#include "shell/Mainunit.h"
#include "views/TextForms.h"

namespace {

// A name typed without an extension becomes a .txt file: with the configuration's .prb the
// export could silently replace a configuration file of the same name.
const TFileRequest& ArchiveSaveRequest() {
  static const TFileRequest request{"Сохранить Архив", "Текстовые файлы|*.txt|Все файлы|*.*",
                                    "txt"};
  return request;
}

// The regional decimal separator and the date-time text of the archive page.
TArchiveTextForm WindowTextForm() {
  TArchiveTextForm form;
  form.DecimalSeparator = QLocale().decimalPoint().toStdString();
  form.DateTimeText = [](TDateTime value) { return TextForms::DateTimeText(value).toStdString(); };
  return form;
}

}  // namespace

// The archive list is filled by the archive read on the job thread: the export waits for a
// running job before it reads the list. The grid is left as it is.
void TMainForm::SaveArchiveCommand() {
  const QString fileName = dialogs_->SaveFileName(this, ArchiveSaveRequest());
  if (fileName.isEmpty()) return;
  bool waited = false;
  if (!WaitForIdleEngine(&waited)) return;
  if (!WriteArchiveText(QFile::encodeName(fileName).toStdString(), mip_->MeasArchive,
                        mip_->ChannelCount, WindowTextForm()))
    dialogs_->Error(this, QString(), "Не могу сохранить в файл!");
  if (waited) AutomaticReread();
}
