// The 16 pages of the main window with their nested page controls, grids, button lists, choice
// lists, the fault-relay controls and the device settings page; the page job code that ties the
// current page to its parameter group; the fixed texts; and rendering the data image into the
// current page. Every control carries its own name as objectName.
#pragma once

#include <QList>
#include <QObject>

#include <cstdint>

#include "instrument/Mipunit.h"
#include "views/AskListBox.h"
#include "views/PageControl.h"
#include "views/PopupList.h"
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

  // Writes the data image into the current page.
  void Render();

  // An edit on the current page has changed the data image and is not written yet.
  bool Modified = false;

  // Pages and nested page controls.
  TglPageControl* glPageControl1;
  TglPageControl* glPageControl2;
  TglPageControl* glPageControl3;
  TglPageControl* glPageControl4;
  TglPageControl* glPageControl5;

  // StringGrid(n) for n = 1..21 and 80.
  TStringGrid* StringGrid(int n) const;

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
  QSpinBox* CSpinEdit1;
  QSpinBox* CSpinEdit2;
  QSpinBox* CSpinEdit3;
  QToolButton* SpeedButton1;
  QComboBox* ComboBox2;
  QComboBox* ComboBox3;
  QLineEdit* Edit1;
  QLabel* Image1;
  QLabel* Label(int n) const { return labels_[n]; }

 private:
  void BuildPages(QWidget* owner);
  QWidget* Sheet(const QString& name);
  QWidget* GridSheet(const QString& name, TStringGrid* grid);
  QWidget* ListSheet(const QString& name, TglAskListBox* list);
  TStringGrid* MakeGrid(int n, int cols, int rows, int fixedCols, int fixedRows, int tag);
  TglAskListBox* MakeList(const QString& name, const QString& b1, const QString& b2, int width);
  QWidget* BuildFaultRelayPage();
  QWidget* BuildSettingsPage();
  QLabel* MakeLabel(int n, const QString& text, QWidget* parent);
  void BuildPopupLists(QWidget* owner);
  void WireFaultRelayEdits();

  void SetGridLabels();
  void SetListLines();
  void SetChoiceItems();

  void RenderMeasurements(TStringGrid* grid, const float* values);
  void RenderCaptions(TStringGrid* grid, const uint8_t* codes, const QStringList& items);
  void RenderNumbers(TStringGrid* grid, const TLeFloat* values, int decimals);
  void RenderFlags(TglAskListBox* list, const uint8_t* flags, bool mirrored);
  void RenderFaultRelays();
  void RenderLogic(int setpoint);
  void RenderSettingsPage();
  void RenderArchive();
  QString ArchivePeriodText() const;

  TDataImage& image_;
  TStringGrid* grids_[22] = {};
  TStringGrid* archiveGrid_ = nullptr;
  QList<TStringGrid*> gridList_;
  QLabel* labels_[26] = {};
};
