// "Поиск скорости…": the address in the address box, another or a range probed at each of the 15
// rates, fastest first, with the progress, Stop and Escape of the search; every rate, address and
// model that answered listed, also when the search was stopped; and the rate found taken into the
// port settings and the settings file.
#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class TJobs;
class TMIP;
class TWindowSeam;

class TRateSearchDialog : public QDialog {
  Q_OBJECT

 public:
  TRateSearchDialog(TWindowSeam& seam, TMIP& mip, TJobs& jobs, QWidget* parent);

  // Shows the dialog with the address the next job goes to.
  void Present();
  void Search();
  void Stop();
  // The rate of the find selected into the port settings and the settings file.
  void TakeRate();
  bool Running() const { return running_ != 0; }

  QRadioButton* OneAddress;
  QSpinBox* AddressBox;
  QRadioButton* AddressRange;
  QSpinBox* FirstBox;
  QSpinBox* LastBox;
  QCheckBox* RecheckBox;  // the silent addresses probed again at every rate with 150 ms
  QPushButton* SearchButton;
  QPushButton* StopButton;
  QProgressBar* Progress;
  QTableWidget* FindTable;  // rate, address, model
  QLabel* Summary;
  QPushButton* TakeRateButton;
  QPushButton* CloseButton;

 protected:
  void reject() override;

 private:
  bool StartPass(bool again);
  void PassEnded(uint8_t job, int result);
  void ShowFinds();
  void OfferRate();
  void TakeRateIndex(int index);
  void PresentButtons();

  TWindowSeam& seam_;
  TMIP& mip_;
  TJobs& jobs_;
  QTimer* progressTimer_;
  int running_ = 0;  // 1: the first pass, 2: the second look at the silent addresses
  bool stopped_ = false;
};
