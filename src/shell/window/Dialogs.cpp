#include "shell/window/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>

namespace {

QString CaptionOrTitle(const QString& caption) {
  return caption.isEmpty() ? QApplication::applicationName() : caption;
}

}  // namespace

bool TQtDialogs::Ask(QWidget* owner, const QString& caption, const QString& text,
                     const QString& informative) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.setInformativeText(informative);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

bool TQtDialogs::Confirm(QWidget* owner, const QString& caption, const QString& text,
                         const QString& informative, const QString& details,
                         const QString& confirmButton) {
  QMessageBox box(QMessageBox::Warning, CaptionOrTitle(caption), text, QMessageBox::NoButton,
                  owner);
  box.setInformativeText(informative);
  box.setDetailedText(details);
  QPushButton* confirm = box.addButton(confirmButton, QMessageBox::AcceptRole);
  box.setDefaultButton(box.addButton("Отмена", QMessageBox::RejectRole));
  box.exec();
  return box.clickedButton() == confirm;
}

void TQtDialogs::Error(QWidget* owner, const QString& caption, const QString& text,
                       const QString& informative) {
  QMessageBox box(QMessageBox::Critical, CaptionOrTitle(caption), text, QMessageBox::Ok, owner);
  box.setInformativeText(informative);
  box.exec();
}

void TQtDialogs::Message(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, CaptionOrTitle(caption), text, QMessageBox::Ok, owner);
  box.exec();
}

void TQtDialogs::About(QWidget* owner, const QString& title, const QString& text) {
  QMessageBox::about(owner, title, text);
}

QString TQtDialogs::OpenFileName(QWidget* owner, const TFileRequest& request) {
  QFileDialog dialog(owner, request.Title, QString(), QtFileFilter(request.Filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.DefaultExtension);
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString TQtDialogs::SaveFileName(QWidget* owner, const TFileRequest& request) {
  QFileDialog dialog(owner, request.Title, QString(), QtFileFilter(request.Filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(request.DefaultExtension);
  // A name typed without an extension takes that of the chosen file type ("*.*": the default).
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    static const QRegularExpression single("\\(\\*\\.(\\w+)\\)$");
    const QRegularExpressionMatch match = single.match(filter);
    dialog.setDefaultSuffix(match.hasMatch() ? match.captured(1) : request.DefaultExtension);
  });
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString QtFileFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    filters << QString("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
  return filters.join(";;");
}

QString WithDefaultExtension(const QString& fileName, const QString& extension) {
  if (fileName.isEmpty() || extension.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
    return fileName;
  return fileName + "." + extension;
}
