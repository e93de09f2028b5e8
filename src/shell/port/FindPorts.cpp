#include "shell/port/FindPorts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "views/Design.h"

namespace {

std::string EnvironmentOr(const char* name, const std::string& otherwise) {
  const QString value = qEnvironmentVariable(name);
  return value.isEmpty() ? otherwise : value.toStdString();
}

}  // namespace

TSerialScanRoots SerialScanRootsFromEnvironment() {
  TSerialScanRoots roots;
  roots.ById = EnvironmentOr("K7104_SERIAL_BY_ID", roots.ById);
  roots.Dev = EnvironmentOr("K7104_SERIAL_DEV", roots.Dev);
  roots.SysClassTty = EnvironmentOr("K7104_SERIAL_SYS", roots.SysClassTty);
  return roots;
}

TFindPorts::TFindPorts(QWidget* parent)
    : QDialog(parent),
      PortList(new QTreeWidget(this)),
      NoPortsLabel(new QLabel("Последовательные порты не найдены.", this)),
      ComboBoxCom(new QComboBox(this)),
      BindBtn(new QPushButton("Назначить", this)),
      CloseBtn(new QPushButton("Закрыть", this)),
      ByIdHint(new QLabel(
          "Для преобразователя назначается его путь в /dev/serial/by-id: он не меняется, когда "
          "преобразователь подключают снова.",
          this)) {
  setObjectName("FindPorts");
  setWindowTitle("Найти порты");
  PortList->setObjectName("PortList");
  PortList->setHeaderLabels({"Устройство", "Преобразователь", "Узел"});
  PortList->setRootIsDecorated(false);
  PortList->setAllColumnsShowFocus(true);
  PortList->setMinimumHeight(Design::Px(160));
  NoPortsLabel->setObjectName("NoPortsLabel");
  ComboBoxCom->setObjectName("ComboBoxCom");
  for (int i = 1; i <= 20; ++i) ComboBoxCom->addItem(QString("Com%1").arg(i));
  BindBtn->setObjectName("BindBtn");
  BindBtn->setDefault(true);
  CloseBtn->setObjectName("CloseBtn");
  connect(BindBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(PortList, &QTreeWidget::itemSelectionChanged, this, &TFindPorts::FollowSelection);
  connect(PortList, &QTreeWidget::itemActivated, this, [this] {
    if (BindBtn->isEnabled()) accept();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PortList);
  layout->addWidget(NoPortsLabel);
  auto* bindRow = new QHBoxLayout;
  bindRow->addWidget(new QLabel("Назначить номеру:", this));
  bindRow->addWidget(ComboBoxCom);
  bindRow->addStretch();
  layout->addLayout(bindRow);
  ByIdHint->setObjectName("ByIdHint");
  ByIdHint->setWordWrap(true);
  layout->addWidget(ByIdHint);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(BindBtn, QDialogButtonBox::AcceptRole);
  buttons->addButton(CloseBtn, QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
}

void TFindPorts::Show(std::vector<TSerialDevice> devices, int comIndex) {
  devices_ = std::move(devices);
  PortList->clear();
  for (const TSerialDevice& device : devices_) {
    const QString node =
        device.Node == device.Path ? QString() : QString::fromStdString(device.Node);
    new QTreeWidgetItem(
        PortList, {QString::fromStdString(device.Path), QString::fromStdString(device.Name), node});
  }
  FitListToRows();
  NoPortsLabel->setVisible(devices_.empty());
  // Windows names its ports COM1, COM2 …: there are no by-id links to speak of.
  ByIdHint->setVisible(std::any_of(devices_.begin(), devices_.end(),
                                   [](const TSerialDevice& device) { return device.ById; }));
  if (!devices_.empty()) PortList->setCurrentItem(PortList->topLevelItem(0));
  ComboBoxCom->setCurrentIndex(comIndex);
  FollowSelection();
}

int TFindPorts::ChosenIndex() const {
  return ComboBoxCom->currentIndex();
}

QString TFindPorts::ChosenPath() const {
  const int row = PortList->indexOfTopLevelItem(PortList->currentItem());
  if (row < 0 || row >= static_cast<int>(devices_.size())) return {};
  return QString::fromStdString(StablePath(devices_, devices_[row]));
}

// Wide enough for the longest by-id name, within the screen.
void TFindPorts::FitListToRows() {
  int width = 2 * PortList->frameWidth() + PortList->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < PortList->columnCount(); ++column) {
    PortList->resizeColumnToContents(column);
    width += PortList->columnWidth(column);
  }
  if (const QScreen* screen = this->screen())
    width = qMin(width, screen->availableGeometry().width() * 9 / 10);
  PortList->setMinimumWidth(qMax(width, Design::Px(560)));
}

void TFindPorts::FollowSelection() {
  BindBtn->setEnabled(PortList->currentItem() != nullptr && PortList->currentItem()->isSelected());
}
