// The groups whose edits are neither written to the instrument nor saved to a file, by page job
// code: what New, Open and the comparison with a file ask about before they replace the data
// image.
#pragma once

#include <QSet>

#include <cstdint>

#include "instrument/Groups.h"
#include "instrument/Mipunit.h"

class TPageViews;
class TWindowSeam;

class TUnsavedEdits {
 public:
  // Edits of the current page count once they are committed; a page left with its edits unwritten
  // keeps them in the list.
  void Note(uint8_t pageJobCode, bool modified) {
    if (modified) groups_.insert(pageJobCode);
  }
  // What a job's success makes safe: a read replaces the group's edits with the instrument's
  // values, a write puts them into the instrument.
  void Forget(uint8_t jobCode) {
    if (jobCode == JobReadAll || jobCode == JobWriteAll)
      groups_.clear();
    else if (const TGroup* group = GroupByCode(jobCode))
      groups_.remove(group->Code);
  }
  void Clear() { groups_.clear(); }
  bool Any() const { return !groups_.isEmpty(); }
  // Edits neither written nor saved may go: there are none (the number being typed on the
  // current page counted), or the user says so.
  bool MayDiscard(TPageViews& pages, TWindowSeam& seam);

 private:
  QSet<uint8_t> groups_;
};
