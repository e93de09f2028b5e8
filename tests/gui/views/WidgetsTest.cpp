// The reusable controls of the pages: the two-button line list, the popup list with its painted
// banner, the multi-line page control and the string grid.
#include <QHeaderView>
#include <QSignalSpy>

#include "GuiTestSupport.h"
#include "views/AskListBox.h"
#include "views/ChoiceLists.h"
#include "views/PageControl.h"
#include "views/PopupList.h"
#include "views/StringGrid.h"

namespace {

using TState = TglAskListBox::TState;

TglAskListBox* MakeList(QWidget* parent) {
  auto* list = new TglAskListBox(parent);
  list->SetButtons("Трехпроводка", "Четырехпроводка", 120);
  for (int i = 0; i < 33; ++i) list->AddLine(QString("Строка %1").arg(i));
  return list;
}

bool IsBlue(QRgb c) {
  return qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 60;
}
bool IsBlack(QRgb c) {
  return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40;
}
bool IsWhite(QRgb c) {
  return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200;
}

int WhitePixels(const QImage& image, const QRect& area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (IsWhite(image.pixel(x, y))) ++count;
  return count;
}

}  // namespace

class TestWidgets : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = std::make_unique<QWidget>();
    window_->resize(700, 500);
  }
  void cleanup() { window_.reset(); }

  void LineButtonsPushAndRelease() {
    TglAskListBox* list = MakeList(window_.get());
    list->resize(600, 400);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QSignalSpy changed(list, &TglAskListBox::StateChanged);
    QCOMPARE(list->State(3), TState::None);

    list->Button(3, 1)->click();
    QCOMPARE(list->State(3), TState::Button1);
    QVERIFY(list->Button(3, 1)->isChecked());
    QVERIFY(!list->Button(3, 2)->isChecked());
    QCOMPARE(list->ItemIndex(), 3);

    list->Button(3, 2)->click();
    QCOMPARE(list->State(3), TState::Button2);
    QVERIFY(!list->Button(3, 1)->isChecked());

    list->Button(3, 2)->click();  // the pushed one again: none pushed
    QCOMPARE(list->State(3), TState::None);
    QVERIFY(!list->Button(3, 1)->isChecked() && !list->Button(3, 2)->isChecked());

    QCOMPARE(changed.count(), 3);
    for (const QList<QVariant>& call : changed) QCOMPARE(call.at(0).toInt(), 3);
    for (int line = 0; line < 33; ++line)
      if (line != 3) QCOMPARE(list->State(line), TState::None);
  }

  void MouseClickOnAButton() {
    TglAskListBox* list = MakeList(window_.get());
    list->resize(600, 400);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QSignalSpy changed(list, &TglAskListBox::StateChanged);
    QTest::mouseClick(list->Button(1, 2), Qt::LeftButton);
    QCOMPARE(list->State(1), TState::Button2);
    QCOMPARE(changed.count(), 1);
  }

  void SetStateIsQuiet() {
    TglAskListBox* list = MakeList(window_.get());
    QSignalSpy changed(list, &TglAskListBox::StateChanged);
    list->SetState(0, TState::Button2);
    list->SetState(5, TState::Button1);
    list->SetState(5, TState::None);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(list->State(0), TState::Button2);
    QVERIFY(list->Button(0, 2)->isChecked());
    QCOMPARE(list->State(5), TState::None);
    QCOMPARE(list->State(40), TState::None);
    list->SetState(40, TState::Button1);  // no such line: nothing happens
  }

  void ClearLeavesNoLines() {
    TglAskListBox* list = MakeList(window_.get());
    list->Clear();
    QCOMPARE(list->Count(), 0);
    QCOMPARE(list->ItemIndex(), -1);
    list->AddLine("Одна");
    QCOMPARE(list->Count(), 1);
    QCOMPARE(list->Button(0, 1)->text(), QString("Трехпроводка"));
    QCOMPARE(list->Button(0, 1)->width(), 120);
  }

  void ChoosingAnItemGivesItsTag() {
    TPopupList list("MenuTypeSensor", TPopupList::TBanner::Vertical, window_.get());
    list.SetItems(ChoiceLists::SensorTypes());
    QSignalSpy chosen(&list, &TPopupList::ItemChosen);
    list.ChooseItem(21);
    list.ChooseItem(0);
    list.ChooseItem(48);  // no such item
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(chosen[0].at(0).toInt(), 21);
    QCOMPARE(chosen[0].at(1).toString(), QString("21. Термосопротивление 100 M"));
    QCOMPARE(chosen[1].at(0).toInt(), 0);
    list.SetTag(3);
    QCOMPARE(list.Tag(), 3);
  }

  void RelayItemsCarryTheirNumber() {
    TPopupList list("MenuRelay", TPopupList::TBanner::Vertical, window_.get());
    list.SetItems(ChoiceLists::Relays());
    QSignalSpy chosen(&list, &TPopupList::ItemChosen);
    list.ChooseItem(7);
    QCOMPARE(chosen[0].at(0).toInt(), 7);
    QCOMPARE(chosen[0].at(1).toString(), QString("Реле № 7"));
  }

  // The banner is painted: blue to black with white text, upright along the left edge.
  void VerticalBannerIsPainted() {
    TPopupList list("KXCMenu", TPopupList::TBanner::Vertical, window_.get());
    list.SetItems(ChoiceLists::ColdJunctions());
    list.SetBannerText("Пожалуйста выбирите KXC для всех каналов");
    list.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QImage image = list.grab().toImage();
    const int strip = list.contentsMargins().left();
    QVERIFY(strip > 10);
    QVERIFY(IsBlue(image.pixel(strip / 4, image.height() - 6)));
    QVERIFY(IsBlack(image.pixel(strip / 4, 6)));
    QVERIFY(WhitePixels(image, QRect(0, 0, strip, image.height())) > 50);
    QVERIFY(!IsBlue(image.pixel(image.width() - 6, image.height() / 2)));
    QVERIFY(image.height() >= QFontMetrics(list.font()).horizontalAdvance(list.BannerText()));
    list.hide();
  }

  void HorizontalBannerFitsItsText() {
    TPopupList list("MenuComma", TPopupList::TBanner::Horizontal, window_.get());
    list.SetItems(ChoiceLists::Commas());
    list.SetBannerText("Пожалуйста выбирите запятую для всех каналов");
    list.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QImage image = list.grab().toImage();
    const int band = list.contentsMargins().top();
    QVERIFY(band > 10);
    QVERIFY(IsBlue(image.pixel(6, band / 4)));
    QVERIFY(IsBlack(image.pixel(image.width() - 6, band / 4)));
    QVERIFY(WhitePixels(image, QRect(0, 0, image.width(), band)) > 50);
    QVERIFY(image.width() > QFontMetrics(list.font()).horizontalAdvance(list.BannerText()));
    list.hide();
  }

  void PageControlTabs() {
    auto* pages = new TglPageControl(window_.get());
    pages->resize(600, 400);
    for (const char* caption : {"Первая", "Вторая", "Третья"}) pages->AddPage(new QWidget, caption);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QSignalSpy changed(pages, &TglPageControl::Changed);
    QCOMPARE(pages->CurrentIndex(), 0);
    QVERIFY(pages->TabButton(0)->isChecked());
    QTest::mouseClick(pages->TabButton(2), Qt::LeftButton);
    QCOMPARE(pages->CurrentIndex(), 2);
    QCOMPARE(pages->CurrentPage(), pages->Page(2));
    QVERIFY(pages->TabButton(2)->isChecked() && !pages->TabButton(0)->isChecked());
    QTest::mouseClick(pages->TabButton(2), Qt::LeftButton);  // already current
    pages->SetCurrentIndex(1);
    pages->SetCurrentIndex(7);  // no such page
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed[0].at(0).toInt(), 2);
    QCOMPARE(changed[1].at(0).toInt(), 1);
  }

  void TabsWrapIntoLines() {
    auto* pages = new TglPageControl(window_.get());
    for (int i = 0; i < 16; ++i) pages->AddPage(new QWidget, QString("Страница номер %1").arg(i));
    window_->show();
    pages->resize(300, 400);
    QApplication::processEvents();
    QVERIFY(pages->TabButton(15)->y() > pages->TabButton(0)->y());
    for (int i = 0; i < 16; ++i) QVERIFY(pages->TabButton(i)->geometry().right() <= 300);
    pages->resize(5000, 400);
    QApplication::processEvents();
    QCOMPARE(pages->TabButton(15)->y(), pages->TabButton(0)->y());
  }

  void GridCellsWithFixedRowAndColumns() {
    TStringGrid grid("StringGrid80", 34, 2, 2, 1, window_.get());
    grid.SetCells(0, 0, "№ записи");
    grid.SetCells(1, 0, "Дата и время");
    grid.SetCells(5, 0, "Канал № 4");
    grid.SetCells(0, 1, "12");
    grid.SetCells(1, 1, "12.03.2005");
    grid.SetCells(33, 1, "Н.приб.");
    QCOMPARE(grid.Cells(0, 0), QString("№ записи"));
    QCOMPARE(grid.Cells(1, 0), QString("Дата и время"));
    QCOMPARE(grid.Cells(5, 0), QString("Канал № 4"));
    QCOMPARE(grid.Cells(0, 1), QString("12"));
    QCOMPARE(grid.Cells(1, 1), QString("12.03.2005"));
    QCOMPARE(grid.Cells(33, 1), QString("Н.приб."));
    QCOMPARE(grid.Cells(34, 1), QString());
    grid.SetRowCount(5);
    QCOMPARE(grid.RowCount(), 5);
    grid.SetCells(2, 4, "1,000");
    QCOMPARE(grid.Cells(2, 4), QString("1,000"));
    grid.SetRowCount(2);
    QCOMPARE(grid.Cells(2, 4), QString());
    QCOMPARE(grid.Cells(33, 1), QString("Н.приб."));
  }

  void GridMouseToCell() {
    auto* grid = new TStringGrid("StringGrid18", 4, 34, 1, 1, window_.get());
    grid->SetDefaultRowHeight(20);
    grid->resize(500, 400);
    grid->SetEqualColumns(true);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    int col = -1;
    int row = -1;
    const QRect cell = grid->CellRect(2, 3);
    QVERIFY(grid->MouseToCell(cell.center(), &col, &row));
    QCOMPARE(col, 2);
    QCOMPARE(row, 3);
    QVERIFY(!grid->MouseToCell(QPoint(5, cell.center().y()), &col, &row));  // the label column
    QVERIFY(!grid->MouseToCell(QPoint(cell.center().x(), 3), &col, &row));  // the header
  }

  void EqualColumnsFillTheGrid() {
    auto* grid = new TStringGrid("StringGrid3", 2, 33, 1, 0, window_.get());
    grid->SetEqualColumns(true);
    window_->show();
    for (int width : {300, 451, 800}) {
      grid->resize(width, 300);
      QApplication::processEvents();
      QCOMPARE(grid->ColWidth(0), grid->ColWidth(1));
      const int client = grid->viewport()->width() + grid->verticalHeader()->width();
      QCOMPARE(grid->ColWidth(0), (client - 2) / 2 + 1);
    }
  }

 private:
  std::unique_ptr<QWidget> window_;
};

K7104_GUI_TEST_MAIN(TestWidgets)
#include "WidgetsTest.moc"
