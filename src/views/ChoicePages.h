// The pages whose values are items of a choice list: the choice grids (sensor types, filters,
// decimal points, cold-junction sources, the relays of the four setpoints), one value per
// channel under a for-all row, and the logic grids of the four setpoints, three values per
// channel. A click on a value cell shows the cell's popup list under a banner that names the
// channel (or all channels); the chosen item goes into the data image and the cell at once.
#pragma once

#include <QString>
#include <QStringList>

#include "views/Page.h"

class QPoint;
class TPopupList;

// A popup list's banner: for one channel the ForOne text, the channel number and "-го канала".
struct TChoiceBanner {
  const char* ForOne;
  const char* ForAll;
};

struct TChoiceGridLayout {
  int Grid;            // n of StringGridn
  const char* Sheet;   // objectName of the page's sheet
  int Setpoint;        // the grid's Tag: the setpoint a relay grid belongs to, else 0
  const char* Prefix;  // row labels: the prefix, then "N-го канала"
  TChoiceBanner Banner;
};

class TChoiceGridPage : public TPage {
 public:
  // The group's field holds the 32 codes the grid shows; list: the popup list, which may serve
  // several grids (the relay list serves four: its Tag tells which grid it was shown for).
  TChoiceGridPage(TPageContext& context, QObject* parent, const TGroup& group,
                  const TChoiceGridLayout& layout, TPopupList* list, const QStringList& (*items)());

  TStringGrid* Grid() const { return grid_; }
  void SetFixedTexts() override;
  void Render() override;
  void ShowCounts(int channels, int relays) override;

 private:
  void Clicked(int col, int row, const QPoint& at);
  void Chosen(int code, const QString& caption);

  TChoiceGridLayout layout_;
  uint8_t* field_;
  TPopupList* list_;
  const QStringList& (*items_)();  // the list's captions
  TStringGrid* grid_;
};

// StringGrid18 .. StringGrid21: setpoint logic, relay logic at a channel fault and relay filter.
class TLogicGridPage : public TPage {
 public:
  static constexpr int Columns = 3;

  // lists: the three popup lists, shared by the four logic grids.
  TLogicGridPage(TPageContext& context, QObject* parent, const TGroup& group, int setpoint,
                 TPopupList* const (&lists)[Columns]);

  TStringGrid* Grid() const { return grid_; }
  void SetFixedTexts() override;
  void Render() override;
  void ShowCounts(int channels, int relays) override;

 private:
  void Clicked(int col, int row, const QPoint& at);
  void Chosen(int column, int code, const QString& caption);
  uint8_t* Field(int column);
  static const QStringList& Items(int column);

  int setpoint_;
  TPopupList* lists_[Columns];
  TStringGrid* grid_;
};
