#include "views/PageViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "views/ChoiceLists.h"
#include "views/Design.h"
#include "views/ImageLists.h"
#include "views/SpinEdit.h"
#include "views/TextForms.h"

namespace {

constexpr int ChannelRows = 33;  // the for-all row or header, then channels 1..32
constexpr int LogicRows = 34;    // header, for-all row, channels 1..32
constexpr int DesignRowHeight = 18;

QString Nth(int n) {
  return QString::number(n) + "-го канала";
}

QVBoxLayout* FillLayout(QWidget* widget) {
  auto* layout = new QVBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return layout;
}

QWidget* Scrolled(QWidget* content, const QString& name) {
  auto* scroll = new QScrollArea;
  scroll->setObjectName(name + "Scroll");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(content);
  return scroll;
}

}  // namespace

TPageViews::TPageViews(QWidget* owner, TDataImage& image) : QObject(owner), image_(image) {
  setObjectName("PageViews");
  BuildPopupLists(owner);
  BuildPages(owner);
  WireChoiceEdits();
  WireFlagLists();
  WireFaultRelayEdits();
  WireNumericEdits();
  WireSettingsEdits();
}

TStringGrid* TPageViews::StringGrid(int n) const {
  return n >= 1 && n <= 21 ? grids_[n] : nullptr;
}

QWidget* TPageViews::Sheet(const QString& name) {
  auto* sheet = new QWidget;
  sheet->setObjectName(name);
  return sheet;
}

QWidget* TPageViews::GridSheet(const QString& name, QWidget* grid) {
  QWidget* sheet = Sheet(name);
  QVBoxLayout* layout = FillLayout(sheet);
  if (grid) layout->addWidget(grid);
  return sheet;
}

QWidget* TPageViews::ListSheet(const QString& name, TglAskListBox* list) {
  QWidget* sheet = Sheet(name);
  FillLayout(sheet)->addWidget(list);
  return sheet;
}

TStringGrid* TPageViews::MakeGrid(int n, int cols, int rows, int fixedCols, int fixedRows,
                                  int tag) {
  auto* grid = new TStringGrid(QString("StringGrid%1").arg(n), cols, rows, fixedCols, fixedRows);
  grid->SetTag(tag);
  grid->SetDefaultRowHeight(Design::Px(DesignRowHeight));
  grids_[n] = grid;
  grid->SetEqualColumns(true);
  return grid;
}

TglAskListBox* TPageViews::MakeList(const QString& name, const QString& b1, const QString& b2,
                                    int width) {
  auto* list = new TglAskListBox;
  list->setObjectName(name);
  list->SetButtons(b1, b2, Design::Px(width));
  return list;
}

void TPageViews::BuildPopupLists(QWidget* owner) {
  using B = TPopupList::TBanner;
  MenuTypeSensor = new TPopupList("MenuTypeSensor", B::Vertical, owner);
  MenuFilter = new TPopupList("MenuFilter", B::Horizontal, owner);
  MenuComma = new TPopupList("MenuComma", B::Horizontal, owner);
  MenuRelay = new TPopupList("MenuRelay", B::Vertical, owner);
  KXCMenu = new TPopupList("KXCMenu", B::Vertical, owner);
  MenuLogicCharter = new TPopupList("MenuLogicCharter", B::Horizontal, owner);
  MenuLogicRelay = new TPopupList("MenuLogicRelay", B::Horizontal, owner);
  MenuFilterReley = new TPopupList("MenuFilterReley", B::Horizontal, owner);
}

void TPageViews::BuildPages(QWidget* owner) {
  glPageControl1 = new TglPageControl(owner);
  glPageControl1->setObjectName("glPageControl1");
  TglPageControl* pc = glPageControl1;

  pc->AddPage(GridSheet("TabSheet1", MakeGrid(1, 2, ChannelRows, 1, 1, 0)), "Текущие измерения");
  pc->AddPage(GridSheet("TabSheet2", MakeGrid(2, 2, ChannelRows, 1, 1, 0)),
              "Последний законченный цикл");
  pc->AddPage(GridSheet("TabSheet3", MakeGrid(3, 2, ChannelRows, 1, 0, 0)), "Типы датчиков");
  glAskListBox1 = MakeList("glAskListBox1", "Трехпроводка", "Четырехпроводка", 120);
  pc->AddPage(ListSheet("TabSheet4", glAskListBox1), "Тип соединения");
  glAskListBox2 = MakeList("glAskListBox2", "Проверять", "Не проверять", 100);
  pc->AddPage(ListSheet("TabSheet5", glAskListBox2), "Проверка обрыва");
  pc->AddPage(GridSheet("TabSheet6", MakeGrid(17, 2, ChannelRows, 1, 0, 0)), "КХС");
  glAskListBox4 = MakeList("glAskListBox4", "Извлекать", "Не извлекать", 100);
  pc->AddPage(ListSheet("TabSheet7", glAskListBox4), "Корень");
  pc->AddPage(GridSheet("TabSheet8", MakeGrid(4, 2, ChannelRows, 1, 0, 0)), "Фильтр");
  pc->AddPage(GridSheet("TabSheet9", MakeGrid(5, 2, ChannelRows, 1, 0, 0)), "Запятые");

  glPageControl2 = new TglPageControl;
  glPageControl2->setObjectName("glPageControl2");
  glPageControl2->AddPage(GridSheet("TabSheet17", MakeGrid(6, 2, ChannelRows, 1, 0, 0)),
                          "Минимумы");
  glPageControl2->AddPage(GridSheet("TabSheet18", MakeGrid(7, 2, ChannelRows, 1, 0, 1)),
                          "Максимумы");
  pc->AddPage(GridSheet("TabSheet10", nullptr), "Физические значения");

  glPageControl3 = new TglPageControl;
  glPageControl3->setObjectName("glPageControl3");
  const char* setpointPages[] = {"Первые", "Вторые", "Третие", "Четвертые"};
  for (int k = 0; k < 4; ++k)
    glPageControl3->AddPage(
        GridSheet(QString("TabSheet%1").arg(19 + k), MakeGrid(8 + k, 2, ChannelRows, 1, 0, 2 + k)),
        setpointPages[k]);
  pc->AddPage(GridSheet("TabSheet11", nullptr), "Уставки");

  pc->AddPage(GridSheet("TabSheet12", MakeGrid(12, 2, ChannelRows, 1, 0, 6)), "Гистерезис");

  glPageControl4 = new TglPageControl;
  glPageControl4->setObjectName("glPageControl4");
  const char* relayPages[] = {"Первой уставки", "Второй уставки", "Третьей уставки",
                              "Четвертой уставки"};
  for (int k = 0; k < 4; ++k)
    glPageControl4->AddPage(
        GridSheet(QString("TabSheet%1").arg(23 + k), MakeGrid(13 + k, 2, ChannelRows, 1, 0, k)),
        relayPages[k]);
  glPageControl4->AddPage(BuildFaultRelayPage(), "Дополнительное");
  glAskListBox5 = MakeList("glAskListBox5", "Прибор", "Компьютер", 90);
  glPageControl4->AddPage(ListSheet("TabSheet28", glAskListBox5), "Управление реле");
  glAskListBox6 = MakeList("glAskListBox6", "Включено", "Выключено", 100);
  glPageControl4->AddPage(ListSheet("TabSheet29", glAskListBox6), "Тест реле");
  pc->AddPage(GridSheet("TabSheet13", nullptr), "Реле");

  glPageControl5 = new TglPageControl;
  glPageControl5->setObjectName("glPageControl5");
  const char* logicPages[] = {"Первых уставок", "Вторых уставок", "Третих уставок",
                              "Четвертых уставок"};
  for (int k = 0; k < 4; ++k) {
    TStringGrid* grid = MakeGrid(18 + k, 4, LogicRows, 1, 1, k);
    grid->SetHeaderLines(2);
    glPageControl5->AddPage(GridSheet(QString("TabSheet%1").arg(31 + k), grid), logicPages[k]);
  }
  pc->AddPage(GridSheet("TabSheet30", nullptr), "Логика реле");

  pc->AddPage(BuildSettingsPage(), "Дополнительно");

  auto* archive = new TArchiveGrid("StringGrid80");
  archiveGrid_ = archive;
  archive->SetDefaultRowHeight(Design::Px(DesignRowHeight));
  archive->SetColWidth(0, Design::Px(64));
  archive->SetColWidth(1, Design::Px(148));
  for (int c = 2; c < archive->ColCount(); ++c) archive->SetColWidth(c, Design::Px(64));
  pc->AddPage(GridSheet("TabSheet15", archive), "Архив измерений");

  // The sheets of the nested page controls were made empty above; put the controls in now.
  const std::pair<int, TglPageControl*> nested[] = {
      {9, glPageControl2}, {10, glPageControl3}, {12, glPageControl4}, {13, glPageControl5}};
  for (const auto& [index, control] : nested) {
    QLayout* layout = pc->Page(index)->layout();
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(control);
  }
  for (int n = 1; n <= 21; ++n) gridList_.append(grids_[n]);
}

QWidget* TPageViews::BuildFaultRelayPage() {
  QWidget* sheet = Sheet("TabSheet27");
  auto* layout = new QGridLayout(sheet);
  GroupBox7 = new QGroupBox("Реле не нормы прибора");
  GroupBox7->setObjectName("GroupBox7");
  GroupBox8 = new QGroupBox("Реле не нормы датчиков");
  GroupBox8->setObjectName("GroupBox8");
  auto makeBox = [](QGroupBox* box, const QString& comboName, const QString& check1Name,
                    const QString& check1Text, const QString& check2Name, QComboBox** combo,
                    QCheckBox** check1, QCheckBox** check2) {
    auto* boxLayout = new QVBoxLayout(box);
    *combo = new QComboBox(box);
    (*combo)->setObjectName(comboName);
    (*combo)->setMaxVisibleItems(12);
    *check1 = new QCheckBox(check1Text, box);
    (*check1)->setObjectName(check1Name);
    *check2 = new QCheckBox("Реакция со второго раза", box);
    (*check2)->setObjectName(check2Name);
    boxLayout->addWidget(*combo);
    boxLayout->addWidget(*check1);
    boxLayout->addWidget(*check2);
    boxLayout->addStretch(1);
  };
  makeBox(GroupBox7, "ComboBox1", "CheckBox1", "Включать по неисправности", "CheckBox3", &ComboBox1,
          &CheckBox1, &CheckBox3);
  makeBox(GroupBox8, "ComboBox6", "CheckBox2", "Выключать по неисправности", "CheckBox4",
          &ComboBox6, &CheckBox2, &CheckBox4);
  layout->addWidget(GroupBox7, 0, 0);
  layout->addWidget(GroupBox8, 0, 1);
  layout->setRowStretch(1, 1);
  return sheet;
}

QLabel* TPageViews::MakeLabel(int n, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString("Label%1").arg(n));
  labels_[n] = label;
  return label;
}

QWidget* TPageViews::BuildSettingsPage() {
  auto* content = new QWidget;
  auto* page = new QGridLayout(content);
  auto group = [](const QString& name, const QString& title) {
    auto* box = new QGroupBox(title);
    box->setObjectName(name);
    return box;
  };

  QGroupBox* clock = group("GroupBox1", "Дата и время");
  auto* clockLayout = new QGridLayout(clock);
  DateTimePicker1 = new QDateEdit(clock);
  DateTimePicker1->setObjectName("DateTimePicker1");
  DateTimePicker1->setCalendarPopup(true);
  DateTimePicker1->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  DateTimePicker2 = new QTimeEdit(clock);
  DateTimePicker2->setObjectName("DateTimePicker2");
  DateTimePicker2->setDisplayFormat("HH:mm:ss");
  Button1 = new QPushButton("Записать", clock);
  Button1->setObjectName("Button1");
  Button2 = new QPushButton("Записать системное", clock);
  Button2->setObjectName("Button2");
  clockLayout->addWidget(DateTimePicker1, 0, 0);
  clockLayout->addWidget(DateTimePicker2, 0, 1);
  clockLayout->addWidget(Button1, 1, 0);
  clockLayout->addWidget(Button2, 1, 1);

  QGroupBox* passwords = group("GroupBox2", "Пароли");
  auto* passwordLayout = new QGridLayout(passwords);
  CSpinEdit2 = new TCSpinEdit("CSpinEdit2", 0, 9999, passwords);
  passwordLayout->addWidget(MakeLabel(3, "Общий:", passwords), 0, 0);
  passwordLayout->addWidget(CSpinEdit2, 0, 1);
  passwordLayout->setColumnStretch(2, 1);

  QGroupBox* interface = group("GroupBox3", "Интерфейс");
  auto* interfaceLayout = new QGridLayout(interface);
  CSpinEdit3 = new TCSpinEdit("CSpinEdit3", 1, 255, interface);
  SpeedButton1 = new QToolButton(interface);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setIcon(ImageLists::WriteAddress());
  SpeedButton1->setToolTip("Записать");
  SpeedButton1->setAutoRaise(true);
  ComboBox2 = new QComboBox(interface);
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->addItem("ModBus RTU");
  ComboBox3 = new QComboBox(interface);
  ComboBox3->setObjectName("ComboBox3");
  ComboBox3->addItems({" 9 600", "19 200"});
  interfaceLayout->addWidget(MakeLabel(4, "Адрес:", interface), 0, 0);
  interfaceLayout->addWidget(CSpinEdit3, 0, 1);
  interfaceLayout->addWidget(SpeedButton1, 0, 2);
  interfaceLayout->addWidget(MakeLabel(5, "Протокол:", interface), 1, 0);
  interfaceLayout->addWidget(ComboBox2, 1, 1, 1, 2);
  interfaceLayout->addWidget(MakeLabel(6, "Скорость:", interface), 2, 0);
  interfaceLayout->addWidget(ComboBox3, 2, 1, 1, 2);

  QGroupBox* periods = group("GroupBox5", "Периоды измерения и архивации");
  auto* periodLayout = new QGridLayout(periods);
  Edit1 = new QLineEdit(periods);
  Edit1->setObjectName("Edit1");
  CSpinEdit1 = new TCSpinEdit("CSpinEdit1", 0, 65535, periods);
  Edit1->setMaximumWidth(Design::Px(72));
  CSpinEdit1->setMaximumWidth(Design::Px(72));
  periodLayout->addWidget(MakeLabel(1, QString(), periods), 0, 0, 1, 3);
  periodLayout->addWidget(MakeLabel(2, "Период измерения:", periods), 1, 0);
  periodLayout->addWidget(Edit1, 1, 1);
  periodLayout->addWidget(MakeLabel(23, "0 - номинальный", periods), 1, 2);
  periodLayout->addWidget(MakeLabel(10, "Период архивации:", periods), 2, 0);
  periodLayout->addWidget(CSpinEdit1, 2, 1);
  periodLayout->addWidget(MakeLabel(24, "(в периодах изм.)", periods), 2, 2);
  periodLayout->addWidget(MakeLabel(25, QString(), periods), 3, 1, 1, 2);

  QGroupBox* state = group("GroupBox6", "Состояние");
  auto* stateLayout = new QGridLayout(state);
  Image1 = new QLabel(state);
  Image1->setObjectName("Image1");
  Image1->setFixedSize(ImageLists::StateImageSize, ImageLists::StateImageSize);
  stateLayout->addWidget(Image1, 0, 0);
  stateLayout->addWidget(MakeLabel(7, QString(), state), 0, 1);
  stateLayout->addWidget(MakeLabel(8, "Текущая архивная запись", state), 1, 0, 1, 2);
  stateLayout->addWidget(MakeLabel(9, QString(), state), 1, 2);
  stateLayout->setColumnStretch(1, 1);

  QGroupBox* configuration = group("GroupBox4", "Конфигурация");
  auto* configLayout = new QGridLayout(configuration);
  const int pairs[][2] = {{21, 22}, {19, 20}, {17, 18}, {11, 14}, {12, 15}, {13, 16}};
  const char* captions[] = {
      "ID:", "Имя прибора:", "Версия ПО:", "Кол-во каналов:", "Кол-во реле:", "Глубина архива:"};
  for (int i = 0; i < 6; ++i) {
    configLayout->addWidget(MakeLabel(pairs[i][0], captions[i], configuration), i, 0);
    configLayout->addWidget(MakeLabel(pairs[i][1], QString(), configuration), i, 1);
  }
  configLayout->setColumnStretch(1, 1);
  configLayout->setRowStretch(6, 1);

  page->addWidget(clock, 0, 0);
  page->addWidget(passwords, 1, 0);
  page->addWidget(interface, 2, 0);
  page->addWidget(periods, 0, 1, 2, 1);
  page->addWidget(state, 2, 1);
  page->addWidget(configuration, 0, 2, 3, 1);
  page->setRowStretch(3, 1);
  page->setColumnStretch(3, 1);

  QWidget* sheet = Sheet("TabSheet14");
  FillLayout(sheet)->addWidget(Scrolled(content, "TabSheet14"));
  return sheet;
}

void TPageViews::SetFixedTexts(TDateTime programStart) {
  SetGridLabels();
  grids_[2]->SetCells(1, 0, TextForms::DateTimeText(programStart));
  SetListLines();
  SetChoiceItems();
}

void TPageViews::SetGridLabels() {
  grids_[1]->SetCells(0, 0, "Канал");
  grids_[1]->SetCells(1, 0, "Текущее значение");
  grids_[2]->SetCells(0, 0, "Измерено");
  for (int n : {3, 4, 5, 13, 14, 15, 16, 17}) {
    grids_[n]->SetCells(0, 0, "Для всех каналов");
    grids_[n]->SetCells(1, 0, "Нажмите здесь для установки всех каналов");
  }
  for (int n = 6; n <= 12; ++n) {
    grids_[n]->SetCells(0, 0, "Для всех");
    grids_[n]->SetCells(1, 0, "0");
  }
  const std::pair<int, const char*> prefixes[] = {
      {1, "Текущее значение "},
      {2, "Значение последнего законченого цикла "},
      {3, "Тип датчика "},
      {4, "Фильтр "},
      {5, "Запятая "},
      {6, "Минимум "},
      {7, "Максимум "},
      {8, "Первая уставка "},
      {9, "Вторая уставка "},
      {10, "Третия уставка "},
      {11, "Четвертая уставка "},
      {12, "Гистерезис "},
      {13, "Реле первой уставки "},
      {14, "Реле второй уставки "},
      {15, "Реле третий уставки "},
      {16, "Реле четвертой уставки "},
      {17, "КХС "},
  };
  for (const auto& [n, prefix] : prefixes)
    for (int row = 1; row <= MaxChannels; ++row)
      grids_[n]->SetCells(0, row, QString::fromUtf8(prefix) + Nth(row));
  for (int n = 18; n <= 21; ++n) {
    TStringGrid* grid = grids_[n];
    grid->SetCells(0, 0, "Канал");
    grid->SetCells(1, 0, "Логика уставки");
    grid->SetCells(2, 0, "Логика реле при неисправности канала");
    grid->SetCells(3, 0, "Фильтр реле");
    grid->SetCells(0, 1, "Для всех каналов");
    for (int c = 1; c <= 3; ++c) grid->SetCells(c, 1, "Для установки всех каналов");
    for (int ch = 1; ch <= MaxChannels; ++ch) grid->SetCells(0, ch + 1, "Логика " + Nth(ch));
  }
  archiveGrid_->SetCells(0, 0, "№ записи");
  archiveGrid_->SetCells(1, 0, "Дата и время");
  for (int ch = 1; ch <= MaxChannels; ++ch)
    archiveGrid_->SetCells(ch + 1, 0, "Канал № " + QString::number(ch));
}

void TPageViews::SetListLines() {
  const std::pair<TglAskListBox*, QString> forAll[] = {
      {glAskListBox1, "Тип соединения для всех каналов"},
      {glAskListBox2, "Проверка обрыва для всех каналов"},
      {glAskListBox4, "Извлечение корня для всех каналов"},
      {glAskListBox5, "Для всех реле:"},
      {glAskListBox6, "Для всех реле:"},
  };
  for (const auto& [list, text] : forAll) {
    list->Clear();
    list->AddLine(text);
  }
  for (int n = 1; n <= 32; ++n) {
    const QString number = QString::number(n);
    glAskListBox1->AddLine("Тип соединения " + Nth(n));
    glAskListBox2->AddLine("Проверка на обрыв " + Nth(n));
    glAskListBox4->AddLine("Извлечение корня " + Nth(n));
    glAskListBox5->AddLine(number + "-ым реле управляет:");
    glAskListBox6->AddLine(number + "-ое реле:");
  }
}

void TPageViews::SetChoiceItems() {
  MenuTypeSensor->SetItems(ChoiceLists::SensorTypes());
  MenuFilter->SetItems(ChoiceLists::Filters());
  MenuComma->SetItems(ChoiceLists::Commas());
  MenuRelay->SetItems(ChoiceLists::Relays());
  KXCMenu->SetItems(ChoiceLists::ColdJunctions());
  MenuLogicCharter->SetItems(ChoiceLists::LogicConditions());
  MenuLogicRelay->SetItems(ChoiceLists::LogicFaults());
  MenuFilterReley->SetItems(ChoiceLists::LogicFilters());
  MenuFilterReley->SetBannerText("Фильтр реле");
  for (QComboBox* combo : {ComboBox1, ComboBox6}) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    combo->addItems(ChoiceLists::Relays());
    combo->setCurrentIndex(0);
  }
}

uint8_t TPageViews::PageJobCode() const {
  const int page = glPageControl1->CurrentIndex();
  switch (page) {
    case 9:
      return static_cast<uint8_t>(9 + glPageControl2->CurrentIndex());
    case 10:
      return static_cast<uint8_t>(11 + glPageControl3->CurrentIndex());
    case 11:
      return 15;
    case 12:
      return static_cast<uint8_t>(16 + glPageControl4->CurrentIndex());
    case 13:
      return static_cast<uint8_t>(23 + glPageControl5->CurrentIndex());
    case 14:
      return 30;
    case 15:
      return 34;
    default:
      return static_cast<uint8_t>(page);  // pages 0..8 show groups 0..8
  }
}

void TPageViews::FitGridColumns() {
  for (TStringGrid* grid : gridList_) grid->FitColumns();
}

int TPageViews::PreferredWidth() const {
  const QFontMetrics metrics(glPageControl1->font());
  auto widest = [&metrics](const QStringList& texts) {
    int width = 0;
    for (const QString& text : texts) width = qMax(width, metrics.horizontalAdvance(text));
    return width;
  };
  const QStringList logicCaptions =
      ChoiceLists::LogicConditions() + ChoiceLists::LogicFaults() + ChoiceLists::LogicFilters();
  const std::pair<int, QStringList> captions[] = {
      {3, ChoiceLists::SensorTypes()},
      {4, ChoiceLists::Filters()},
      {5, ChoiceLists::Commas()},
      {17, ChoiceLists::ColdJunctions()},
      {13, ChoiceLists::Relays()},
      {14, ChoiceLists::Relays()},
      {15, ChoiceLists::Relays()},
      {16, ChoiceLists::Relays()},
      {18, logicCaptions},
      {19, logicCaptions},
      {20, logicCaptions},
      {21, logicCaptions},
  };
  const int cellPadding = Design::Px(12);
  int width = 0;
  for (int n = 1; n <= 21; ++n) {
    const TStringGrid* grid = grids_[n];
    QStringList texts;
    // The logic grids' headers wrap into two lines and so never set the width.
    const int firstRow = n >= 18 ? 1 : 0;
    for (int row = firstRow; row < grid->RowCount(); ++row)
      for (int col = 0; col < grid->ColCount(); ++col) texts << grid->Cells(col, row);
    for (const auto& [grid_, list] : captions)
      if (grid_ == n) texts += list;
    width = qMax(width, grid->ColCount() * (widest(texts) + cellPadding));
  }
  return width + Design::Px(40);
}
