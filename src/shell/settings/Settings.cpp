#include "shell/settings/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace Settings {

namespace {

const char* const PortSection = "SettingsPort";
const char* const MainSection = "Settings";
const char* const DevicesSection = "PortDevices";
const char* const PollIntervalKey = "PollInterval";
const char* const FastSearchKey = "FastSearch";
const char* const ReadRetriesKey = "ReadRetries";
const char* const RequireJournalKey = "RequireJournal";
const char* const JournalReportRecordsKey = "JournalReportRecords";

const char* const NetworkSection = "Network";

// Tried rather than read from the permissions, which on Windows do not tell it.
bool CanWriteFolder(const QString& folder) {
  QTemporaryFile probe(folder + "/.k7104-probe-XXXXXX");
  return probe.open();
}

QString UserConfigFolder() {
#ifdef Q_OS_WIN
  return qEnvironmentVariable("APPDATA") + "/k7104-configurator";
#else
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) base = QDir::homePath() + "/.config";
  return base + "/k7104-configurator";
#endif
}

}  // namespace

QString DefaultFilePath(const QString& programFile) {
  const QFileInfo program(programFile);
  const QString folder = program.absolutePath();
  if (CanWriteFolder(folder)) return folder + "/" + program.completeBaseName() + ".ini";
  return UserConfigFolder() + "/k7104-configurator.ini";
}

TAppSettings Read(const TIniFile& ini) {
  const TAppSettings d;
  TAppSettings s;
  s.PortNumber = ini.ReadInteger(PortSection, "PortNumber", d.PortNumber);
  s.BaudRate = ini.ReadInteger(PortSection, "BaudRate", d.BaudRate);
  s.WaitTime = ini.ReadInteger(PortSection, "WaitTime", d.WaitTime);
  s.CurrentAddress = ini.ReadInteger(MainSection, "CurrentAddress", d.CurrentAddress);
  s.ShowHint = ini.ReadBool(MainSection, "ShowHint", d.ShowHint);
  s.AddressMin = ini.ReadInteger(MainSection, "AddressMin", d.AddressMin);
  s.AddressMax = ini.ReadInteger(MainSection, "AddressMax", d.AddressMax);
  s.MinArch = ini.ReadInteger(MainSection, "MinArch", d.MinArch);
  s.MaxArch = ini.ReadInteger(MainSection, "MaxArch", d.MaxArch);
  return s;
}

void Write(TIniFile& ini, const TAppSettings& s) {
  ini.WriteInteger(PortSection, "PortNumber", s.PortNumber);
  ini.WriteInteger(PortSection, "BaudRate", s.BaudRate);
  ini.WriteInteger(PortSection, "WaitTime", s.WaitTime);
  ini.WriteInteger(MainSection, "CurrentAddress", s.CurrentAddress);
  ini.WriteBool(MainSection, "ShowHint", s.ShowHint);
  ini.WriteInteger(MainSection, "AddressMin", s.AddressMin);
  ini.WriteInteger(MainSection, "AddressMax", s.AddressMax);
  ini.WriteInteger(MainSection, "MinArch", s.MinArch);
  ini.WriteInteger(MainSection, "MaxArch", s.MaxArch);
}

QStringList ReadPortDevices(const TIniFile& ini) {
  QStringList devices;
  for (int i = 1; i <= PortDeviceCount; ++i)
    devices << ini.ReadString(DevicesSection, QString("Com%1").arg(i)).value_or(QString());
  return devices;
}

void WritePortDevice(TIniFile& ini, int index, const QString& path) {
  if (index < 0 || index >= PortDeviceCount) return;
  ini.WriteString(DevicesSection, QString("Com%1").arg(index + 1), path);
}

int ClampPollInterval(int ms) {
  if (ms <= 0) return 0;
  return qBound(PollIntervalMin, ms, PollIntervalMax);
}

int ReadPollInterval(const TIniFile& ini) {
  return ClampPollInterval(ini.ReadInteger(PortSection, PollIntervalKey, 0));
}

void WritePollInterval(TIniFile& ini, int ms) {
  if (ms == 0 && !ini.ReadString(PortSection, PollIntervalKey)) return;
  ini.WriteInteger(PortSection, PollIntervalKey, ClampPollInterval(ms));
}

int ReadReadRetries(const TIniFile& ini) {
  return qBound(0, ini.ReadInteger(PortSection, ReadRetriesKey, 0), ReadRetriesMax);
}

void WriteReadRetries(TIniFile& ini, int retries) {
  if (retries == 0 && !ini.ReadString(PortSection, ReadRetriesKey)) return;
  ini.WriteInteger(PortSection, ReadRetriesKey, qBound(0, retries, ReadRetriesMax));
}

bool ReadFastSearch(const TIniFile& ini) {
  return ini.ReadBool(MainSection, FastSearchKey, false);
}

void WriteFastSearch(TIniFile& ini, bool on) {
  if (!on && !ini.ReadString(MainSection, FastSearchKey)) return;
  ini.WriteBool(MainSection, FastSearchKey, on);
}

bool ReadRequireJournal(const TIniFile& ini) {
  return ini.ReadBool(MainSection, RequireJournalKey, false);
}

void WriteRequireJournal(TIniFile& ini, bool on) {
  if (!on && !ini.ReadString(MainSection, RequireJournalKey)) return;
  ini.WriteBool(MainSection, RequireJournalKey, on);
}

int ReadJournalReportRecords(const TIniFile& ini) {
  const int count =
      ini.ReadInteger(MainSection, JournalReportRecordsKey, DefaultJournalReportRecords);
  return count >= 0 && count <= MaxJournalReportRecords ? count : DefaultJournalReportRecords;
}

void WriteJournalReportRecords(TIniFile& ini, int count) {
  if (count == DefaultJournalReportRecords && !ini.ReadString(MainSection, JournalReportRecordsKey))
    return;
  ini.WriteInteger(MainSection, JournalReportRecordsKey, count);
}

void WriteBaudRate(TIniFile& ini, int baudIndex) {
  ini.WriteInteger(PortSection, "BaudRate", baudIndex);
}

TLineDescription ReadNetwork(const TIniFile& ini) {
  TLineDescription line;
  line.Host = ini.ReadString(NetworkSection, "Host").value_or(QString()).trimmed().toStdString();
  const bool network = ini.ReadInteger(NetworkSection, "Line", 0) == 1 && !line.Host.empty();
  line.Kind = network ? TLineKind::Network : TLineKind::Serial;
  const int port = ini.ReadInteger(NetworkSection, "Port", DefaultTcpPort);
  line.Port = static_cast<uint16_t>(port >= 1 && port <= 65535 ? port : DefaultTcpPort);
  const int mode = ini.ReadInteger(NetworkSection, "Mode", 0);
  line.Mode = static_cast<TNetworkMode>(mode >= 0 && mode < NetworkModeCount ? mode : 0);
  return line;
}

void WriteNetwork(TIniFile& ini, const TLineDescription& line) {
  const bool network = line.Kind == TLineKind::Network;
  if (!network && !ini.ReadString(NetworkSection, "Line")) return;
  ini.WriteInteger(NetworkSection, "Line", network ? 1 : 0);
  ini.WriteString(NetworkSection, "Host", QString::fromStdString(line.Host));
  ini.WriteInteger(NetworkSection, "Port", line.Port != 0 ? line.Port : DefaultTcpPort);
  ini.WriteInteger(NetworkSection, "Mode", static_cast<int>(line.Mode));
}

}  // namespace Settings
