// Edits of the device settings page. The clock and the instrument's address are written by
// buttons of their own, through the window's job start; the other settings wait for the page's
// write job and raise the modified flag.
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>

#include "views/SettingsPage.h"
#include "views/SpinEdit.h"
#include "views/TextForms.h"

void TSettingsPage::WireEdits() {
  connect(DateTimePicker1, &QDateEdit::dateChanged, this, &TSettingsPage::ClockEdited);
  connect(DateTimePicker2, &QTimeEdit::timeChanged, this, &TSettingsPage::ClockEdited);
  connect(Button1, &QPushButton::clicked, this, [this] { JobRequested(OpWriteClock); });
  // The computer's time at the click, not what the pickers show; they keep their text.
  connect(Button2, &QPushButton::clicked, this, [this] {
    Image().DeviceClock = NowLocal();
    JobRequested(OpWriteClock);
  });
  connect(CSpinEdit2, &QSpinBox::valueChanged, this, &TSettingsPage::PasswordEdited);
  connect(CSpinEdit3, &QSpinBox::valueChanged, this, &TSettingsPage::AddressEdited);
  // The address written is the one shown, also when a stored 0 never changed the shown text.
  // An address that was not read and not typed is not sent: the instrument would move to 1.
  connect(SpeedButton1, &QToolButton::clicked, this, [this] {
    if (CSpinEdit3->property("notRead").toBool()) return;
    Image().InterfaceAddress = static_cast<uint8_t>(CSpinEdit3->value());
    JobRequested(OpChangeAddress);
  });
  connect(ComboBox3, &QComboBox::activated, this, [this](int index) {
    Image().Config.InterfaceSpeed = static_cast<uint8_t>(index);
    Image().MarkEdited(&Image().Config.InterfaceSpeed, 1);
    ShowNotRead(ComboBox3, false);
    context_.MarkModified();
  });
  connect(CSpinEdit1, &QSpinBox::valueChanged, this, &TSettingsPage::ArchivePeriodEdited);
  // Typing the value a field shows as not read (its minimum) changes no value, but is an edit.
  const auto takeTypedMinimum = [this](TCSpinEdit* spin, void (TSettingsPage::*edited)(int)) {
    connect(spin, &TCSpinEdit::EntryTyped, this, [this, spin, edited](int value) {
      if (spin->property("notRead").toBool()) (this->*edited)(value);
    });
  };
  takeTypedMinimum(CSpinEdit1, &TSettingsPage::ArchivePeriodEdited);
  takeTypedMinimum(CSpinEdit2, &TSettingsPage::PasswordEdited);
  takeTypedMinimum(CSpinEdit3, &TSettingsPage::AddressEdited);
  Edit1->installEventFilter(this);
}

// The clock is written by Button1 alone, so changing it is no edit of the page.
void TSettingsPage::ClockEdited() {
  const QDateTime clock(DateTimePicker1->date(), DateTimePicker2->time());
  Image().DeviceClock = TextForms::FromQDateTime(clock);
}

void TSettingsPage::PasswordEdited(int value) {
  TConfigBlock& c = Image().Config;
  c.Password = static_cast<uint16_t>(value);
  if (!context_.Rendering) ShowEditedSpin(CSpinEdit2, &c.Password, sizeof c.Password);
  context_.MarkModified();
}

// A spin edit that showed nothing because its value was not read shows the user's value now.
void TSettingsPage::ShowEditedSpin(QSpinBox* spin, const void* field, size_t size) {
  Image().MarkEdited(field, size);
  spin->setSpecialValueText(QString());
  ShowNotRead(spin, false);
}

void TSettingsPage::AddressEdited(int value) {
  Image().InterfaceAddress = static_cast<uint8_t>(value);
  if (!context_.Rendering) {
    addressTyped_ = true;
    CSpinEdit3->setSpecialValueText(QString());
    ShowNotRead(CSpinEdit3, false);
  }
  context_.MarkModified();
}

void TSettingsPage::ArchivePeriodEdited(int value) {
  TConfigBlock& c = Image().Config;
  c.ArchivePeriod = static_cast<uint16_t>(value);
  if (!context_.Rendering) ShowEditedSpin(CSpinEdit1, &c.ArchivePeriod, sizeof c.ArchivePeriod);
  labels_[25]->setText(ArchivePeriodText());
  context_.MarkModified();
}

// A text that is no number leaves the period as it was and shows it again. A period that was not
// read and that the user has not typed stays not read.
void TSettingsPage::MeasurePeriodEdited() {
  TLeFloat& stored = Image().Config.MeasurePeriod;
  const bool shown = Image().Shows(SettingsGroup, &stored, sizeof stored);
  if (!shown && !Edit1->isModified()) return;
  float period = 0;
  if (TextForms::ReadNumber(Edit1->text(), &period)) {
    stored = period;
    Image().MarkEdited(&stored, sizeof stored);
    ShowNotRead(Edit1, false);
  } else {
    context_.RefuseNumber(Edit1->text());
  }
  Edit1->setText(Image().Shows(SettingsGroup, &stored, sizeof stored)
                     ? TextForms::FixedText(stored.Get(), 3)
                     : QString());
  labels_[25]->setText(ArchivePeriodText());
  context_.MarkModified();
}

void TSettingsPage::CommitEdits() {
  if (Edit1->isModified()) MeasurePeriodEdited();
}

// Leaving Edit1 or pressing Enter there takes the period over. A popup or a switch to another
// window is no leaving: the user comes back to the same text.
void TSettingsPage::Edit1Event(const QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
      MeasurePeriodEdited();
  } else if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) MeasurePeriodEdited();
  }
}

bool TSettingsPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1) Edit1Event(event);
  return TPage::eventFilter(watched, event);
}
