// The pages of live values: current measurements (StringGrid1) and the last finished cycle
// (StringGrid2), one value per channel, not editable.
#pragma once

#include <QString>

#include "views/Page.h"

class TMeasurementPage : public TPage {
 public:
  // Current measurements, or the last finished cycle, whose header shows its time.
  TMeasurementPage(TPageContext& context, QObject* parent, const TGroup& group);

  TStringGrid* Grid() const { return grid_; }
  void SetFixedTexts() override;
  void Render() override;
  void ShowCounts(int channels, int relays) override;
  void ShowStale() override;
  // Until the first cycle is rendered the last cycle's header shows the time of program start.
  void ShowCycleTime(TDateTime time);

 private:
  bool lastCycle_;
  TStringGrid* grid_;
};
