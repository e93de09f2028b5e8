// The fixed texts of the window as the user sees them: tab captions, row labels, headers, for-all
// rows, button list lines, every choice list, the toolbar and the menu.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "shell/window/StatusBar.h"
#include "views/ImageLists.h"
#include "views/PageViews.h"

namespace {

QString Nth(int n) {
  return QString::number(n) + "-го канала";
}

QStringList Captions(const TglPageControl* control) {
  QStringList captions;
  for (int i = 0; i < control->Count(); ++i) captions << control->Caption(i);
  return captions;
}

QStringList PageNames(const TglPageControl* control) {
  QStringList names;
  for (int i = 0; i < control->Count(); ++i) names << control->Page(i)->objectName();
  return names;
}

QStringList Items(const TPopupList* list) {
  QStringList items;
  for (int i = 0; i < list->ItemCount(); ++i) {
    items << list->ItemCaption(i);
    if (list->ItemTag(i) != i) items << QString("wrong tag %1").arg(list->ItemTag(i));
  }
  return items;
}

QStringList Lines(const TglAskListBox* list) {
  QStringList lines;
  for (int i = 0; i < list->Count(); ++i) lines << list->LineText(i);
  return lines;
}

QStringList ActionTexts(const QList<QAction*>& actions) {
  QStringList texts;
  for (const QAction* action : actions) texts << (action->isSeparator() ? "-" : action->text());
  return texts;
}

}  // namespace

class TestFixedTexts : public QObject {
  Q_OBJECT

 private slots:
  void init() { fixture_ = std::make_unique<TFormFixture>(); }
  void cleanup() { fixture_.reset(); }

  void WindowCaption() {
    QCOMPARE(fixture_->Form().windowTitle(), QString("Конфигуратор К7104Т(С)1 К7104Е025"));
  }

  void TabCaptions_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("sheets");
    QTest::newRow("glPageControl1")
        << "glPageControl1"
        << QStringList{"Текущие измерения",
                       "Последний законченный цикл",
                       "Типы датчиков",
                       "Тип соединения",
                       "Проверка обрыва",
                       "КХС",
                       "Корень",
                       "Фильтр",
                       "Запятые",
                       "Физические значения",
                       "Уставки",
                       "Гистерезис",
                       "Реле",
                       "Логика реле",
                       "Дополнительно",
                       "Архив измерений"}
        << QStringList{"TabSheet1",  "TabSheet2",  "TabSheet3",  "TabSheet4",
                       "TabSheet5",  "TabSheet6",  "TabSheet7",  "TabSheet8",
                       "TabSheet9",  "TabSheet10", "TabSheet11", "TabSheet12",
                       "TabSheet13", "TabSheet30", "TabSheet14", "TabSheet15"};
    QTest::newRow("glPageControl2") << "glPageControl2" << QStringList{"Минимумы", "Максимумы"}
                                    << QStringList{"TabSheet17", "TabSheet18"};
    QTest::newRow("glPageControl3")
        << "glPageControl3" << QStringList{"Первые", "Вторые", "Третие", "Четвертые"}
        << QStringList{"TabSheet19", "TabSheet20", "TabSheet21", "TabSheet22"};
    QTest::newRow("glPageControl4")
        << "glPageControl4"
        << QStringList{"Первой уставки", "Второй уставки",  "Третьей уставки", "Четвертой уставки",
                       "Дополнительное", "Управление реле", "Тест реле"}
        << QStringList{"TabSheet23", "TabSheet24", "TabSheet25", "TabSheet26",
                       "TabSheet27", "TabSheet28", "TabSheet29"};
    QTest::newRow("glPageControl5")
        << "glPageControl5"
        << QStringList{"Первых уставок", "Вторых уставок", "Третих уставок", "Четвертых уставок"}
        << QStringList{"TabSheet31", "TabSheet32", "TabSheet33", "TabSheet34"};
  }
  void TabCaptions() {
    QFETCH(QString, control);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, sheets);
    auto* pages = fixture_->Form().findChild<TglPageControl*>(control);
    QVERIFY(pages);
    QCOMPARE(Captions(pages), captions);
    QCOMPARE(PageNames(pages), sheets);
    QCOMPARE(pages->CurrentIndex(), 0);
  }

  void ChannelGridLabels_data() {
    QTest::addColumn<int>("grid");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("cell00");
    QTest::addColumn<QString>("cell10");
    const QString all = "Для всех каналов";
    const QString click = "Нажмите здесь для установки всех каналов";
    QTest::newRow("1") << 1 << "Текущее значение "
                       << "Канал"
                       << "Текущее значение";
    QTest::newRow("2") << 2 << "Значение последнего законченого цикла "
                       << "Измерено"
                       << "";
    QTest::newRow("3") << 3 << "Тип датчика " << all << click;
    QTest::newRow("4") << 4 << "Фильтр " << all << click;
    QTest::newRow("5") << 5 << "Запятая " << all << click;
    QTest::newRow("6") << 6 << "Минимум "
                       << "Для всех"
                       << "0";
    QTest::newRow("7") << 7 << "Максимум "
                       << "Для всех"
                       << "0";
    QTest::newRow("8") << 8 << "Первая уставка "
                       << "Для всех"
                       << "0";
    QTest::newRow("9") << 9 << "Вторая уставка "
                       << "Для всех"
                       << "0";
    QTest::newRow("10") << 10 << "Третия уставка "
                        << "Для всех"
                        << "0";
    QTest::newRow("11") << 11 << "Четвертая уставка "
                        << "Для всех"
                        << "0";
    QTest::newRow("12") << 12 << "Гистерезис "
                        << "Для всех"
                        << "0";
    QTest::newRow("13") << 13 << "Реле первой уставки " << all << click;
    QTest::newRow("14") << 14 << "Реле второй уставки " << all << click;
    QTest::newRow("15") << 15 << "Реле третий уставки " << all << click;
    QTest::newRow("16") << 16 << "Реле четвертой уставки " << all << click;
    QTest::newRow("17") << 17 << "КХС " << all << click;
  }
  void ChannelGridLabels() {
    QFETCH(int, grid);
    QFETCH(QString, prefix);
    QFETCH(QString, cell00);
    QFETCH(QString, cell10);
    const TStringGrid* g =
        fixture_->Form().findChild<TStringGrid*>(QString("StringGrid%1").arg(grid));
    QVERIFY(g);
    QCOMPARE(g->ColCount(), 2);
    QCOMPARE(g->RowCount(), 33);
    QCOMPARE(g->FixedCols(), 1);
    QCOMPARE(g->FixedRows(), grid <= 2 ? 1 : 0);
    QCOMPARE(g->Cells(0, 0), cell00);
    if (grid != 2) QCOMPARE(g->Cells(1, 0), cell10);
    for (int n = 1; n <= 32; ++n) QCOMPARE(g->Cells(0, n), prefix + Nth(n));
  }

  void LastCycleHeaderShowsProgramStart() {
    const QString header = fixture_->Form().Pages().StringGrid(2)->Cells(1, 0);
    QVERIFY2(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4}( \\d\\d?:\\d\\d:\\d\\d)?$")
                 .match(header)
                 .hasMatch(),
             qPrintable(header));
  }

  void GridTags() {
    TPageViews& pages = fixture_->Form().Pages();
    for (int n = 6; n <= 12; ++n) QCOMPARE(pages.StringGrid(n)->Tag(), n - 6);
    for (int n = 13; n <= 16; ++n) QCOMPARE(pages.StringGrid(n)->Tag(), n - 13);
    for (int n = 18; n <= 21; ++n) QCOMPARE(pages.StringGrid(n)->Tag(), n - 18);
  }

  void LogicGrids() {
    for (int n = 18; n <= 21; ++n) {
      const TStringGrid* g = fixture_->Form().Pages().StringGrid(n);
      QCOMPARE(g->ColCount(), 4);
      QCOMPARE(g->RowCount(), 34);
      QCOMPARE(g->FixedRows(), 1);
      const QStringList header{g->Cells(0, 0), g->Cells(1, 0), g->Cells(2, 0), g->Cells(3, 0)};
      QCOMPARE(header, (QStringList{"Канал", "Логика уставки",
                                    "Логика реле при неисправности канала", "Фильтр реле"}));
      QCOMPARE(g->Cells(0, 1), QString("Для всех каналов"));
      for (int c = 1; c <= 3; ++c) QCOMPARE(g->Cells(c, 1), QString("Для установки всех каналов"));
      for (int ch = 1; ch <= 32; ++ch) QCOMPARE(g->Cells(0, ch + 1), "Логика " + Nth(ch));
    }
  }

  void ArchiveGrid() {
    const TArchiveGrid* g = fixture_->Form().Pages().ArchiveGrid();
    QCOMPARE(g->ColCount(), 34);
    QCOMPARE(g->RowCount(), 2);
    QCOMPARE(g->FixedCols(), 2);
    QCOMPARE(g->FixedRows(), 1);
    QCOMPARE(g->Cells(0, 0), QString("№ записи"));
    QCOMPARE(g->Cells(1, 0), QString("Дата и время"));
    for (int n = 1; n <= 32; ++n) QCOMPARE(g->Cells(n + 1, 0), "Канал № " + QString::number(n));
    for (const TStringGrid* grid : fixture_->Form().Pages().GridList())
      QVERIFY(grid->objectName() != g->objectName());
  }

  void GridListInOrder() {
    const QList<TStringGrid*>& list = fixture_->Form().Pages().GridList();
    QCOMPARE(list.size(), 21);
    for (int i = 0; i < 21; ++i)
      QCOMPARE(list[i]->objectName(), QString("StringGrid%1").arg(i + 1));
  }

  void ButtonLists_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("button1");
    QTest::addColumn<QString>("button2");
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("1") << "glAskListBox1"
                       << "Трехпроводка"
                       << "Четырехпроводка"
                       << "Тип соединения для всех каналов"
                       << "Тип соединения "
                       << "-го канала";
    QTest::newRow("2") << "glAskListBox2"
                       << "Проверять"
                       << "Не проверять"
                       << "Проверка обрыва для всех каналов"
                       << "Проверка на обрыв "
                       << "-го канала";
    QTest::newRow("4") << "glAskListBox4"
                       << "Извлекать"
                       << "Не извлекать"
                       << "Извлечение корня для всех каналов"
                       << "Извлечение корня "
                       << "-го канала";
    QTest::newRow("5") << "glAskListBox5"
                       << "Прибор"
                       << "Компьютер"
                       << "Для всех реле:"
                       << ""
                       << "-ым реле управляет:";
    QTest::newRow("6") << "glAskListBox6"
                       << "Включено"
                       << "Выключено"
                       << "Для всех реле:"
                       << ""
                       << "-ое реле:";
  }
  void ButtonLists() {
    QFETCH(QString, list);
    QFETCH(QString, button1);
    QFETCH(QString, button2);
    QFETCH(QString, line0);
    QFETCH(QString, before);
    QFETCH(QString, after);
    const auto* l = fixture_->Form().findChild<TglAskListBox*>(list);
    QVERIFY(l);
    QCOMPARE(l->Count(), 33);
    QStringList expected{line0};
    for (int n = 1; n <= 32; ++n) expected << before + QString::number(n) + after;
    QCOMPARE(Lines(l), expected);
    for (int line = 0; line < 33; ++line) {
      QCOMPARE(l->Button(line, 1)->text(), button1);
      QCOMPARE(l->Button(line, 2)->text(), button2);
    }
  }

  void SensorTypes() {
    const QStringList items = Items(fixture_->Form().Pages().MenuTypeSensor);
    QCOMPARE(items.size(), 48);
    QCOMPARE(items[0], QString("0. Нет датчика"));
    QCOMPARE(items[1], QString("1. Проверка сопротивления третьего провода"));
    QCOMPARE(items[9], QString("9. Проверка 1 В"));
    QCOMPARE(items[13], QString("13. Термосопротивление 100 П'"));
    QCOMPARE(items[16], QString("16. Термосопротивление 50 М'"));
    QCOMPARE(items[25], QString("25. Датчик тока 4 - 20 мА"));
    QCOMPARE(items[28], QString("28. Зарезервировано"));
    QCOMPARE(items[42], QString("42. Термопара ТНН (N)"));
    QCOMPARE(items[47], QString("47. Термопара PC-25"));
    for (int k = 0; k < 48; ++k) QVERIFY(items[k].startsWith(QString::number(k) + ". "));
  }

  // Which letters are Latin matters: the thermocouple and resistance letters of the instrument.
  void SensorTypeLatinLetters_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("latin");
    const std::pair<int, const char*> table[] = {
        {21, "M"}, {22, "M"},  {30, "DINL"}, {31, "BPA"}, {32, "BPA"}, {33, "BPA"}, {34, "B"},
        {35, "S"}, {36, "R"},  {37, "XAK"},  {38, "XKL"}, {39, "XKE"}, {40, "MKT"}, {41, "J"},
        {42, "N"}, {44, "PK"}, {45, "PK"},   {46, "PC"},  {47, "PC"},  {13, ""},    {15, ""},
        {19, ""},  {20, ""},   {43, ""},     {0, ""},     {27, ""},
    };
    for (const auto& [code, latin] : table)
      QTest::newRow(qPrintable(QString::number(code))) << code << latin;
  }
  void SensorTypeLatinLetters() {
    QFETCH(int, code);
    QFETCH(QString, latin);
    const QString caption = fixture_->Form().Pages().MenuTypeSensor->ItemCaption(code);
    QString found;
    for (QChar c : caption)
      if (c.isLetter() && c.unicode() < 128) found += c;
    QCOMPARE(found, latin);
  }

  void OtherChoiceLists_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("MenuFilter") << "MenuFilter"
                                << QStringList{"Слабый 1",  "Слабый 2",       "Средний 1",
                                               "Средний 2", "Максимальный 1", "Максимальный 2"};
    QTest::newRow("MenuComma") << "MenuComma" << QStringList{"XXXX.", "XXX. X", "XX. XX", "X. XXX"};
    QTest::newRow("MenuLogicCharter")
        << "MenuLogicCharter"
        << QStringList{"При значении меньше уставки", "При значении больше уставки"};
    QTest::newRow("MenuLogicRelay")
        << "MenuLogicRelay" << QStringList{"Не менять значение", "Включить реле", "Выключить реле"};
    QTest::newRow("MenuFilterReley")
        << "MenuFilterReley" << QStringList{"С первого срабатывания", "Со второго срабатывания"};
  }
  void OtherChoiceLists() {
    QFETCH(QString, list);
    QFETCH(QStringList, items);
    const auto* popup = fixture_->Form().findChild<TPopupList*>(list);
    QVERIFY(popup);
    QCOMPARE(Items(popup), items);
  }

  void RelayItems() {
    TPageViews& pages = fixture_->Form().Pages();
    QStringList expected{"Нет реле"};
    for (int k = 1; k <= 32; ++k) expected << "Реле № " + QString::number(k);
    QCOMPARE(Items(pages.MenuRelay), expected);
    for (QComboBox* combo : {pages.ComboBox1, pages.ComboBox6}) {
      QStringList comboItems;
      for (int i = 0; i < combo->count(); ++i) comboItems << combo->itemText(i);
      QCOMPARE(comboItems, expected);
      QCOMPARE(combo->currentIndex(), 0);
    }
  }

  void ColdJunctionItems() {
    const QStringList items = Items(fixture_->Form().Pages().KXCMenu);
    QCOMPARE(items.size(), 33);
    QCOMPARE(items[0], QString("Нет КХС"));
    QCOMPARE(items[1], QString("КХС с 1-го канала"));
    QCOMPARE(items[2], QString("КХС со 2-го канала"));
    QCOMPARE(items[16], QString("КХС с 16го канала"));
    for (int k = 3; k <= 32; ++k)
      if (k != 16) QCOMPARE(items[k], "КХС с " + QString::number(k) + "-го канала");
  }

  void Banners() {
    TPageViews& pages = fixture_->Form().Pages();
    using B = TPopupList::TBanner;
    QCOMPARE(pages.MenuTypeSensor->Banner(), B::Vertical);
    QCOMPARE(pages.MenuRelay->Banner(), B::Vertical);
    QCOMPARE(pages.KXCMenu->Banner(), B::Vertical);
    for (TPopupList* list : {pages.MenuFilter, pages.MenuComma, pages.MenuLogicCharter,
                             pages.MenuLogicRelay, pages.MenuFilterReley})
      QCOMPARE(list->Banner(), B::Horizontal);
    QCOMPARE(pages.MenuFilterReley->BannerText(), QString("Фильтр реле"));
  }

  void FaultRelayControls() {
    TPageViews& pages = fixture_->Form().Pages();
    QCOMPARE(pages.GroupBox7->title(), QString("Реле не нормы прибора"));
    QCOMPARE(pages.GroupBox8->title(), QString("Реле не нормы датчиков"));
    QCOMPARE(pages.CheckBox1->text(), QString("Включать по неисправности"));
    QCOMPARE(pages.CheckBox2->text(), QString("Выключать по неисправности"));
    QCOMPARE(pages.CheckBox3->text(), QString("Реакция со второго раза"));
    QCOMPARE(pages.CheckBox4->text(), QString("Реакция со второго раза"));
    QCOMPARE(pages.CheckBox1->parentWidget(), pages.GroupBox7);
    QCOMPARE(pages.CheckBox4->parentWidget(), pages.GroupBox8);
  }

  void SettingsPageControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const std::pair<const char*, const char*> table[] = {
        {"GroupBox1", "Дата и время"},
        {"GroupBox2", "Пароли"},
        {"GroupBox3", "Интерфейс"},
        {"GroupBox4", "Конфигурация"},
        {"GroupBox5", "Периоды измерения и архивации"},
        {"GroupBox6", "Состояние"},
        {"Button1", "Записать"},
        {"Button2", "Записать системное"},
        {"Label3", "Общий:"},
        {"Label4", "Адрес:"},
        {"Label5", "Протокол:"},
        {"Label6", "Скорость:"},
        {"Label2", "Период измерения:"},
        {"Label23", "0 - номинальный"},
        {"Label10", "Период архивации:"},
        {"Label24", "(в периодах изм.)"},
        {"Label8", "Текущая архивная запись"},
        {"Label21", "ID:"},
        {"Label19", "Имя прибора:"},
        {"Label17", "Версия ПО:"},
        {"Label11", "Кол-во каналов:"},
        {"Label12", "Кол-во реле:"},
        {"Label13", "Глубина архива:"},
    };
    for (const auto& [name, text] : table) QTest::newRow(name) << name << text;
  }
  void SettingsPageControls() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QObject* control = fixture_->Form().findChild<QObject*>(name);
    QVERIFY2(control, qPrintable(name));
    const QString shown = control->property("title").isValid()
                              ? control->property("title").toString()
                              : control->property("text").toString();
    QCOMPARE(shown, text);
  }

  void SettingsPageLists() {
    TPageViews& pages = fixture_->Form().Pages();
    QCOMPARE(pages.ComboBox2->count(), 1);
    QCOMPARE(pages.ComboBox2->itemText(0), QString("ModBus RTU"));
    QCOMPARE(pages.ComboBox3->count(), 2);
    QCOMPARE(pages.ComboBox3->itemText(0), QString(" 9 600"));
    QCOMPARE(pages.ComboBox3->itemText(1), QString("19 200"));
    QCOMPARE(pages.CSpinEdit1->minimum(), 0);
    QCOMPARE(pages.CSpinEdit1->maximum(), 65535);
    QCOMPARE(pages.CSpinEdit2->maximum(), 9999);
    QCOMPARE(pages.CSpinEdit3->minimum(), 1);
    QCOMPARE(pages.CSpinEdit3->maximum(), 255);
    QCOMPARE(pages.SpeedButton1->toolTip(), QString("Записать"));
    QVERIFY(!pages.SpeedButton1->icon().isNull());
  }

  void Toolbar() {
    TMainForm& form = fixture_->Form();
    QStringList names;
    for (QAction* action : Control<QToolBar>(form, "ToolBar1")->actions())
      if (QWidget* w = Control<QToolBar>(form, "ToolBar1")->widgetForAction(action);
          w && !w->objectName().isEmpty())
        names << w->objectName();
    QCOMPARE(names, (QStringList{"ToolButton1", "ToolButton2", "ToolButton3", "ToolButton4",
                                 "ToolButton6", "ToolButton7", "ToolButton8", "ToolButton10",
                                 "ToolButton11", "ToolButton12", "ToolButton9", "ToolButton18",
                                 "CSpinEditAddress", "ToolButton21",
                                 // added after the original buttons
                                 "TrafficMonitorButton"}));
    const std::pair<int, const char*> hints[] = {
        {1, "Новый"},
        {2, "Открыть"},
        {3, "Сохранить"},
        {4, "Настройки порта"},
        {6, "Показывать подсказки"},
        {7, "Просмотр событий"},
        {8, "Соединиться"},
        {10, "Считать текущее"},
        {11, "Считать все"},
        {12, "Записать текущее"},
        {9, "Поиск приборов"},
        {18, "При нажатой кнопке адрес вводится вручную"},
        {21, "Выход"},
    };
    for (const auto& [n, hint] : hints) {
      QToolButton* button = Button(form, QString("ToolButton%1").arg(n));
      QVERIFY(button);
      QCOMPARE(button->toolTip(), QString(hint));
      QVERIFY2(!button->icon().isNull(), hint);
      QVERIFY2(!button->icon().pixmap(16).toImage().isNull(), hint);
    }
    QVERIFY(Button(form, "ToolButton18")->isChecked());
    QVERIFY(!Button(form, "ToolButton8")->isChecked());
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->toolTip(), QString("Адрес прибора"));
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->minimum(), 1);
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->maximum(), 255);
    QCOMPARE(Control<QSpinBox>(form, "CSpinEditAddress")->value(), 1);
  }

  void Menu() {
    TMainForm& form = fixture_->Form();
    QCOMPARE(ActionTexts(Control<QMenuBar>(form, "oxMenu1")->actions()),
             (QStringList{"Файл", "Сервис", "Действие", "Версия", "Вид", "Наладка"}));
    QCOMPARE(ActionTexts(Item(form, "N1")->menu()->actions()),
             (QStringList{"Новый", "Открыть", "Сохранить", "-", "Выход"}));
    QCOMPARE(ActionTexts(Item(form, "N7")->menu()->actions()),
             (QStringList{"Настройки порта", "Адрес вводиться вручную", "Всплывающие подсказки",
                          "Просмотр событий"}));
    // The specified items, then the window's own after a separator.
    QCOMPARE(
        ActionTexts(Item(form, "N11")->menu()->actions()),
        (QStringList{"Соединиться", "-", "Найти приборы", "-", "Считать текущее", "Считать всё",
                     "Записать текущее", "Записать всё", "-", "Продолжить чтение архива"}));
    const std::pair<int, const char*> names[] = {
        {2, "Новый"},           {3, "Открыть"},
        {4, "Сохранить"},       {6, "Выход"},
        {8, "Настройки порта"}, {10, "Всплывающие подсказки"},
        {12, "Соединиться"},    {14, "Считать текущее"},
        {15, "Считать всё"},    {16, "Записать текущее"},
        {17, "Записать всё"},   {18, "Просмотр событий"},
        {21, "Найти приборы"},  {27, "Адрес вводиться вручную"},
        {32, "Версия"},
    };
    for (const auto& [n, caption] : names) {
      QAction* item = form.findChild<QAction*>(QString("N%1").arg(n));
      QVERIFY2(item, qPrintable(QString("N%1").arg(n)));
      QCOMPARE(item->text(), QString(caption));
    }
    QVERIFY(Item(form, "N27")->isChecked());
    QVERIFY(!Item(form, "N12")->isChecked());
  }

  void PictureLists() {
    for (int i = 0; i < ImageLists::ToolbarImageCount; ++i)
      QVERIFY2(!ImageLists::Toolbar(i).isNull(), qPrintable(QString::number(i)));
    QVERIFY(ImageLists::Toolbar(ImageLists::ToolbarImageCount).isNull());
    for (int i = 0; i < ImageLists::ConnectionImageCount; ++i)
      QVERIFY(!ImageLists::Connection(i, 16).isNull());
    for (int i = 0; i < ImageLists::StateImageCount; ++i)
      QCOMPARE(ImageLists::State(i).size(), QSize(41, 41));
  }

  void FoundDeviceTabsAndStatusBar() {
    TMainForm& form = fixture_->Form();
    QCOMPARE(Control<QTabBar>(form, "TabSet1")->count(), 0);
    QVERIFY(!Control<QTabBar>(form, "TabSet1")->isEnabled());
    QVERIFY(Control<QProgressBar>(form, "CGauge")->isHidden());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(Control<QSpinBox>(form, "CSpinEditAddress")->isVisible());
    QVERIFY(Control<QProgressBar>(form, "CGauge")->isHidden());
    QCOMPARE(Control<TStatusBar>(form, "StatusBar")->PanelText(1), QString("Not Progress"));
    QCOMPARE(Control<TStatusBar>(form, "StatusBar")->PanelText(2), QString("OffLine"));
    QVERIFY(Control<TStatusBar>(form, "StatusBar")->PanelText(0).isEmpty());
  }

 private:
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestFixedTexts)
#include "FixedTextsTest.moc"
