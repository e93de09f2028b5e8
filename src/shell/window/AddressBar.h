// The window's choice of the instrument talked to: the address box on the toolbar, the tabs of the
// instruments the last search found under the pages, and the manual address button and menu item
// that switch between the two.
#pragma once

#include <QObject>
#include <QStringList>

#include <cstdint>

class QAction;
class QSpinBox;
class QTabBar;
class QToolButton;

class TAddressBar : public QObject {
  Q_OBJECT

 public:
  // addressAction shows and hides the box on the toolbar.
  TAddressBar(QSpinBox* box, QAction* addressAction, QTabBar* tabs, QToolButton* manualButton,
              QAction* manualItem, QObject* parent = nullptr);

  uint8_t Typed() const;
  void SetTyped(uint8_t address);
  // One tab per name, the first chosen; none clears them.
  void ShowFound(const QStringList& names);
  int FoundCount() const;
  // The tab chosen, -1 when there is none.
  int Chosen() const;
  // The tabs, the box and the manual address button and item follow the mode.
  void ShowMode(bool manual);

 signals:
  void AddressTyped(int address);
  void FoundDeviceChosen();

 private:
  QSpinBox* box_;
  QAction* addressAction_;
  QTabBar* tabs_;
  QToolButton* manualButton_;
  QAction* manualItem_;
};
