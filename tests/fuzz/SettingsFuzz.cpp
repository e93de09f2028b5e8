// Settings files of any content: the reader takes what it can and gives the defaults for the
// rest. Saved unchanged, the file keeps every byte; written back and read again, every one of the
// nine settings reads as it was written, and every line the nine did not change keeps its bytes.
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/settings/IniFile.h"
#include "shell/settings/Settings.h"

namespace {

// In memory where the system has it: saving flushes to the disk, which a disk makes slow.
QString ScratchPath(const char* name) {
  const QString folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return QString("%1/k7104-fuzz-%2-%3").arg(folder).arg(getpid()).arg(name);
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) std::abort();
  return file.readAll();
}

// The lines without their LF ends; CR stays.
std::vector<QByteArray> Lines(const QByteArray& bytes) {
  std::vector<QByteArray> lines;
  for (qsizetype start = 0; start < bytes.size();) {
    const qsizetype newline = bytes.indexOf('\n', start);
    const qsizetype end = newline < 0 ? bytes.size() : newline;
    lines.push_back(bytes.mid(start, end - start));
    start = end + 1;
  }
  return lines;
}

// How many lines of before are not found, in order, in after: the length of the longest common
// subsequence taken from their count. A last line that had no end may have got a CR with it.
size_t LinesLost(const std::vector<QByteArray>& before, const std::vector<QByteArray>& after) {
  const auto same = [&](size_t i, size_t j) {
    return before[i] == after[j] || (i + 1 == before.size() && before[i] + '\r' == after[j]);
  };
  std::vector<size_t> previous(after.size() + 1, 0), current(after.size() + 1, 0);
  for (size_t i = 0; i < before.size(); ++i) {
    for (size_t j = 0; j < after.size(); ++j)
      current[j + 1] = same(i, j) ? previous[j] + 1 : std::max(previous[j + 1], current[j]);
    std::swap(previous, current);
  }
  return before.size() - previous[after.size()];
}

bool Same(const TAppSettings& a, const TAppSettings& b) {
  return a.PortNumber == b.PortNumber && a.BaudRate == b.BaudRate && a.WaitTime == b.WaitTime &&
         a.CurrentAddress == b.CurrentAddress && a.ShowHint == b.ShowHint &&
         a.AddressMin == b.AddressMin && a.AddressMax == b.AddressMax && a.MinArch == b.MinArch &&
         a.MaxArch == b.MaxArch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QString in = ScratchPath("in.ini");
  {
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  TIniFile ini(in);
  if (!ini.Save() || FileBytes(in) != input) std::abort();
  const TAppSettings read = Settings::Read(ini);
  (void)Settings::ReadPortDevices(ini);

  TAppSettings changed = read;
  changed.PortNumber ^= 5;
  changed.MaxArch = static_cast<int>(size);
  changed.ShowHint = !read.ShowHint;
  Settings::Write(ini, changed);
  if (!ini.Save()) std::abort();
  const TAppSettings again = Settings::Read(TIniFile(in));
  if (!Same(again, changed)) std::abort();
  constexpr size_t KeysWritten = 9;
  const std::vector<QByteArray> before = Lines(input);
  if (before.size() <= 2000 && LinesLost(before, Lines(FileBytes(in))) > KeysWritten) std::abort();
  return 0;
}
