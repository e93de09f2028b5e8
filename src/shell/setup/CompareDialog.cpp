#include "shell/setup/CompareDialog.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "shell/setup/ReadOnlyTable.h"

namespace {

constexpr int GroupCodeRole = Qt::UserRole;

QTableWidgetItem* Item(const std::string& text) {
  return new QTableWidgetItem(QString::fromStdString(text));
}

QString CountText(const TGroupComparison& group) {
  return group.Compared ? QString::number(group.Differences) : "не считано с прибора";
}

}  // namespace

TCompareDialog::TCompareDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("CompareDialog");
  setWindowTitle("Сравнение с файлом");
  ResultLabel = new QLabel(this);
  ResultLabel->setObjectName("ResultLabel");
  ResultLabel->setWordWrap(true);
  GroupTable = NewReadOnlyTable("GroupTable", {"Группа", "Различий"}, this);
  DifferenceTable =
      NewReadOnlyTable("DifferenceTable", {"Группа", "Элемент", "В приборе", "В файле"}, this);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(GroupTable);
  splitter->addWidget(DifferenceTable);
  splitter->setStretchFactor(1, 3);
  WriteButton = new QPushButton("Записать выбранные группы из файла", this);
  WriteButton->setObjectName("WriteButton");
  CloseButton = new QPushButton("Закрыть", this);
  CloseButton->setObjectName("CloseButton");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(WriteButton);
  buttons->addStretch(1);
  buttons->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ResultLabel);
  layout->addWidget(splitter, 1);
  layout->addLayout(buttons);
  resize(760, 560);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
  connect(WriteButton, &QPushButton::clicked, this, [this] {
    const QList<uint8_t> groups = SelectedGroups();
    if (!groups.isEmpty()) emit WriteRequested(groups);
  });
  connect(GroupTable, &QTableWidget::itemChanged, this, [this] { ShowWriteState(); });
}

void TCompareDialog::ShowComparison(const TComparison& comparison, const QString& fileName) {
  const QString file = QFileInfo(fileName).fileName();
  if (comparison.Equal() && comparison.Complete())
    ResultLabel->setText("Файл " + file + ": Совпадает полностью");
  else if (comparison.Equal())
    ResultLabel->setText("Файл " + file + ": различий нет в группах, считанных с прибора");
  else
    ResultLabel->setText(
        QString("Файл %1: различий %2").arg(file).arg(comparison.Differences.size()));
  ResultLabel->setToolTip(fileName);
  FillGroups(comparison);
  FillDifferences(comparison);
  ShowWriteState();
}

// Only the groups that differ can be ticked; they start ticked.
void TCompareDialog::FillGroups(const TComparison& comparison) {
  const QSignalBlocker blocker(GroupTable);
  GroupTable->setRowCount(0);
  for (const TGroupComparison& group : comparison.Groups) {
    if (group.Compared && group.Differences == 0) continue;
    const int row = GroupTable->rowCount();
    GroupTable->insertRow(row);
    QTableWidgetItem* name = Item(group.GroupName);
    name->setData(GroupCodeRole, group.Group);
    if (group.Differences > 0) {
      name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
      name->setCheckState(Qt::Checked);
    }
    GroupTable->setItem(row, 0, name);
    GroupTable->setItem(row, 1, new QTableWidgetItem(CountText(group)));
  }
  GroupTable->resizeColumnsToContents();
}

void TCompareDialog::FillDifferences(const TComparison& comparison) {
  DifferenceTable->setRowCount(0);
  for (const TDifference& d : comparison.Differences) {
    const int row = DifferenceTable->rowCount();
    DifferenceTable->insertRow(row);
    DifferenceTable->setItem(row, 0, Item(d.GroupName));
    DifferenceTable->setItem(row, 1, Item(d.Element));
    DifferenceTable->setItem(row, 2, Item(d.InstrumentValue));
    DifferenceTable->setItem(row, 3, Item(d.FileValue));
  }
  DifferenceTable->resizeColumnsToContents();
}

QList<uint8_t> TCompareDialog::SelectedGroups() const {
  QList<uint8_t> groups;
  for (int row = 0; row < GroupTable->rowCount(); ++row) {
    const QTableWidgetItem* item = GroupTable->item(row, 0);
    if (item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked)
      groups << static_cast<uint8_t>(item->data(GroupCodeRole).toUInt());
  }
  return groups;
}

void TCompareDialog::SelectGroups(const QList<uint8_t>& groups) {
  for (int row = 0; row < GroupTable->rowCount(); ++row) {
    QTableWidgetItem* item = GroupTable->item(row, 0);
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable)) continue;
    const bool on = groups.contains(static_cast<uint8_t>(item->data(GroupCodeRole).toUInt()));
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
}

void TCompareDialog::SetBusy(bool busy) {
  busy_ = busy;
  ShowWriteState();
}

void TCompareDialog::ShowWriteState() {
  WriteButton->setEnabled(!busy_ && !SelectedGroups().isEmpty());
}
