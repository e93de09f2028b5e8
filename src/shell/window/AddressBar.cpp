#include "shell/window/AddressBar.h"

#include <QAction>
#include <QSpinBox>
#include <QTabBar>
#include <QToolButton>

TAddressBar::TAddressBar(QSpinBox* box, QAction* addressAction, QTabBar* tabs,
                         QToolButton* manualButton, QAction* manualItem, QObject* parent)
    : QObject(parent),
      box_(box),
      addressAction_(addressAction),
      tabs_(tabs),
      manualButton_(manualButton),
      manualItem_(manualItem) {
  setObjectName("AddressBar");
  connect(box_, &QSpinBox::valueChanged, this, &TAddressBar::AddressTyped);
  connect(tabs_, &QTabBar::currentChanged, this, &TAddressBar::FoundDeviceChosen);
}

uint8_t TAddressBar::Typed() const {
  return static_cast<uint8_t>(box_->value());
}

void TAddressBar::SetTyped(uint8_t address) {
  box_->setValue(address);
}

void TAddressBar::ShowFound(const QStringList& names) {
  while (tabs_->count() > 0) tabs_->removeTab(0);
  for (const QString& name : names) tabs_->addTab(name);
  if (!names.isEmpty()) tabs_->setCurrentIndex(0);
}

int TAddressBar::FoundCount() const {
  return tabs_->count();
}

int TAddressBar::Chosen() const {
  return tabs_->currentIndex();
}

void TAddressBar::ShowMode(bool manual) {
  tabs_->setEnabled(!manual);
  manualButton_->setChecked(manual);
  manualItem_->setChecked(manual);
  // The toolbar shows and hides its widgets by their actions at its next layout; the box itself
  // follows at once.
  addressAction_->setVisible(manual);
  box_->setVisible(manual);
}
