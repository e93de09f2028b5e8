// The event log list: the reported lines, newest first, at most a given number. Repeats fold
// into the line they repeat, which then carries the count and the latest time.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class TEventLog {
 public:
  explicit TEventLog(int limit) : limit_(limit) {}

  // line: the time-stamped text shown; key: what it stands for (error flag and sentence).
  void Add(const QString& line, const QString& key, bool error);
  const QStringList& Lines() const { return lines_; }

 private:
  struct TEntry {
    QString Key;
    int Count;
    bool Error;
  };

  int limit_;
  QStringList lines_;
  QList<TEntry> entries_;     // what each line stands for
  bool pairFolding_ = false;  // the two newest lines fold as an alternating pair
  bool pairPending_ = false;  // the older of the pair has come again; the newer is due
};
