// The items of the menu "Наладка" (after the menu "Вид") for a whole line: the configuration
// written to every instrument the last search found, and the fast search with the second look at
// the silent addresses.
#include <QMenuBar>
#include <QTabBar>

#include "shell/Mainunit.h"
#include "shell/device/DeviceController.h"
#include "shell/settings/IniFile.h"
#include "shell/setup/BatchWriteDialog.h"

namespace {

const char* const SetupSection = "Settings";
const char* const FastSearchKey = "FastSearch";

}  // namespace

// After the menu's other items, when it has some.
void TMainForm::BuildBatchItems() {
  if (!SetupMenu) {
    SetupMenu = oxMenu1->addMenu("Наладка");
    SetupMenu->setObjectName("SetupMenu");
  } else {
    SetupMenu->addSeparator();
  }
  BatchWriteItem = SetupMenu->addAction("Записать во все найденные…");
  BatchWriteItem->setObjectName("BatchWriteItem");
  connect(BatchWriteItem, &QAction::triggered, this, &TMainForm::BatchWriteCommand);
  SetupMenu->addSeparator();
  FastSearchItem = SetupMenu->addAction("Быстрый поиск");
  FastSearchItem->setObjectName("FastSearchItem");
  FastSearchItem->setCheckable(true);
  FastSearchItem->setToolTip(
      "Поиск с временем ожидания по скорости обмена и по ответам уже найденных приборов");
  connect(FastSearchItem, &QAction::toggled, this, [this](bool on) { FastSearch = on; });
  SilentAgainItem = SetupMenu->addAction("Повторить поиск по молчавшим адресам");
  SilentAgainItem->setObjectName("SilentAgainItem");
  connect(SilentAgainItem, &QAction::triggered, &Devices(),
          &TDeviceController::SearchSilentAgainCommand);
  // The tabs of the found instruments change with every search that ends.
  connect(TabSet1, &QTabBar::currentChanged, this, &TMainForm::PresentSetupItems);
  connect(SetupMenu, &QMenu::aboutToShow, this, &TMainForm::PresentSetupItems);
  PresentSetupItems();
}

void TMainForm::PresentSetupItems() {
  BatchWriteItem->setEnabled(TabSet1->count() > 0);
  SilentAgainItem->setEnabled(LastSearchFast);
}

void TMainForm::BatchWriteCommand() {
  if (TabSet1->count() == 0) return;
  auto* dialog = new TBatchWriteDialog(*this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

// A key of its own beside the nine, written once it is on or in the file already.
void TMainForm::ReadSetupSettings(const TIniFile& ini) {
  FastSearch = ini.ReadBool(SetupSection, FastSearchKey, false);
  FastSearchItem->setChecked(FastSearch);
}

void TMainForm::WriteSetupSettings(TIniFile& ini) const {
  if (!FastSearch && !ini.ReadString(SetupSection, FastSearchKey)) return;
  ini.WriteBool(SetupSection, FastSearchKey, FastSearch);
}
