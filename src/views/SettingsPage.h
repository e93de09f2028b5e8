// The device settings page (TabSheet14): clock, password, interface address and speed, the
// measurement and archive periods, the instrument's state and identity. The clock and the
// instrument's address are written by buttons of their own; the other settings wait for the
// page's write job and raise the modified flag.
#pragma once

#include <QString>

#include <functional>

#include "views/Page.h"

class QComboBox;
class QDateEdit;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QToolButton;
class TCSpinEdit;

class TSettingsPage : public TPage {
 public:
  TSettingsPage(TPageContext& context, QObject* parent, const TGroup& group);

  void Render() override;
  // The instrument's state and current archive record (Label7, Image1, Label9).
  void ShowDeviceState();
  // Takes over a period still being typed in Edit1, as leaving it would.
  void CommitEdits();

  // A button wants a write job now: the clock from Button1 and Button2, the instrument's address
  // from SpeedButton1. The data image already holds what the job writes.
  std::function<void(uint8_t jobCode)> JobRequested;

  QDateEdit* DateTimePicker1;
  QTimeEdit* DateTimePicker2;
  QPushButton* Button1;
  QPushButton* Button2;
  TCSpinEdit* CSpinEdit1;
  TCSpinEdit* CSpinEdit2;
  TCSpinEdit* CSpinEdit3;
  QToolButton* SpeedButton1;
  QComboBox* ComboBox2;
  QComboBox* ComboBox3;
  QLineEdit* Edit1;
  QLabel* Image1;
  QLabel* Label(int n) const { return labels_[n]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The data image's group of the settings the page shows and edits.
  static constexpr int SettingsGroup = OpReadSettings;

  QLabel* MakeLabel(int n, const QString& text, QWidget* parent);
  QGroupBox* BuildClock();
  QGroupBox* BuildPasswords();
  QGroupBox* BuildInterface();
  QGroupBox* BuildPeriods();
  QGroupBox* BuildState();
  QGroupBox* BuildConfiguration();

  void WireEdits();
  void ClockEdited();
  void PasswordEdited(int value);
  void AddressEdited(int value);
  void ArchivePeriodEdited(int value);
  void MeasurePeriodEdited();
  void ShowEditedSpin(QSpinBox* spin, const void* field, size_t size);
  void Edit1Event(const QEvent* event);

  bool ShowSpin(QSpinBox* spin, int value, bool shown);
  void RenderIdentity(bool known);
  QString ArchivePeriodText() const;

  QLabel* labels_[26] = {};
  // The user typed an address while the instrument's was not known; redrawing keeps it.
  bool addressTyped_ = false;
};
