#include "shell/port/PortSettings.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>

#include "modbus/NetworkLine.h"
#include "shell/settings/Settings.h"
#include "views/Design.h"

namespace {

constexpr int DeviceTextWidth = 260;  // design px; a longer path is shortened in the middle

// The open list shows each Com number with its device; the items' own texts stay "Com1".."Com20".
class TPortItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString device = index.data(TPortSettings::DeviceRole).toString();
    if (!device.isEmpty()) option->text += "   " + device;
  }
};

}  // namespace

TPortSettings::TPortSettings(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ComboBox1(new QComboBox(this)),
      ComboBox2(new QComboBox(this)),
      CSpinEdit1(new QSpinBox(this)),
      CSpinEditPoll(new QSpinBox(this)),
      CSpinEditRetries(new QSpinBox(this)),
      OKBtn(new QPushButton("OK", this)),
      CancelBtn(new QPushButton("Cancel", this)),
      PortDevice(new QLabel(this)),
      FindPortsButton(new QPushButton("Найти порты", this)),
      LineKindBox(new QComboBox(this)),
      HostEdit(new QLineEdit(this)),
      TcpPortSpin(new QSpinBox(this)),
      NetworkModeBox(new QComboBox(this)),
      RequireJournalBox(new QCheckBox("Без журнала записей в прибор не записывать", this)) {
  setObjectName("PortSettings");
  setWindowTitle("Настройки порта");
  ComboBox1->setObjectName("ComboBox1");
  for (int i = 1; i <= 20; ++i) ComboBox1->addItem(QString("Com%1").arg(i));
  ComboBox1->setItemDelegate(new TPortItemDelegate(ComboBox1));
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TPortSettings::ShowChosenDevice);
  PortDevice->setObjectName("PortDevice");
  PortDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FindPortsButton->setObjectName("FindPortsButton");
  FindPortsButton->setAutoDefault(false);
  FindPortsButton->setToolTip("Последовательные порты этого компьютера: назначить один номеру Com");
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
  CSpinEditRetries->setObjectName("CSpinEditRetries");
  CSpinEditRetries->setRange(0, Settings::ReadRetriesMax);
  CSpinEditRetries->setToolTip(
      "Сколько раз чтение, прерванное сбоем на линии (таймаут, CRC, длина), повторяется; запись "
      "не повторяется");
  LineKindBox->setObjectName("LineKindBox");
  LineKindBox->addItems({"COM-порт", "Сеть"});
  LineKindBox->setToolTip("Прибор на COM-порту этого компьютера или за сервером в сети Ethernet");
  HostEdit->setObjectName("HostEdit");
  HostEdit->setPlaceholderText("имя или IP-адрес сервера");
  TcpPortSpin->setObjectName("TcpPortSpin");
  TcpPortSpin->setRange(1, 65535);
  TcpPortSpin->setValue(Settings::DefaultTcpPort);
  NetworkModeBox->setObjectName("NetworkModeBox");
  for (int mode = 0; mode < NetworkModeCount; ++mode)
    NetworkModeBox->addItem(NetworkModeCaption(static_cast<TNetworkMode>(mode)));
  NetworkModeBox->setToolTip(
      "RTU поверх TCP: прозрачный сервер; Modbus TCP: шлюз; RFC 2217: сервер с настройкой порта");
  connect(LineKindBox, &QComboBox::currentIndexChanged, this, &TPortSettings::ShowLineKind);
  connect(HostEdit, &QLineEdit::textChanged, this, &TPortSettings::ShowLineKind);
  connect(HostEdit, &QLineEdit::editingFinished, this, &TPortSettings::TakeEndpointFromHost);
  RequireJournalBox->setObjectName("RequireJournalBox");
  RequireJournalBox->setToolTip(
      "Запись в прибор не начинается, пока журнал записей нельзя вести (нет места на диске, файл "
      "журнала поврежден или недоступен)");
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn->setObjectName("CancelBtn");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Порт:", this), 0, 0);
  layout->addWidget(ComboBox1, 0, 1);
  layout->addWidget(PortDevice, 0, 2);
  layout->addWidget(new QLabel("Скорость:", this), 1, 0);
  layout->addWidget(ComboBox2, 1, 1);
  layout->addWidget(new QLabel("Таймаут", this), 2, 0);
  layout->addWidget(CSpinEdit1, 2, 1);
  layout->addWidget(new QLabel("Опрос:", this), 3, 0);
  layout->addWidget(CSpinEditPoll, 3, 1);
  layout->addWidget(new QLabel("Повторов при сбое:", this), 4, 0);
  layout->addWidget(CSpinEditRetries, 4, 1);
  layout->addWidget(FindPortsButton, 5, 1);
  layout->addWidget(new QLabel("Линия:", this), 6, 0);
  layout->addWidget(LineKindBox, 6, 1);
  layout->addWidget(new QLabel("Сервер:", this), 7, 0);
  layout->addWidget(HostEdit, 7, 1, 1, 2);
  layout->addWidget(new QLabel("TCP-порт:", this), 8, 0);
  layout->addWidget(TcpPortSpin, 8, 1);
  layout->addWidget(new QLabel("Режим:", this), 9, 0);
  layout->addWidget(NetworkModeBox, 9, 1);
  layout->addWidget(RequireJournalBox, 10, 0, 1, 3);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(OKBtn, QDialogButtonBox::AcceptRole);
  buttons->addButton(CancelBtn, QDialogButtonBox::RejectRole);
  layout->addWidget(buttons, 11, 0, 1, 3);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setTabOrder(CancelBtn, FindPortsButton);
  ShowLineKind();
}

bool TPortSettings::NetworkChosen() const {
  return LineKindBox->currentIndex() == 1;
}

// The server's fields count only for a network line, which cannot be taken without a host.
void TPortSettings::ShowLineKind() {
  const bool network = NetworkChosen();
  HostEdit->setEnabled(network);
  TcpPortSpin->setEnabled(network);
  NetworkModeBox->setEnabled(network);
  const bool complete = !network || !HostEdit->text().trimmed().isEmpty();
  OKBtn->setEnabled(complete);
  OKBtn->setToolTip(complete ? QString() : "Укажите сервер сети");
}

// "host:port" typed or pasted into the host field is split into the two fields.
void TPortSettings::TakeEndpointFromHost() {
  std::string host;
  uint16_t port = 0;
  if (!ParseEndpoint(HostEdit->text().trimmed().toStdString(), host, port)) return;
  HostEdit->setText(QString::fromStdString(host));
  TcpPortSpin->setValue(port);
}

void TPortSettings::ShowDevices(const QStringList& devices) {
  int widest = 0;
  for (int i = 0; i < ComboBox1->count() && i < devices.size(); ++i) {
    ComboBox1->setItemData(i, devices[i], Qt::ToolTipRole);
    ComboBox1->setItemData(i, devices[i], DeviceRole);
    widest = qMax(widest, ComboBox1->fontMetrics().horizontalAdvance(ComboBox1->itemText(i) +
                                                                     "   " + devices[i]));
  }
  // The open list is as wide as its longest line, which the closed box need not be.
  ComboBox1->view()->setMinimumWidth(widest + Design::Px(24));
  ShowChosenDevice();
}

void TPortSettings::ShowChosenDevice() {
  const QString device = ComboBox1->currentData(DeviceRole).toString();
  PortDevice->setText(
      PortDevice->fontMetrics().elidedText(device, Qt::ElideMiddle, Design::Px(DeviceTextWidth)));
  PortDevice->setToolTip(device);
}
