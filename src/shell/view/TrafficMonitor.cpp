#include "shell/view/TrafficMonitor.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "files/SafeWrite.h"
#include "shell/settings/CorePath.h"
#include "shell/window/Dialogs.h"

namespace {

const QColor FailureColor(200, 0, 0);

// The characters of the columns of fixed form: a time, an arrow, 16 bytes, a frame's summary and
// a duration; longer bytes and summaries are cut, the outcome column widens to its texts.
constexpr int ColumnCharacters[] = {12, 1, 47, 44, 10};

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

void TTrafficModel::Append(const std::deque<TTrafficRecord>& records) {
  std::vector<TRow> added;
  for (const TTrafficRecord& record : records) {
    const std::vector<TTrafficFrame> frames = TrafficFrames(record);
    for (size_t i = 0; i < frames.size(); ++i) {
      TRow row;
      row.Cells[Time] = Text(TrafficTimeText(record));
      row.Cells[Direction] = Text(frames[i].Direction);
      row.Cells[Bytes] = Text(frames[i].Bytes);
      row.Cells[Summary] = Text(frames[i].Summary);
      if (i + 1 == frames.size()) {
        row.Cells[Duration] = Text(DurationText(record));
        row.Cells[Outcome] = Text(TrafficOutcome(record));
      }
      row.Failed = record.Result != RESULT_OK;
      added.push_back(std::move(row));
    }
  }
  if (added.empty()) return;
  // The oldest rows go first when the list would grow beyond its limit.
  const int excess = static_cast<int>(rows_.size() + added.size()) - MaxRows;
  if (excess > 0) {
    const int removed = std::min(excess, static_cast<int>(rows_.size()));
    beginRemoveRows({}, 0, removed - 1);
    rows_.erase(rows_.begin(), rows_.begin() + removed);
    endRemoveRows();
    if (added.size() > MaxRows) added.erase(added.begin(), added.end() - MaxRows);
  }
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  for (TRow& row : added) rows_.push_back(std::move(row));
  endInsertRows();
}

void TTrafficModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

QString TTrafficModel::RowText(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  QStringList cells;
  for (const QString& cell : rows_[static_cast<size_t>(row)].Cells) cells << cell;
  return cells.join('\t');
}

int TTrafficModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TTrafficModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTrafficModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TRow& row = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole) return row.Cells[index.column()];
  if (role == Qt::ForegroundRole && row.Failed) return FailureColor;
  return {};
}

QVariant TTrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  static const char* const titles[ColumnCount] = {"Время",        "",    "Байты", "Кадр",
                                                  "Длительность", "Итог"};
  return section >= 0 && section < ColumnCount ? QString(titles[section]) : QString();
}

TTrafficMonitor::TTrafficMonitor(TModBus& bus, TDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      CountersLabel(new QLabel(this)),
      PauseButton(new QPushButton("Пауза", this)),
      ClearButton(new QPushButton("Очистить", this)),
      CopyButton(new QPushButton("Копировать", this)),
      SaveButton(new QPushButton("Сохранить…", this)),
      Table(new QTableView(this)),
      bus_(bus),
      dialogs_(dialogs),
      log_(std::make_shared<TTrafficLog>()),
      model_(new TTrafficModel(this)),
      timer_(new QTimer(this)) {
  setObjectName("TrafficMonitor");
  setWindowTitle("Обмен");
  CountersLabel->setObjectName("TrafficCounters");
  PauseButton->setObjectName("TrafficPause");
  PauseButton->setCheckable(true);
  ClearButton->setObjectName("TrafficClear");
  CopyButton->setObjectName("TrafficCopy");
  SaveButton->setObjectName("TrafficSave");
  Table->setObjectName("TrafficTable");
  Table->setModel(model_);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setWordWrap(false);
  Table->verticalHeader()->hide();
  Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 4);
  Table->setFont(QFont("Monospace"));
  FitColumns();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(CountersLabel, 1);
  for (QPushButton* button : {PauseButton, ClearButton, CopyButton, SaveButton})
    buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(Table);
  // Wide enough for every column, the outcome of a failed read included.
  int tableWidth = Table->verticalScrollBar()->sizeHint().width() + 2 * Table->frameWidth();
  for (int column = 0; column < TTrafficModel::ColumnCount; ++column)
    tableWidth += Table->columnWidth(column);
  const QMargins margins = layout->contentsMargins();
  resize(tableWidth + margins.left() + margins.right(), 480);

  connect(ClearButton, &QPushButton::clicked, this, &TTrafficMonitor::Clear);
  connect(CopyButton, &QPushButton::clicked, this, &TTrafficMonitor::CopySelected);
  connect(SaveButton, &QPushButton::clicked, this, &TTrafficMonitor::SaveAsText);
  connect(timer_, &QTimer::timeout, this, &TTrafficMonitor::TakeTraffic);
  timer_->setInterval(100);
  ShowCounters();
}

TTrafficMonitor::~TTrafficMonitor() {
  bus_.SetTrafficLog(nullptr);
}

void TTrafficMonitor::showEvent(QShowEvent* event) {
  bus_.SetTrafficLog(log_);
  timer_->start();
  QWidget::showEvent(event);
}

void TTrafficMonitor::hideEvent(QHideEvent* event) {
  bus_.SetTrafficLog(nullptr);
  timer_->stop();
  TakeTraffic();
  QWidget::hideEvent(event);
}

// While paused the log keeps the newest transactions; they are listed once the pause ends.
void TTrafficMonitor::TakeTraffic() {
  if (PauseButton->isChecked()) return;
  const std::deque<TTrafficRecord> records = log_->Take();
  if (records.empty()) return;
  QScrollBar* scroll = Table->verticalScrollBar();
  const bool followTail = scroll->value() == scroll->maximum();
  for (const TTrafficRecord& record : records) counters_.Count(record);
  model_->Append(records);
  WidenOutcome(records);
  ShowCounters();
  if (followTail) Table->scrollToBottom();
}

// A cell's text with the margins the item delegate keeps on both sides and the grid line.
int TTrafficMonitor::CellWidth(const QString& text) const {
  const int margin = Table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Table) + 1;
  return Table->fontMetrics().horizontalAdvance(text) + 2 * margin + 2;
}

// Each column holds its fixed form and its caption whole; the outcome a failed read's at first.
void TTrafficMonitor::FitColumns() {
  QHeaderView* header = Table->horizontalHeader();
  for (int column = 0; column < TTrafficModel::Outcome; ++column)
    Table->setColumnWidth(column, std::max(header->sectionSizeHint(column),
                                           CellWidth(QString(ColumnCharacters[column], '0'))));
  const QString failed = QString::fromStdString(std::string(ReadEndText(TReadEnd::Timeout)) + ", " +
                                                ResultMessage(RESULT_TIMEOUT));
  Table->setColumnWidth(
      TTrafficModel::Outcome,
      std::max(header->sectionSizeHint(TTrafficModel::Outcome), CellWidth(failed)));
}

void TTrafficMonitor::WidenOutcome(const std::deque<TTrafficRecord>& records) {
  int widest = Table->columnWidth(TTrafficModel::Outcome);
  for (const TTrafficRecord& record : records)
    widest = std::max(widest, CellWidth(QString::fromStdString(TrafficOutcome(record))));
  if (widest > Table->columnWidth(TTrafficModel::Outcome))
    Table->setColumnWidth(TTrafficModel::Outcome, widest);
}

void TTrafficMonitor::Clear() {
  log_->Take();
  model_->Clear();
  counters_ = {};
  ShowCounters();
}

void TTrafficMonitor::ShowCounters() {
  CountersLabel->setText(QString("Запросов: %1   Ответов: %2   Тайм-аутов: %3   Ошибок CRC: %4   "
                                 "Других сбоев: %5")
                             .arg(counters_.Requests)
                             .arg(counters_.Replies)
                             .arg(counters_.Timeouts)
                             .arg(counters_.CrcErrors)
                             .arg(counters_.OtherFailures));
}

QStringList TTrafficMonitor::SelectedLines() const {
  std::set<int> rows;
  for (const QModelIndex& index : Table->selectionModel()->selectedIndexes())
    rows.insert(index.row());
  QStringList lines;
  for (int row : rows) lines << model_->RowText(row);
  return lines;
}

void TTrafficMonitor::CopySelected() {
  const QStringList lines = SelectedLines();
  if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join('\n') + '\n');
}

void TTrafficMonitor::SaveAsText() {
  const QString name = dialogs_.SaveFileName(
      this, {"Сохранить обмен", "Текстовые файлы|*.txt|Все файлы|*.*", "txt"});
  if (name.isEmpty()) return;
  QString text;
  for (int row = 0; row < model_->rowCount(); ++row) text += model_->RowText(row) + "\r\n";
  const QByteArray bytes = text.toUtf8();
  if (!WriteFileReplacing(CorePath(name), bytes.constData(), static_cast<size_t>(bytes.size())))
    dialogs_.Error(this, "", "Не удалось записать файл " + name);
}
