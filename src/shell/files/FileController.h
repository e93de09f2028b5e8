// The file feature: the commands of the "Файл" menu, a configuration cleared, loaded from a file
// and saved to one, and on the archive page the archive exported as text. They work on the data
// image only; nothing reaches the instrument until the user writes it.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class TArchiveExport;
class TJobs;
class TMIP;
class TPageViews;
class TUnsavedEdits;
class TWindowSeam;

class TFileController : public QObject {
  Q_OBJECT

 public:
  TFileController(TWindowSeam& seam, TMIP& mip, TPageViews& pages, TJobs& jobs,
                  TUnsavedEdits& unsaved, QObject* parent = nullptr);
  ~TFileController() override;

  // Binds the window's New, Open and Save items and buttons to the commands.
  void Wire();

  void NewCommand();
  void OpenCommand();
  // On the archive page Save exports the archive as text instead.
  void SaveCommand();

 private:
  void SaveConfigurationCommand();
  void SaveArchiveCommand();
  bool MayDiscardEdits();
  void ConfigurationReplaced(const QString& fileName);

  TWindowSeam& seam_;
  TMIP& mip_;
  TPageViews& pages_;
  TJobs& jobs_;
  TUnsavedEdits& unsaved_;
  std::unique_ptr<TArchiveExport> archiveExport_;
};
