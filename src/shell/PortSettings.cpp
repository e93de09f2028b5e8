#include "shell/PortSettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "shell/Settings.h"

TPortSettings::TPortSettings(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ComboBox1(new QComboBox(this)),
      ComboBox2(new QComboBox(this)),
      CSpinEdit1(new QSpinBox(this)),
      CSpinEditPoll(new QSpinBox(this)),
      OKBtn(new QPushButton("OK", this)),
      CancelBtn(new QPushButton("Cancel", this)) {
  setObjectName("PortSettings");
  setWindowTitle("Настройки порта");
  ComboBox1->setObjectName("ComboBox1");
  for (int i = 1; i <= 20; ++i) ComboBox1->addItem(QString("Com%1").arg(i));
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->addItems({"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                       "38400", "56000", "57600", "115200", "128000", "256000"});
  CSpinEdit1->setObjectName("CSpinEdit1");
  CSpinEdit1->setRange(10, 3000);
  CSpinEdit1->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  CSpinEditPoll->setObjectName("CSpinEditPoll");
  CSpinEditPoll->setRange(0, Settings::PollIntervalMax);
  CSpinEditPoll->setSingleStep(Settings::PollIntervalMin);
  CSpinEditPoll->setSpecialValueText("непрерывно");
  CSpinEditPoll->setSuffix(" мс");
  CSpinEditPoll->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  CSpinEditPoll->setToolTip("Пауза между опросами страницы текущих значений");
  // A pause too short for the line is taken as the shortest one allowed.
  connect(CSpinEditPoll, &QSpinBox::editingFinished, this,
          [this] { CSpinEditPoll->setValue(Settings::ClampPollInterval(CSpinEditPoll->value())); });
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn->setObjectName("CancelBtn");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Порт:", this), 0, 0);
  layout->addWidget(ComboBox1, 0, 1);
  layout->addWidget(new QLabel("Скорость:", this), 1, 0);
  layout->addWidget(ComboBox2, 1, 1);
  layout->addWidget(new QLabel("Таймаут", this), 2, 0);
  layout->addWidget(CSpinEdit1, 2, 1);
  layout->addWidget(new QLabel("Опрос:", this), 3, 0);
  layout->addWidget(CSpinEditPoll, 3, 1);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(OKBtn, QDialogButtonBox::AcceptRole);
  buttons->addButton(CancelBtn, QDialogButtonBox::RejectRole);
  layout->addWidget(buttons, 4, 0, 1, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
