#include "views/PageViews.h"

#include <QComboBox>
#include <QLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <utility>

#include "instrument/ValueTexts.h"
#include "views/ArchivePage.h"
#include "views/ChoiceLists.h"
#include "views/ChoicePages.h"
#include "views/Design.h"
#include "views/FaultRelayPage.h"
#include "views/FlagListPage.h"
#include "views/MeasurementPage.h"
#include "views/NumberPages.h"
#include "views/SettingsPage.h"
#include "views/TextForms.h"

namespace {

// The tab captions the window shares with the configuration report.
QString Caption(int page) {
  return QString::fromUtf8(ValueTexts::PageCaption(page));
}
QString SubCaption(int page, int subPage) {
  return QString::fromUtf8(ValueTexts::SubPageCaption(page, subPage));
}

// The pages of glPageControl1 that hold a nested page control, n of its glPageControln and the
// number of its sub-pages.
struct TNestedPages {
  int Page;
  int Control;
  int SubPages;
};
constexpr TNestedPages NestedPages[] = {{9, 2, 2}, {10, 3, 4}, {12, 4, 7}, {13, 5, 4}};

constexpr const TNestedPages* NestedAt(int page) {
  for (const TNestedPages& nested : NestedPages)
    if (nested.Page == page) return &nested;
  return nullptr;
}

constexpr int PageCount = 16;

// Every page and every sub-page shows a group of the table.
constexpr bool EveryPageHasItsGroup() {
  for (int page = 0; page < PageCount; ++page)
    if (!NestedAt(page) && !GroupForPage(page)) return false;
  for (const TNestedPages& nested : NestedPages)
    for (int sub = 0; sub < nested.SubPages; ++sub)
      if (!GroupForPage(nested.Page, sub)) return false;
  return true;
}
static_assert(EveryPageHasItsGroup());

constexpr TChoiceBanner SensorBanner{"Пожалуйста выбирите тип датчика для ",
                                     "Пожалуйста выбирите тип датчика для всех каналов"};
constexpr TChoiceBanner ChannelBanner{"", "Всех каналов"};
// "KXC" in Latin letters here, unlike the list's own items.
constexpr TChoiceBanner ColdJunctionBanner{"Пожалуйста выбирите KXC для ",
                                           "Пожалуйста выбирите KXC для всех каналов"};
constexpr TChoiceBanner RelayBanner{"Пожалуйста выберите реле для",
                                    "Пожалуйста выберите реле для всех каналов"};

}  // namespace

TPageViews::TPageViews(QWidget* owner, TDataImage& image)
    : QObject(owner), image_(image), context_(image, Modified) {
  setObjectName("PageViews");
  context_.NumberRefused = [this](const QString& sentence) { emit NumberRefused(sentence); };
  BuildPopupLists(owner);
  BuildPages(owner);
  PublishControls();
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

// The place the next page of a page control takes: its page of glPageControl1 and sub-page.
TPagePlace TPageViews::NextPlace(const TglPageControl* control) const {
  if (control == glPageControl1) return {static_cast<int8_t>(control->Count()), 0};
  for (const TNestedPages& nested : NestedPages)
    if (SubPages(nested.Page) == control)
      return {static_cast<int8_t>(nested.Page), static_cast<int8_t>(control->Count())};
  return {};
}

// Makes the page object of the next page of a page control, for the group the table shows
// there, adds its sheet to the page control and files it under its group.
template <typename TKind, typename... TArgs>
TKind* TPageViews::AddPage(TglPageControl* control, const QString& caption, TArgs&&... args) {
  const TPagePlace place = NextPlace(control);
  const TGroup* group = GroupForPage(place.Page, place.SubPage);
  auto* page = new TKind(context_, this, *group, std::forward<TArgs>(args)...);
  control->AddPage(page->Sheet(), caption);
  pages_.push_back(page);
  pageAt_[{place.Page, place.SubPage}] = page;
  return page;
}

// The sheet of a page with sub-pages; its nested page control goes in once all pages are made.
QWidget* TPageViews::ContainerSheet(const QString& name) {
  auto* sheet = new QWidget;
  sheet->setObjectName(name);
  auto* layout = new QVBoxLayout(sheet);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return sheet;
}

void TPageViews::BuildPages(QWidget* owner) {
  glPageControl1 = new TglPageControl(owner);
  glPageControl1->setObjectName("glPageControl1");
  TglPageControl** nested[] = {&glPageControl2, &glPageControl3, &glPageControl4, &glPageControl5};
  for (int k = 0; k < 4; ++k) {
    *nested[k] = new TglPageControl;
    (*nested[k])->setObjectName(QString("glPageControl%1").arg(k + 2));
  }
  AddChannelPages(glPageControl1);
  AddValuePages(glPageControl1);
  AddRelayPages(glPageControl1);
  AddSettingsPages(glPageControl1);
  NestPageControls();
  for (int n = 1; n <= 21; ++n) gridList_.append(grids_[n]);
}

// Pages 0 to 8: live values and the per-channel choices and flags.
void TPageViews::AddChannelPages(TglPageControl* pc) {
  grids_[1] = AddPage<TMeasurementPage>(pc, Caption(0))->Grid();
  lastCycle_ = AddPage<TMeasurementPage>(pc, Caption(1));
  grids_[2] = lastCycle_->Grid();
  grids_[3] =
      AddPage<TChoiceGridPage>(pc, Caption(2),
                               TChoiceGridLayout{3, "TabSheet3", 0, "Тип датчика ", SensorBanner},
                               MenuTypeSensor, &ChoiceLists::SensorTypes)
          ->Grid();
  glAskListBox1 = AddPage<TFlagListPage>(pc, Caption(3),
                                         TFlagListLayout{1, "TabSheet4", ValueTexts::ThreeWireFlags,
                                                         120, "Тип соединения для всех каналов",
                                                         "Тип соединения ", "-го канала"})
                      ->List();
  glAskListBox2 =
      AddPage<TFlagListPage>(
          pc, Caption(4),
          TFlagListLayout{2, "TabSheet5", ValueTexts::BreakCheckFlags, 100,
                          "Проверка обрыва для всех каналов", "Проверка на обрыв ", "-го канала"})
          ->List();
  grids_[17] =
      AddPage<TChoiceGridPage>(pc, Caption(5),
                               TChoiceGridLayout{17, "TabSheet6", 0, "КХС ", ColdJunctionBanner},
                               KXCMenu, &ChoiceLists::ColdJunctions)
          ->Grid();
  glAskListBox4 =
      AddPage<TFlagListPage>(
          pc, Caption(6),
          TFlagListLayout{4, "TabSheet7", ValueTexts::SquareRootFlags, 100,
                          "Извлечение корня для всех каналов", "Извлечение корня ", "-го канала"})
          ->List();
  grids_[4] = AddPage<TChoiceGridPage>(
                  pc, Caption(7), TChoiceGridLayout{4, "TabSheet8", 0, "Фильтр ", ChannelBanner},
                  MenuFilter, &ChoiceLists::Filters)
                  ->Grid();
  grids_[5] = AddPage<TChoiceGridPage>(
                  pc, Caption(8), TChoiceGridLayout{5, "TabSheet9", 0, "Запятая ", ChannelBanner},
                  MenuComma, &ChoiceLists::Commas)
                  ->Grid();
}

// Pages 9 to 11: the typed numbers, minimums and maximums, setpoints, hysteresis.
void TPageViews::AddValuePages(TglPageControl* pc) {
  QList<TNumberGridPage*> numbers;
  const auto addNumbers = [&](TglPageControl* control, const QString& caption,
                              const TNumberGridLayout& layout) {
    TNumberGridPage* page = AddPage<TNumberGridPage>(control, caption, layout);
    grids_[layout.Grid] = page->Grid();
    numbers.append(page);
  };
  addNumbers(glPageControl2, SubCaption(9, 0),
             {6, "TabSheet17", 0, "Минимум ", ValueTexts::ScaleDecimals});
  addNumbers(glPageControl2, SubCaption(9, 1),
             {7, "TabSheet18", 1, "Максимум ", ValueTexts::ScaleDecimals});
  pc->AddPage(ContainerSheet("TabSheet10"), Caption(9));

  const char* prefixes[] = {"Первая уставка ", "Вторая уставка ", "Третия уставка ",
                            "Четвертая уставка "};
  const char* sheets[] = {"TabSheet19", "TabSheet20", "TabSheet21", "TabSheet22"};
  for (int k = 0; k < SetpointCount; ++k)
    addNumbers(glPageControl3, SubCaption(10, k),
               {8 + k, sheets[k], 2 + k, prefixes[k], ValueTexts::SetpointDecimals});
  pc->AddPage(ContainerSheet("TabSheet11"), Caption(10));

  addNumbers(pc, Caption(11), {12, "TabSheet12", 6, "Гистерезис ", ValueTexts::HysteresisDecimals});
  numberEditing_ = new TNumberEditing(context_, numbers, this);
}

// Page 12 and 13: the relays of the setpoints, fault relays, relay control and test, logic.
void TPageViews::AddRelayPages(TglPageControl* pc) {
  const char* prefixes[] = {"Реле первой уставки ", "Реле второй уставки ", "Реле третий уставки ",
                            "Реле четвертой уставки "};
  const char* sheets[] = {"TabSheet23", "TabSheet24", "TabSheet25", "TabSheet26"};
  for (int k = 0; k < SetpointCount; ++k)
    grids_[13 + k] =
        AddPage<TChoiceGridPage>(glPageControl4, SubCaption(12, k),
                                 TChoiceGridLayout{13 + k, sheets[k], k, prefixes[k], RelayBanner},
                                 MenuRelay, &ChoiceLists::Relays)
            ->Grid();
  faultRelays_ = AddPage<TFaultRelayPage>(glPageControl4, SubCaption(12, 4));
  glAskListBox5 =
      AddPage<TFlagListPage>(glPageControl4, SubCaption(12, 5),
                             TFlagListLayout{5, "TabSheet28", ValueTexts::RelayControlFlags, 90,
                                             "Для всех реле:", "", "-ым реле управляет:"})
          ->List();
  relayTest_ = AddPage<TFlagListPage>(glPageControl4, SubCaption(12, 6),
                                      TFlagListLayout{6, "TabSheet29", ValueTexts::RelayTestFlags,
                                                      100, "Для всех реле:", "", "-ое реле:"});
  glAskListBox6 = relayTest_->List();
  // The relay test switches the instrument's relays at once; nothing is left to write later, and
  // moving through the list with the arrow keys switches nothing.
  glAskListBox6->SetArrowsOnlyMove(true);
  relayTest_->WriteAtOnce(
      [this] {
        if (BeforeRelayTest) BeforeRelayTest();
      },
      [this] { emit RelayTestChanged(); });
  pc->AddPage(ContainerSheet("TabSheet13"), Caption(12));

  TPopupList* const logicLists[TLogicGridPage::Columns] = {MenuLogicCharter, MenuLogicRelay,
                                                           MenuFilterReley};
  for (int k = 0; k < SetpointCount; ++k)
    grids_[18 + k] =
        AddPage<TLogicGridPage>(glPageControl5, SubCaption(13, k), k, logicLists)->Grid();
  pc->AddPage(ContainerSheet("TabSheet30"), Caption(13));
}

// Pages 14 and 15: the device settings and the archive.
void TPageViews::AddSettingsPages(TglPageControl* pc) {
  settings_ = AddPage<TSettingsPage>(pc, Caption(14));
  settings_->JobRequested = [this](uint8_t jobCode) { emit JobRequested(jobCode); };
  archive_ = AddPage<TArchivePage>(pc, Caption(15));
}

// The sheets of the nested page controls were made empty; put the controls in now.
void TPageViews::NestPageControls() {
  for (const TNestedPages& nested : NestedPages) {
    Q_ASSERT(SubPages(nested.Page)->Count() == nested.SubPages);
    QLayout* layout = glPageControl1->Page(nested.Page)->layout();
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(SubPages(nested.Page));
  }
}

// The controls by their names, for the window and the tests.
void TPageViews::PublishControls() {
  GroupBox7 = faultRelays_->GroupBox7;
  GroupBox8 = faultRelays_->GroupBox8;
  ComboBox1 = faultRelays_->ComboBox1;
  ComboBox6 = faultRelays_->ComboBox6;
  CheckBox1 = faultRelays_->CheckBox1;
  CheckBox2 = faultRelays_->CheckBox2;
  CheckBox3 = faultRelays_->CheckBox3;
  CheckBox4 = faultRelays_->CheckBox4;
  DateTimePicker1 = settings_->DateTimePicker1;
  DateTimePicker2 = settings_->DateTimePicker2;
  Button1 = settings_->Button1;
  Button2 = settings_->Button2;
  CSpinEdit1 = settings_->CSpinEdit1;
  CSpinEdit2 = settings_->CSpinEdit2;
  CSpinEdit3 = settings_->CSpinEdit3;
  SpeedButton1 = settings_->SpeedButton1;
  ComboBox2 = settings_->ComboBox2;
  ComboBox3 = settings_->ComboBox3;
  Edit1 = settings_->Edit1;
  Image1 = settings_->Image1;
}

TStringGrid* TPageViews::StringGrid(int n) const {
  return n >= 1 && n <= 21 ? grids_[n] : nullptr;
}

TArchiveGrid* TPageViews::ArchiveGrid() const {
  return archive_->Grid();
}

QLabel* TPageViews::Label(int n) const {
  return settings_->Label(n);
}

void TPageViews::SetFixedTexts(TDateTime programStart) {
  for (TPage* page : pages_) page->SetFixedTexts();
  lastCycle_->ShowCycleTime(programStart);
  MenuTypeSensor->SetItems(ChoiceLists::SensorTypes());
  MenuFilter->SetItems(ChoiceLists::Filters());
  MenuComma->SetItems(ChoiceLists::Commas());
  MenuRelay->SetItems(ChoiceLists::Relays());
  KXCMenu->SetItems(ChoiceLists::ColdJunctions());
  MenuLogicCharter->SetItems(ChoiceLists::LogicConditions());
  MenuLogicRelay->SetItems(ChoiceLists::LogicFaults());
  MenuFilterReley->SetItems(ChoiceLists::LogicFilters());
  MenuFilterReley->SetBannerText("Фильтр реле");
}

TglPageControl* TPageViews::SubPages(int page) const {
  const TNestedPages* nested = NestedAt(page);
  if (!nested) return nullptr;
  TglPageControl* const controls[] = {glPageControl2, glPageControl3, glPageControl4,
                                      glPageControl5};
  return controls[nested->Control - 2];
}

void TPageViews::ShowPage(int page, int subPage) {
  glPageControl1->SetCurrentIndex(page);
  if (TglPageControl* sub = SubPages(page)) sub->SetCurrentIndex(subPage);
}

uint8_t TPageViews::PageJobCode() const {
  const TPage* page = CurrentPage();
  return page ? page->Group() : 0;
}

TPage* TPageViews::CurrentPage() const {
  const int page = glPageControl1->CurrentIndex();
  const TglPageControl* sub = SubPages(page);
  const auto at = pageAt_.find({page, sub ? sub->CurrentIndex() : 0});
  return at == pageAt_.end() ? nullptr : at->second;
}

// Rendering runs while a job's end or a page change is being handled, long after the user's last
// edit; the controls it moves must not count as edits, or leaving the page would offer to write
// what nobody changed.
void TPageViews::Render() {
  const bool wasRendering = std::exchange(context_.Rendering, true);
  ShowInstrumentCounts();
  if (TPage* page = CurrentPage()) page->Render();
  context_.Rendering = wasRendering;
}

void TPageViews::MarkLiveValuesStale() {
  for (const TGroup& group : Groups)
    if (group.PollsLive) context_.Stale[group.Code] = true;
  if (TPage* page = CurrentPage()) page->ShowStale();
}

void TPageViews::LiveValuesRead(uint8_t group) {
  if (group <= LastGroup) context_.Stale[group] = false;
}

void TPageViews::ShowInstrumentCounts() {
  const int channels = image_.ChannelCount;
  const int relays = image_.RelayCount;
  if (channels == shownChannels_ && relays == shownRelays_) return;
  shownChannels_ = channels;
  shownRelays_ = relays;
  for (TPage* page : pages_) page->ShowCounts(channels, relays);
  ShowChoicesWithinCounts(channels, relays);
}

// Item k of the relay list is relay k and item k of the cold junction list is channel k; item 0
// ("none") is always there.
void TPageViews::ShowChoicesWithinCounts(int channels, int relays) {
  for (int relay = 1; relay <= MaxRelays; ++relay)
    MenuRelay->SetItemEnabled(relay, relay <= relays);
  for (int ch = 1; ch <= MaxChannels; ++ch) KXCMenu->SetItemEnabled(ch, ch <= channels);
}

void TPageViews::ShowDeviceState() {
  settings_->ShowDeviceState();
}

void TPageViews::CommitEdits() {
  numberEditing_->Commit();
  settings_->CommitEdits();
}

void TPageViews::ArchiveReadStarts() {
  archive_->ReadStarts();
}

void TPageViews::ArchiveRecordsArrived(const std::vector<MeasurementRecord>& batch) {
  archive_->RecordsArrived(batch);
}

void TPageViews::ArchiveReadEnded() {
  archive_->Render();
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
