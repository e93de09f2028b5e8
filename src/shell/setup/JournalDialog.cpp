#include "shell/setup/JournalDialog.h"

#include <QColor>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "files/JournalCsv.h"
#include "files/SafeWrite.h"
#include "shell/settings/CorePath.h"
#include "shell/settings/Settings.h"
#include "shell/setup/ReadOnlyTable.h"
#include "shell/window/Dialogs.h"
#include "shell/window/WindowSeam.h"
#include "shell/window/WriteJournal.h"

namespace {

const QString AnyChoice = "все";
const QDate NoDate(2000, 1, 1);  // the date edits' minimum, shown as "—": no bound

const TFileRequest& CsvFileRequest() {
  static const TFileRequest request{"Экспорт журнала записей", "Файлы CSV|*.csv|Все файлы|*.*",
                                    "csv"};
  return request;
}

QTableWidget* Table(const QString& name, const QStringList& headers, QWidget* parent) {
  QTableWidget* table = NewReadOnlyTable(name, headers, parent);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  return table;
}

QTableWidgetItem* Item(const std::string& text) {
  auto* item = new QTableWidgetItem(QString::fromStdString(text));
  item->setToolTip(item->text());
  return item;
}

QDateEdit* DateEdit(const QString& name, QWidget* parent) {
  auto* edit = new QDateEdit(parent);
  edit->setObjectName(name);
  edit->setCalendarPopup(true);
  edit->setMinimumDate(NoDate);
  edit->setSpecialValueText("—");
  edit->setDate(NoDate);
  edit->setDisplayFormat("dd.MM.yyyy");
  return edit;
}

std::string DateText(const QDateEdit* edit, const char* time) {
  if (edit->date() == NoDate) return {};
  return edit->date().toString("yyyy-MM-dd").toStdString() + time;
}

std::string ChoiceText(const QComboBox* box) {
  return box->currentIndex() <= 0 ? std::string() : box->currentText().toStdString();
}

QString OutcomeText(const TJournalRecord& r) {
  QString text = QString::fromStdString(JournalOutcomeText(r.Outcome));
  if (!r.Failure.empty()) text += ": " + QString::fromStdString(r.Failure);
  return text;
}

// The list's choices anew, the one chosen kept when the journal still holds it.
void Offer(QComboBox* box, const QSet<QString>& values) {
  const QString chosen = box->currentIndex() > 0 ? box->currentText() : QString();
  QStringList sorted = values.values();
  sorted.sort();
  box->clear();
  box->addItem(AnyChoice);
  box->addItems(sorted);
  box->setCurrentIndex(std::max(0, static_cast<int>(box->findText(chosen))));
}

}  // namespace

TJournalDialog::TJournalDialog(TWindowSeam& seam, QWidget* parent) : QDialog(parent), seam_(seam) {
  setObjectName("JournalDialog");
  setWindowTitle("Журнал записей");
  BuildFilters();
  RecordTable = Table("JournalRecordTable",
                      {"Время", "Кто", "Линия", "Адрес", "Прибор", "Группа", "Итог"}, this);
  ChangeTable = Table("JournalChangeTable", {"Значение", "Было", "Стало"}, this);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(RecordTable);
  splitter->addWidget(ChangeTable);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  Summary = new QLabel(this);
  Summary->setObjectName("JournalSummary");
  Summary->setWordWrap(true);
  ReportRecordsBox = new QSpinBox(this);
  ReportRecordsBox->setObjectName("JournalReportRecordsBox");
  ReportRecordsBox->setRange(0, Settings::MaxJournalReportRecords);
  ReportRecordsBox->setSpecialValueText("не включать");
  ReportRecordsBox->setValue(seam_.Journal().ReportRecords());
  ReportRecordsBox->setToolTip("Сколько последних записей прибора включать в отчёт о настройке");
  ExportButton = new QPushButton("Экспорт в CSV…", this);
  ExportButton->setObjectName("JournalExportButton");
  ExportButton->setAutoDefault(false);
  CloseButton = new QPushButton("Закрыть", this);
  CloseButton->setObjectName("JournalCloseButton");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(new QLabel("В отчёт о настройке записей прибора:", this));
  bottom->addWidget(ReportRecordsBox);
  bottom->addStretch(1);
  bottom->addWidget(ExportButton);
  bottom->addWidget(CloseButton);
  auto* layout = qobject_cast<QVBoxLayout*>(this->layout());
  layout->addWidget(splitter, 1);
  layout->addWidget(Summary);
  layout->addLayout(bottom);
  resize(1000, 600);
  connect(RecordTable, &QTableWidget::itemSelectionChanged, this, &TJournalDialog::ShowChanges);
  connect(ExportButton, &QPushButton::clicked, this, &TJournalDialog::ExportCsv);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
  connect(ReportRecordsBox, &QSpinBox::valueChanged, this,
          [this](int count) { seam_.Journal().SetReportRecords(count); });
}

void TJournalDialog::BuildFilters() {
  AddressBox = new QSpinBox(this);
  AddressBox->setObjectName("JournalAddressBox");
  AddressBox->setRange(0, 255);
  AddressBox->setSpecialValueText(AnyChoice);
  ModelBox = new QComboBox(this);
  ModelBox->setObjectName("JournalModelBox");
  ModelBox->addItem(AnyChoice);
  GroupBox = new QComboBox(this);
  GroupBox->setObjectName("JournalGroupBox");
  GroupBox->addItem(AnyChoice);
  GroupBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  SinceEdit = DateEdit("JournalSinceEdit", this);
  UntilEdit = DateEdit("JournalUntilEdit", this);
  RefreshButton = new QPushButton("Обновить", this);
  RefreshButton->setObjectName("JournalRefreshButton");
  RefreshButton->setAutoDefault(false);
  auto* filters = new QHBoxLayout;
  const std::pair<QString, QWidget*> fields[] = {{"Адрес:", AddressBox},
                                                 {"Прибор:", ModelBox},
                                                 {"Группа:", GroupBox},
                                                 {"С:", SinceEdit},
                                                 {"По:", UntilEdit}};
  for (const auto& [caption, field] : fields) {
    filters->addWidget(new QLabel(caption, this));
    filters->addWidget(field);
  }
  filters->addStretch(1);
  filters->addWidget(RefreshButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  connect(RefreshButton, &QPushButton::clicked, this, &TJournalDialog::Refresh);
  connect(AddressBox, &QSpinBox::valueChanged, this, &TJournalDialog::Refresh);
  connect(ModelBox, &QComboBox::activated, this, &TJournalDialog::Refresh);
  connect(GroupBox, &QComboBox::activated, this, &TJournalDialog::Refresh);
  connect(SinceEdit, &QDateEdit::dateChanged, this, &TJournalDialog::Refresh);
  connect(UntilEdit, &QDateEdit::dateChanged, this, &TJournalDialog::Refresh);
}

TJournalFilter TJournalDialog::Filter() const {
  TJournalFilter filter;
  filter.Address = AddressBox->value();
  filter.Model = ChoiceText(ModelBox);
  filter.Group = ChoiceText(GroupBox);
  filter.Since = DateText(SinceEdit, "");
  filter.Until = DateText(UntilEdit, " 23:59:59");
  return filter;
}

void TJournalDialog::Refresh() {
  std::vector<TJournalRecord> all;
  QString why;
  if (!seam_.Journal().Read({}, all, &why) || !seam_.Journal().Read(Filter(), records_, &why)) {
    records_.clear();
    FillRecords();
    Summary->setText(why);
    seam_.Report(why, true);
    return;
  }
  OfferChoices(all);
  FillRecords();
  Summary->setText(QString("Записей: %1 из %2. Журнал: %3")
                       .arg(records_.size())
                       .arg(all.size())
                       .arg(seam_.Journal().Path()));
}

void TJournalDialog::OfferChoices(const std::vector<TJournalRecord>& all) {
  QSet<QString> models, groups;
  for (const TJournalRecord& r : all) {
    if (!r.Model.empty()) models.insert(QString::fromStdString(r.Model));
    groups.insert(QString::fromStdString(r.Group));
  }
  Offer(ModelBox, models);
  Offer(GroupBox, groups);
}

void TJournalDialog::FillRecords() {
  RecordTable->setRowCount(0);
  RecordTable->setRowCount(static_cast<int>(records_.size()));
  for (int row = 0; row < RecordTable->rowCount(); ++row) {
    const TJournalRecord& r = records_[static_cast<size_t>(row)];
    const std::string model = r.Model + (r.Firmware.empty() ? "" : " " + r.Firmware);
    const std::string who = r.Login + ", " + r.Program + " " + r.Version;
    const std::string cells[] = {r.Local, who, r.Line, std::to_string(r.Address), model, r.Group};
    for (int column = 0; column < 6; ++column)
      RecordTable->setItem(row, column, Item(cells[column]));
    RecordTable->setItem(row, 6, Item(OutcomeText(r).toStdString()));
    if (r.Outcome != TJournalOutcome::Confirmed)
      RecordTable->item(row, 6)->setForeground(QColor(255, 0, 0));
  }
  RecordTable->resizeColumnsToContents();
  if (!records_.empty()) RecordTable->selectRow(0);
  ShowChanges();
}

void TJournalDialog::ShowChanges() {
  ChangeTable->setRowCount(0);
  const int row = RecordTable->currentRow();
  if (row < 0 || row >= static_cast<int>(records_.size()) || RecordTable->selectedItems().isEmpty())
    return;
  const auto& changes = records_[static_cast<size_t>(row)].Changes;
  ChangeTable->setRowCount(static_cast<int>(changes.size()));
  for (int k = 0; k < ChangeTable->rowCount(); ++k) {
    const TJournalChange& change = changes[static_cast<size_t>(k)];
    ChangeTable->setItem(k, 0, Item(change.Element));
    ChangeTable->setItem(k, 1, Item(change.Before));
    ChangeTable->setItem(k, 2, Item(change.After));
  }
  ChangeTable->resizeColumnsToContents();
}

// The records shown, in the columns of the command line's CSV.
void TJournalDialog::ExportCsv() {
  QString fileName = seam_.Dialogs().SaveFileName(this, CsvFileRequest());
  if (fileName.isEmpty()) return;
  fileName = WithDefaultExtension(fileName, "csv");
  std::string csv = JournalCsvHeader();
  for (const TJournalRecord& record : records_) csv += JournalCsvRows(record);
  if (WriteFileReplacing(CorePath(fileName), csv.data(), csv.size()))
    seam_.Report(QString("Журнал записей выгружен в файл %1 (записей: %2).")
                     .arg(fileName)
                     .arg(records_.size()),
                 false);
  else
    seam_.Report("Не удалось записать журнал записей в файл " + fileName + ".", true);
}
