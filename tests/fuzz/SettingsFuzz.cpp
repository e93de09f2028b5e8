// Settings files of any content: the reader takes what it can and gives the defaults for the
// rest; written back and read again, every one of the nine settings reads as it was written.
#include <QFile>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "shell/settings/IniFile.h"
#include "shell/settings/Settings.h"

namespace {

// In memory where the system has it: saving flushes to the disk, which a disk makes slow.
QString ScratchPath(const char* name) {
  const QString folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return QString("%1/k7104-fuzz-%2-%3").arg(folder).arg(getpid()).arg(name);
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
  TIniFile ini(in);
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
  return 0;
}
