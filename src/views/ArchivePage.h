// The measurement archive page (TabSheet15): StringGrid80 over the records of the last archive
// read, or over the records of the read under way as they arrive.
#pragma once

#include <vector>

#include "views/Page.h"

class TArchiveGrid;

class TArchivePage : public TPage {
 public:
  TArchivePage(TPageContext& context, QObject* parent, const TGroup& group);

  TArchiveGrid* Grid() const { return grid_; }
  void SetFixedTexts() override;
  // The grid formats what it shows when it paints: rendering costs the same for any number of
  // records.
  void Render() override;
  void ShowCounts(int channels, int relays) override;

  void ReadStarts();
  void RecordsArrived(const std::vector<MeasurementRecord>& batch);

 private:
  TArchiveGrid* grid_;
};
