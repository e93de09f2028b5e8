#include "shell/window/EventLog.h"

// A line identical to the newest folds into it, and so does the alternating pair of lines the
// polling of a live page gives (its start and its end). Errors never fold into such a pair, so
// that the order of what happened around an error stays visible.
void TEventLog::Add(const QString& line, const QString& key, bool error) {
  auto counted = [&line](int count) {
    return count > 1 ? line + QString(" (×%1)").arg(count) : line;
  };
  if (!entries_.isEmpty() && entries_[0].Key == key) {
    TEntry& newest = entries_[0];
    // A line repeated out of its pair's turn ends the pair.
    if (!pairPending_) pairFolding_ = false;
    pairPending_ = false;
    lines_[0] = counted(++newest.Count);
    return;
  }
  if (entries_.size() >= 2 && entries_[1].Key == key && !error && !entries_[0].Error &&
      !pairPending_ && (pairFolding_ || (entries_[0].Count == 1 && entries_[1].Count == 1))) {
    pairFolding_ = true;
    pairPending_ = true;
    lines_[1] = counted(++entries_[1].Count);
    return;
  }
  pairFolding_ = false;
  pairPending_ = false;
  entries_.prepend({key, 1, error});
  lines_.prepend(line);
  while (lines_.size() > limit_) {
    lines_.removeLast();
    entries_.removeLast();
  }
}
