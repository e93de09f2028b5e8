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

#include "views/PageViews.h"
#include "views/TextForms.h"

void TPageViews::WireSettingsEdits() {
  connect(DateTimePicker1, &QDateEdit::dateChanged, this, &TPageViews::ClockEdited);
  connect(DateTimePicker2, &QTimeEdit::timeChanged, this, &TPageViews::ClockEdited);
  connect(Button1, &QPushButton::clicked, this, [this] { emit JobRequested(OpWriteClock); });
  // The computer's time at the click, not what the pickers show; they keep their text.
  connect(Button2, &QPushButton::clicked, this, [this] {
    image_.DeviceClock = NowLocal();
    emit JobRequested(OpWriteClock);
  });
  connect(CSpinEdit2, &QSpinBox::valueChanged, this, &TPageViews::PasswordEdited);
  connect(CSpinEdit3, &QSpinBox::valueChanged, this, &TPageViews::AddressEdited);
  // The address written is the one shown, also when a stored 0 never changed the shown text.
  // An address that was not read and not typed is not sent: the instrument would move to 1.
  connect(SpeedButton1, &QToolButton::clicked, this, [this] {
    if (CSpinEdit3->property("notRead").toBool()) return;
    image_.InterfaceAddress = static_cast<uint8_t>(CSpinEdit3->value());
    emit JobRequested(OpChangeAddress);
  });
  connect(ComboBox3, &QComboBox::activated, this, [this](int index) {
    image_.Config.InterfaceSpeed = static_cast<uint8_t>(index);
    image_.MarkEdited(&image_.Config.InterfaceSpeed, 1);
    ShowNotRead(ComboBox3, false);
    MarkModified();
  });
  connect(CSpinEdit1, &QSpinBox::valueChanged, this, &TPageViews::ArchivePeriodEdited);
  // Typing the value a field shows as not read (its minimum) changes no value, but is an edit.
  const auto takeTypedMinimum = [this](TCSpinEdit* spin, void (TPageViews::*edited)(int)) {
    connect(spin, &TCSpinEdit::EntryTyped, this, [this, spin, edited](int value) {
      if (spin->property("notRead").toBool()) (this->*edited)(value);
    });
  };
  takeTypedMinimum(CSpinEdit1, &TPageViews::ArchivePeriodEdited);
  takeTypedMinimum(CSpinEdit2, &TPageViews::PasswordEdited);
  takeTypedMinimum(CSpinEdit3, &TPageViews::AddressEdited);
  Edit1->installEventFilter(this);
}

// The clock is written by Button1 alone, so changing it is no edit of the page.
void TPageViews::ClockEdited() {
  const QDateTime clock(DateTimePicker1->date(), DateTimePicker2->time());
  image_.DeviceClock = TextForms::FromQDateTime(clock);
}

void TPageViews::PasswordEdited(int value) {
  image_.Config.Password = static_cast<uint16_t>(value);
  if (!rendering_)
    ShowEditedSpin(CSpinEdit2, &image_.Config.Password, sizeof image_.Config.Password);
  MarkModified();
}

// A spin edit that showed nothing because its value was not read shows the user's value now.
void TPageViews::ShowEditedSpin(QSpinBox* spin, const void* field, size_t size) {
  image_.MarkEdited(field, size);
  spin->setSpecialValueText(QString());
  ShowNotRead(spin, false);
}

void TPageViews::AddressEdited(int value) {
  image_.InterfaceAddress = static_cast<uint8_t>(value);
  if (!rendering_) {
    addressTyped_ = true;
    CSpinEdit3->setSpecialValueText(QString());
    ShowNotRead(CSpinEdit3, false);
  }
  MarkModified();
}

void TPageViews::ArchivePeriodEdited(int value) {
  image_.Config.ArchivePeriod = static_cast<uint16_t>(value);
  if (!rendering_)
    ShowEditedSpin(CSpinEdit1, &image_.Config.ArchivePeriod, sizeof image_.Config.ArchivePeriod);
  labels_[25]->setText(ArchivePeriodText());
  MarkModified();
}

// A text that is no number leaves the period as it was and shows it again. A period that was not
// read and that the user has not typed stays not read.
void TPageViews::MeasurePeriodEdited() {
  TLeFloat& stored = image_.Config.MeasurePeriod;
  const bool shown = image_.Shows(27, &stored, sizeof stored);
  if (!shown && !Edit1->isModified()) return;
  float period = 0;
  if (TextForms::ReadNumber(Edit1->text(), &period)) {
    stored = period;
    image_.MarkEdited(&stored, sizeof stored);
    ShowNotRead(Edit1, false);
  } else {
    RefuseNumber(Edit1->text());
  }
  Edit1->setText(image_.Shows(27, &stored, sizeof stored) ? TextForms::FixedText(stored.Get(), 3)
                                                          : QString());
  labels_[25]->setText(ArchivePeriodText());
  MarkModified();
}

// Leaving Edit1 or pressing Enter there takes the period over. A popup or a switch to another
// window is no leaving: the user comes back to the same text.
void TPageViews::Edit1Event(const QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
      MeasurePeriodEdited();
  } else if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) MeasurePeriodEdited();
  }
}
