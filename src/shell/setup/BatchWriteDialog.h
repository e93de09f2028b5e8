// "Записать во все найденные…": the configuration of the window or of a file written to every
// instrument the last search found, one after the other, each read back and compared. The write
// runs on an instrument object of its own with the window's port settings, while the window
// gives its port up; the window's data image stays as it was, unless a file was written into the
// window's own instrument, which the window then reads again.
#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "instrument/BatchWrite.h"
#include "instrument/DataImage.h"
#include "instrument/JobRunner.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class TJobs;
class TJournalWriter;
class TMIP;
class TWindowSeam;

class TBatchWriteDialog : public QDialog {
  Q_OBJECT

 public:
  enum TColumn { AddressColumn, ModelColumn, StateColumn, MessageColumn, ColumnCount };

  // mayDiscardWindowEdits asks about the window's edits neither written nor saved.
  TBatchWriteDialog(TWindowSeam& seam, TMIP& windowMip, TJobs& jobs,
                    std::function<bool()> mayDiscardWindowEdits);
  // Stops after the instrument under way and waits for it; the window's port is left closed.
  ~TBatchWriteDialog() override;

  bool Running() const { return running_; }

  QRadioButton* CurrentImageSource;
  QRadioButton* FileSource;
  QLineEdit* FileName;
  QPushButton* ChooseFileButton;
  QTableWidget* Table;
  QLabel* Summary;
  QPushButton* StartButton;
  QPushButton* BatchStopButton;
  QPushButton* CloseButton;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void FillTable();
  void ChooseFile();
  void Start();
  void Stop();
  bool PreparePlan();
  bool ConfirmOtherModels(uint16_t reference);
  bool MayRereadWindow();
  bool TakeOverPort();
  void GiveBackPort();
  void ShowOutcome(int row, const TBatchOutcome& outcome);
  void Finished(bool stopped);
  void PresentButtons();
  void RunAll();                 // on the worker thread
  TResult RunJob(uint8_t code);  // on the worker thread

  TWindowSeam& seam_;
  TMIP& windowMip_;  // the window's instrument object, whose port is given up meanwhile
  TJobs& jobs_;
  std::function<bool()> mayDiscardWindowEdits_;
  uint8_t windowAddress_ = 0;  // the window's own instrument, as its last job addressed it
  bool windowInstrumentWritten_ = false;
  std::vector<TFoundDevice> targets_;
  TBatchPlan plan_;
  TConfigNeeds needs_;
  // Before mip_, whose job thread tells the runner of its jobs' ends until it has gone.
  TBlockingJobWait jobWait_;
  TJobRunner runner_{jobWait_};
  // Before mip_: its job thread records the writes through it until it has gone.
  std::unique_ptr<TJournalWriter> journalWriter_;
  std::unique_ptr<TMIP> mip_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool running_ = false;
  bool portWasOpen_ = false;
  bool pollingWaited_ = false;
  int written_ = 0;
  int failed_ = 0;
  int skipped_ = 0;
};
