// The 16 pages of the main window with their nested page controls, grids, button lists, choice
// lists, the fault-relay controls and the device settings page; the page job code that ties the
// current page to its parameter group; the fixed texts; and rendering the data image into the
// current page; and the user's edits of the data image on the pages. Every control carries its
// own name as objectName.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <functional>

#include "instrument/Mipunit.h"
#include "views/ArchiveGrid.h"
#include "views/AskListBox.h"
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

  // The 21 data grids whose columns are kept equally wide (the archive grid is not among them).
  const QList<TStringGrid*>& GridList() const { return gridList_; }
  void FitGridColumns();
  // The window width at which every grid's texts, and the captions its lists may bring, fit
  // into its equal columns.
  int PreferredWidth() const;

  // Writes the data image into the current page. Never raises the modified flag: controls that
  // rendering moves are no edits of the user's.
  void Render();

  // Rows and lines beyond the channel and relay counts of the instrument last talked to are
  // shown disabled; they still show the data image. Cheap when the counts are unchanged.
  void ShowInstrumentCounts();

  // An edit on the current page has changed the data image and is not written yet.
  bool Modified = false;

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
  TArchiveGrid* ArchiveGrid() const { return archiveGrid_; }

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
  QLabel* Label(int n) const { return labels_[n]; }

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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPages(QWidget* owner);
  QWidget* Sheet(const QString& name);
  QWidget* GridSheet(const QString& name, QWidget* grid);
  QWidget* ListSheet(const QString& name, TglAskListBox* list);
  TStringGrid* MakeGrid(int n, int cols, int rows, int fixedCols, int fixedRows, int tag);
  TglAskListBox* MakeList(const QString& name, const QString& b1, const QString& b2, int width);
  QWidget* BuildFaultRelayPage();
  QWidget* BuildSettingsPage();
  QLabel* MakeLabel(int n, const QString& text, QWidget* parent);
  void BuildPopupLists(QWidget* owner);

  // Choice editing: popup lists on the choice grids, button lists, fault relays.
  void WireChoiceEdits();
  void WireFlagLists();
  void WireFaultRelayEdits();
  void ChoiceGridClicked(TStringGrid* grid, TPopupList* list, int col, int row, const QPoint& at);
  void ChoiceChosen(TPopupList* list, int code, const QString& caption);
  void LogicGridClicked(TStringGrid* grid, int col, int row, const QPoint& at);
  void LogicChosen(TPopupList* list, int column, int code, const QString& caption);
  uint8_t* ChoiceField(const TPopupList* list, int setpoint);
  TStringGrid* ChoiceGrid(const TPopupList* list, int setpoint) const;
  bool FlagLineChanged(TglAskListBox* list, uint8_t* flags, bool mirrored, int group, int line);
  void RelayTestLineChanged(int line);

  // Numeric editing of the physical values in StringGrid6 .. StringGrid12.
  void WireNumericEdits();
  TStringGrid* NumberGridOf(const QWidget* widget) const;
  void NumberFocusChanged(QWidget* old, QWidget* now);
  void NumberGridEntered(TStringGrid* grid);
  void NumberTyped(TStringGrid* grid, int col, int row, const QString& text);
  void NumberCellSelected(TStringGrid* grid, int modelRow, int modelCol);
  void NumberEnterPressed(TStringGrid* grid);
  void NumberEditCancelled(TStringGrid* grid);
  void CommitNumber();
  void RefuseNumber(const QString& text);

  // Device settings page.
  void WireSettingsEdits();
  void ClockEdited();
  void PasswordEdited(int value);
  void AddressEdited(int value);
  void ArchivePeriodEdited(int value);
  void MeasurePeriodEdited();
  void ShowEditedSpin(QSpinBox* spin, const void* field, size_t size);
  void Edit1Event(const QEvent* event);

  // The edit handlers' way of raising the modified flag; nothing while the page is being rendered.
  void MarkModified();
  void RenderCurrentPage();

  void SetGridLabels();
  void SetListLines();
  void SetChoiceItems();

  void RenderMeasurements(TStringGrid* grid, const float* values);
  // Group: the parameter group the values belong to; values not read show as not read.
  void RenderCaptions(TStringGrid* grid, const uint8_t* codes, const QStringList& items, int group);
  void RenderNumbers(TStringGrid* grid, const TLeFloat* values, int decimals, int group);
  void RenderFlags(TglAskListBox* list, const uint8_t* flags, bool mirrored, int group);
  void ShowForAllLine(TglAskListBox* list, const uint8_t* flags, bool mirrored, int group);
  static void ShowNotRead(QWidget* control, bool notRead);
  bool ShowSpin(QSpinBox* spin, int value, bool shown);
  void ShowChoicesWithinCounts(int channels, int relays);
  void RenderFaultRelays();
  void RenderLogic(int setpoint);
  void RenderSettingsPage();
  void RenderArchive();
  QString ArchivePeriodText() const;

  TDataImage& image_;
  TStringGrid* grids_[22] = {};
  TArchiveGrid* archiveGrid_ = nullptr;
  QList<TStringGrid*> gridList_;
  QLabel* labels_[26] = {};
  bool rendering_ = false;
  // The user typed an address while the instrument's was not known; redrawing keeps it.
  bool addressTyped_ = false;
  int shownChannels_ = MaxChannels;
  int shownRelays_ = MaxRelays;

  // The grid cell under the last click or numeric edit (choice grids and number grids alike).
  int currentCol_ = 0;
  int currentRow_ = 0;
  // The number being typed: its grid, its text, and whether it was typed (or Enter pressed)
  // since the cell was entered or selected.
  TStringGrid* editGrid_ = nullptr;
  QString editText_;
  bool edited_ = false;
};
