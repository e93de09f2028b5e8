// The nine user settings kept between runs, the port device names, and where the settings file
// lives: next to the program, or in the user's configuration folder when the program's folder
// cannot be written.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include "modbus/NetworkLine.h"
#include "shell/settings/IniFile.h"

// The values as they stand in the file; the receivers narrow them to their own widths.
struct TAppSettings {
  int PortNumber = 0;
  int BaudRate = 6;
  int WaitTime = 1300;
  int CurrentAddress = 1;
  bool ShowHint = true;
  int AddressMin = 1;
  int AddressMax = 255;
  int MinArch = 1;
  int MaxArch = 100;
};

namespace Settings {

inline constexpr int PortDeviceCount = 20;  // Com1..Com20

// The program's own file name with its extension replaced by ".ini", in the program's folder;
// where that folder cannot be written, k7104-configurator.ini in $XDG_CONFIG_HOME (or ~/.config)
// /k7104-configurator.
QString DefaultFilePath(const QString& programFile);

TAppSettings Read(const TIniFile& ini);
// All nine keys, every time, in their fixed order.
void Write(TIniFile& ini, const TAppSettings& settings);

// The pause between two polls of a live page, in ms: 0 (continuously, also for a missing or
// unreadable key) or 100..60000. A key of its own beside the nine; written only once it differs
// from 0 or is in the file already, so that a file of the nine keys stays as it was.
inline constexpr int PollIntervalMin = 100;
inline constexpr int PollIntervalMax = 60000;
int ClampPollInterval(int ms);
int ReadPollInterval(const TIniFile& ini);
void WritePollInterval(TIniFile& ini, int ms);

// How many times a garbled read is sent again: 0 (the default, also for a missing or unreadable
// key) to 5, larger values taken as 5. A key of its own beside the nine, written once it differs
// from 0 or is in the file already.
inline constexpr int ReadRetriesMax = 5;
int ReadReadRetries(const TIniFile& ini);
void WriteReadRetries(TIniFile& ini, int retries);

// Whether the search probes with the fast timeout: a key of its own beside the nine, written
// once it is on or in the file already.
bool ReadFastSearch(const TIniFile& ini);
void WriteFastSearch(TIniFile& ini, bool on);

// Whether a write refuses to start while the journal of writes cannot be kept: a key of its own
// beside the nine, off by default, written once it is on or in the file already.
bool ReadRequireJournal(const TIniFile& ini);
void WriteRequireJournal(TIniFile& ini, bool on);

// How many of an instrument's last journal records the configuration report lists: 0..1000, 10
// for a missing or unreadable key; written once it differs from 10 or is in the file already.
inline constexpr int DefaultJournalReportRecords = 10;
inline constexpr int MaxJournalReportRecords = 1000;
int ReadJournalReportRecords(const TIniFile& ini);
void WriteJournalReportRecords(TIniFile& ini, int count);

// The rate alone of the nine, for a rate taken from the rate search at once; the file's other
// keys stay as they are.
void WriteBaudRate(TIniFile& ini, int baudIndex);

// The line over Ethernet of [Network]: whether it is the line in use instead of the serial port,
// the server's host and TCP port, and the mode (0 RTU over TCP, 1 Modbus TCP, 2 RFC 2217). A key
// out of range reads as its default; a network line without a host reads as the serial port.
// Written once the network line has been chosen or the section is in the file already, so that a
// file of the nine keys stays as it was.
inline constexpr uint16_t DefaultTcpPort = 502;
TLineDescription ReadNetwork(const TIniFile& ini);
void WriteNetwork(TIniFile& ini, const TLineDescription& line);

// Device paths of [PortDevices] Com1..Com20; an empty entry keeps the port's default device.
QStringList ReadPortDevices(const TIniFile& ini);
// Binds a Com number (0 is Com1) to a device path; the file's other keys stay as they are.
void WritePortDevice(TIniFile& ini, int index, const QString& path);

// The low 8 or 16 bits of a value, as the field that receives it holds it.
inline uint8_t Low8(int value) {
  return static_cast<uint8_t>(value);
}
inline uint16_t Low16(int value) {
  return static_cast<uint16_t>(value);
}

}  // namespace Settings
