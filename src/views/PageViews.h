// The 16 pages of the main window behind glPageControl1 with its nested page controls: one page
// object per page or sub-page (measurement grids, choice grids, number grids, flag lists, fault
// relays, device settings, archive) in a context they share; the page job code that ties the
// current page to its parameter group; and the popup lists. Every control carries its own name
// as objectName, and the controls are reached here by those names.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "instrument/DataImage.h"
#include "views/ArchiveGrid.h"
#include "views/AskListBox.h"
#include "views/Page.h"
#include "views/PageControl.h"
#include "views/PopupList.h"
#include "views/SpinEdit.h"
#include "views/StringGrid.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QToolButton;
class TArchivePage;
class TFaultRelayPage;
class TFlagListPage;
class TMeasurementPage;
class TNumberEditing;
class TSettingsPage;

class TPageViews : public QObject {
  Q_OBJECT

 public:
  // Builds the pages as children of owner; the controls show and edit image.
  TPageViews(QWidget* owner, TDataImage& image);

  TglPageControl* PageControl() const { return glPageControl1; }

  // Row labels, headers, for-all rows, line texts and list items; run once at creation.
  // programStart is shown in the last cycle's header until the first cycle is rendered.
  void SetFixedTexts(TDateTime programStart);

  // The parameter group of the current page and sub-page: the job code that reads it.
  uint8_t PageJobCode() const;
  // The nested page control of a page of glPageControl1 (9, 10, 12, 13), else nullptr.
  TglPageControl* SubPages(int page) const;
  // Makes a page and, for a page with sub-pages, its sub-page current, as clicking their tabs
  // would (each change is a page change).
  void ShowPage(int page, int subPage = 0);

  // The 21 data grids whose columns are kept equally wide (the archive grid is not among them).
  const QList<TStringGrid*>& GridList() const { return gridList_; }
  void FitGridColumns();
  // The window width at which every grid's texts, and the captions its lists may bring, fit
  // into its equal columns.
  int PreferredWidth() const;

  // Writes the data image into the current page. Never raises the modified flag: controls that
  // rendering moves are no edits of the user's.
  void Render();
  // The live values are old: after a failed read, a closed port or another instrument they show
  // grey, what the current page shows at once and on every page until their group is read
  // again (LiveValuesRead). The page's texts stay: a failed job draws nothing.
  void MarkLiveValuesStale();
  void LiveValuesRead(uint8_t group);

  // Rows and lines beyond the channel and relay counts of the instrument last talked to are
  // shown disabled; they still show the data image. Cheap when the counts are unchanged.
  void ShowInstrumentCounts();

  // An edit on the current page has changed the data image and is not written yet.
  bool Modified = false;

  // The state group of the device settings page from DeviceState and ArchiveCurrent.
  void ShowDeviceState();

  // Takes over a number still being typed in a physical-values grid or in Edit1, as leaving the
  // control would. For commands that act on the data image while the focus stays where it is
  // (the toolbar's buttons take no focus): call it before writing or saving.
  void CommitEdits();

  // Runs on every click that changes a line of the relay test list glAskListBox6, before
  // RelayTestOn changes. The window: when the port is open and a job is running, set the
  // re-read skip flag and wait on this thread until the job has ended, so that the relay test
  // write that follows is not refused.
  std::function<void()> BeforeRelayTest;

  // Pages and nested page controls.
  TglPageControl* glPageControl1;
  TglPageControl* glPageControl2;
  TglPageControl* glPageControl3;
  TglPageControl* glPageControl4;
  TglPageControl* glPageControl5;

  // StringGrid(n) for n = 1..21.
  TStringGrid* StringGrid(int n) const;
  // StringGrid80, the archive page's grid.
  TArchiveGrid* ArchiveGrid() const;

  // An archive read is about to start: the grid stops reading the archive list, which the read
  // fills on the job thread, and shows the records handed over as they arrive. ArchiveReadEnded,
  // called while the list holds still, shows the list again.
  void ArchiveReadStarts();
  void ArchiveRecordsArrived(const std::vector<MeasurementRecord>& batch);
  void ArchiveReadEnded();

  TglAskListBox* glAskListBox1;
  TglAskListBox* glAskListBox2;
  TglAskListBox* glAskListBox4;
  TglAskListBox* glAskListBox5;
  TglAskListBox* glAskListBox6;

  TPopupList* MenuTypeSensor;
  TPopupList* MenuFilter;
  TPopupList* MenuComma;
  TPopupList* MenuRelay;
  TPopupList* KXCMenu;
  TPopupList* MenuLogicCharter;
  TPopupList* MenuLogicRelay;
  TPopupList* MenuFilterReley;

  // Fault relays.
  QGroupBox* GroupBox7;
  QGroupBox* GroupBox8;
  QComboBox* ComboBox1;
  QComboBox* ComboBox6;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;

  // Device settings.
  QDateEdit* DateTimePicker1;
  QTimeEdit* DateTimePicker2;
  QPushButton* Button1;
  QPushButton* Button2;
  TCSpinEdit* CSpinEdit1;
  TCSpinEdit* CSpinEdit2;
  TCSpinEdit* CSpinEdit3;
  QToolButton* SpeedButton1;
  QComboBox* ComboBox2;
  QComboBox* ComboBox3;
  QLineEdit* Edit1;
  QLabel* Image1;
  QLabel* Label(int n) const;

 signals:
  // A button of the device settings page wants a write job now: 156 (write the device clock)
  // from Button1 and Button2, 159 (move the instrument to InterfaceAddress) from SpeedButton1.
  // The data image already holds what the job writes. The window starts the job through its
  // job start, which waits for a running job and sends the request to the current address.
  void JobRequested(uint8_t jobCode);
  // RelayTestOn has changed by a click on glAskListBox6 (also when a released line was pushed
  // again). The window: when the port is open, start job 150 (write relay test) at once with
  // StartJob, to the address the data image holds; when the port is closed, nothing. The
  // modified flag is not raised for the relay test.
  void RelayTestChanged();
  // A typed text was refused as no number; the sentence says why, for the status line.
  void NumberRefused(const QString& sentence);

 private:
  void BuildPopupLists(QWidget* owner);
  void BuildPages(QWidget* owner);
  void AddChannelPages(TglPageControl* pc);
  void AddValuePages(TglPageControl* pc);
  void AddRelayPages(TglPageControl* pc);
  void AddSettingsPages(TglPageControl* pc);
  void NestPageControls();
  template <typename TKind, typename... TArgs>
  TKind* AddPage(TglPageControl* control, const QString& caption, TArgs&&... args);
  TPagePlace NextPlace(const TglPageControl* control) const;
  QWidget* ContainerSheet(const QString& name);
  void PublishControls();
  TPage* CurrentPage() const;
  void ShowChoicesWithinCounts(int channels, int relays);

  TDataImage& image_;
  TPageContext context_;
  std::vector<TPage*> pages_;                     // every page object, in tab order
  std::map<std::pair<int, int>, TPage*> pageAt_;  // by page of glPageControl1 and sub-page
  TStringGrid* grids_[22] = {};
  QList<TStringGrid*> gridList_;
  TMeasurementPage* lastCycle_ = nullptr;
  TFlagListPage* relayTest_ = nullptr;
  TFaultRelayPage* faultRelays_ = nullptr;
  TSettingsPage* settings_ = nullptr;
  TArchivePage* archive_ = nullptr;
  TNumberEditing* numberEditing_ = nullptr;
  int shownChannels_ = MaxChannels;
  int shownRelays_ = MaxRelays;
};
