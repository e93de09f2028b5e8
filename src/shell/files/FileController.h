// The commands of the "Файл" menu: a configuration cleared, loaded from a file and saved to one,
// and on the archive page the archive exported as text. They work on the data image only;
// nothing reaches the instrument until the user writes it.
#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>

class TDeviceController;
class TMainForm;
class TMIP;
class TPageViews;
class TUnsavedEdits;

class TFileController : public QObject {
  Q_OBJECT

 public:
  TFileController(TMainForm& form, TMIP& mip, TPageViews& pages, TDeviceController& devices,
                  TUnsavedEdits& unsaved);

  // Binds the window's New, Open and Save actions to the commands.
  void Wire();

  void NewCommand();
  void OpenCommand();
  // On the archive page Save exports the archive as text instead.
  void SaveCommand();
  // Edits neither written nor saved may go: there are none, or the user says so.
  bool MayDiscardEdits();

 private:
  void SaveConfigurationCommand();
  void SaveArchiveCommand();
  bool HasUnsavedEdits();
  void ConfigurationReplaced(const QString& fileName);
  bool RunArchiveExport(const std::function<void()>& work, size_t total,
                        const std::function<size_t()>& done);

  TMainForm& form_;
  TMIP& mip_;
  TPageViews& pages_;
  TDeviceController& devices_;
  TUnsavedEdits& unsaved_;
  bool exporting_ = false;  // an archive export is being written
};
