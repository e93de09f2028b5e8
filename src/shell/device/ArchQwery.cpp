#include "shell/device/ArchQwery.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

#include <algorithm>

namespace {

// A spin edit hands Enter on to the dialog, so Enter presses OK wherever the focus is.
QSpinBox* NumberField(const QString& name, QWidget* parent) {
  auto* field = new QSpinBox(parent);
  field->setObjectName(name);
  field->setMinimum(1);
  field->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  return field;
}

// What the title bar needs for the caption whole: its text in the title font, and the icon and
// the buttons of the bar (a title bar is about as high as each of them is wide).
int TitleBarWidth(const QWidget& dialog, const QString& caption) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  const int buttons = 4 * dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dialog);
  return QFontMetrics(font).horizontalAdvance(caption) + buttons;
}

}  // namespace

TArchQwery::TArchQwery(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      CSpinEdit1(NumberField("CSpinEdit1", this)),
      CSpinEdit2(NumberField("CSpinEdit2", this)),
      OKBtn(new QPushButton("OK", this)),
      CancelBtn(new QPushButton("Cancel", this)) {
  setObjectName("ArchQwery");
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn->setObjectName("CancelBtn");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Начальный\nномер", this), 0, 0);
  layout->addWidget(CSpinEdit1, 0, 1);
  layout->addWidget(new QLabel("Конечный\nномер", this), 1, 0);
  layout->addWidget(CSpinEdit2, 1, 1);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(OKBtn, QDialogButtonBox::AcceptRole);
  buttons->addButton(CancelBtn, QDialogButtonBox::RejectRole);
  layout->addWidget(buttons, 2, 0, 1, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TArchQwery::Prepare(const QString& caption, int maximum, int first, int last) {
  setWindowTitle(caption);
  for (QSpinBox* field : {CSpinEdit1, CSpinEdit2}) field->setMaximum(maximum);
  CSpinEdit1->setValue(first);
  CSpinEdit2->setValue(last);
  // The dialog keeps its layout's size: the buttons' row, which spans the dialog, is widened
  // until the caption fits.
  auto* buttons = findChild<QDialogButtonBox*>();
  const QMargins margins = layout()->contentsMargins();
  buttons->setMinimumWidth(TitleBarWidth(*this, caption) - margins.left() - margins.right());
}

std::pair<int, int> TArchQwery::Range() const {
  const int first = CSpinEdit1->value();
  const int last = CSpinEdit2->value();
  return {std::min(first, last), std::max(first, last)};
}
