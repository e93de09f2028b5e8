// The data image: everything the configurator knows about one instrument, what the job thread
// fills and the window shows and edits, with the record of where each group's values came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "instrument/ConfigBlock.h"
#include "instrument/DateTime.h"
#include "instrument/Groups.h"

inline constexpr int MaxFoundDevices = 255;
inline constexpr size_t DeviceIdLength = 10;

// Numbers the instrument reports in place of a measured value.
inline constexpr float MarkerDeviceFault = -32768.0f;
inline constexpr float MarkerSensorFault = -32767.0f;
inline constexpr float MarkerSwitchedOn = -32765.0f;  // power-up mark in archive records
inline constexpr float MarkerNotConfigured = -32764.0f;
inline constexpr float MarkerColdJunctionFault = -32763.0f;
// How close a value must be to a marker to count as one: live pages and archive page.
inline constexpr double LiveMarkerTolerance = 0.01;
inline constexpr double ArchiveMarkerTolerance = 0.0001;

// Model codes of the identity register 5.
inline constexpr uint16_t ModelK7104T1 = 1;
inline constexpr uint16_t ModelK7104C1 = 2;
inline constexpr uint16_t ModelK7104E025 = 6;

// Operating states of register 97.
inline constexpr uint16_t StateMeasuring = 129;
inline constexpr uint16_t StateOperator = 137;
inline constexpr uint16_t StateMenu = 138;

// One entry of the measurement archive (host order; not part of any file).
struct MeasurementRecord {
  uint16_t Number = 0;  // the record number the instrument returned
  TDateTime Time = 0;
  float Value[MaxChannels] = {};  // only the first ChannelCount are filled by a read
};

// An instrument that answered a search.
struct TFoundDevice {
  uint8_t Address = 0;
  uint8_t ModelCode = 0;  // low byte of identity register 5
};

// An instrument that answered a rate search: the rate it answered at, its address and model.
struct TRateFind {
  uint32_t BaudRate = 0;
  uint8_t Address = 0;
  uint8_t ModelCode = 0;  // low byte of identity register 5
};

// How a search probes the addresses of its range.
enum class TSearchMode : uint8_t {
  Standard,     // 150 ms per address
  Fast,         // a timeout from the rate and the latency of the instruments found so far
  SilentAgain,  // the addresses the last search found nothing at, 150 ms each; the finds are added
};

// How an archive read (job 34) begins.
enum class TArchiveMode : uint8_t {
  Fresh,     // records RangeFirst..RangeLast in place of the list
  Continue,  // from the record after the last one read to the end of the range the last fresh
             // read asked, appended to the list
};

// Where the values of a parameter group in the data image came from. Values that nobody has read
// from the instrument talked to may not be written over its own: a write of such a group reads
// it first and puts the user's edits on top.
enum class TGroupSource : uint8_t {
  NotRead,  // left from another instrument or another connection: shown as not read
  Initial,  // the image as created; shown, but not read from any instrument
  Read,     // read from the instrument talked to, or written to it
  Loaded,   // loaded from a configuration file
  Reset,    // set by the command "Новый"
};

// True when value lies within tolerance of marker (the difference taken in double precision).
inline bool IsMarker(float value, float marker, double tolerance) {
  double d = static_cast<double>(value) - static_cast<double>(marker);
  return d < tolerance && d > -tolerance;
}

// Everything the configurator knows about one instrument. The job thread writes it while a job
// runs; the window reads it between jobs and writes it on the user's edits.
class TDataImage {
 public:
  TDataImage();

  // Archive record buffer and the record number that operation 31 asks for.
  MeasurementRecord MeasRecord;
  uint16_t RecordIndex = 0;

  // Counts that every transfer uses (at most 32), and the search results.
  uint16_t ChannelCount = MaxChannels;
  uint16_t RelayCount = MaxRelays;
  TFoundDevice FoundDevices[MaxFoundDevices] = {};
  uint8_t FoundCount = 0;
  // What the last rate search heard, fastest rate first; kept when it was stopped.
  std::vector<TRateFind> RateFinds;
  std::vector<MeasurementRecord> MeasArchive;  // newest first after job 34
  uint16_t RangeFirst = 0;  // search: first address; archive: first record number
  uint16_t RangeLast = 0;   // inclusive
  TSearchMode SearchMode = TSearchMode::Standard;
  // Applies to the next job only, which sets it back to Fresh.
  TArchiveMode ArchiveMode = TArchiveMode::Fresh;
  // The last record of the range the last fresh archive read asked, and the record a read that
  // goes on starts at: past ArchiveAskedLast once the range is read or the archive ended in it.
  uint16_t ArchiveAskedLast = 0;
  uint32_t ArchiveNext = 1;
  uint8_t Address = 1;  // slave address of every request; reset keeps it

  // Identity, state and measurements; reset clears them.
  char DeviceId[DeviceIdLength + 1] = {};  // "VOSTRELIN!" for an instrument of the family
  uint16_t ModelCode = 0;
  uint16_t FirmwareVersion = 0;  // high byte major, low byte minor
  uint16_t DeviceChannels = 0;   // as reported, not clamped
  uint16_t DeviceRelays = 0;
  uint16_t ArchiveDepth = 0;
  uint16_t ArchiveCurrent = 0;
  TDateTime DeviceClock = 0;
  float CurrentValue[MaxChannels] = {};
  TDateTime LastCycleTime = 0;
  float LastCycleValue[MaxChannels] = {};
  uint16_t DeviceState = 0;
  uint8_t InterfaceAddress = 0;
  float NominalPeriod = 0;

  TConfigBlock Config{};

  // Clears identity, state, measurements and the configuration block, sets DeviceClock to now,
  // empties the archive and sets both counts to 32. Address, ranges, search results, RecordIndex
  // and the record buffer stay.
  void Reset();

  // Where each group's values came from, by group number (FirstGroup..LastGroup).
  TGroupSource GroupSource[LastGroup + 1] = {};
  // The bits of each configuration block byte that the user has edited since the group was last
  // read, written, loaded or reset.
  uint8_t EditedBits[ConfigBlockSize] = {};

  // The group's values may be shown and written as they are.
  bool GroupKnown(int group) const;
  // A new connection or another instrument: what was read before is no longer known.
  void ForgetReadGroups();
  void SetGroupSources(TGroupSource source);
  bool AnyGroupFrom(TGroupSource source) const;
  // Marks bits of a field inside Config as edited by the user; true when any of them is.
  void MarkEdited(const void* field, size_t size, uint8_t bits = 0xFF);
  bool IsEdited(const void* field, size_t size, uint8_t bits = 0xFF) const;
  // Shown on the pages: the group is known, or the user has edited the field.
  bool Shows(int group, const void* field, size_t size, uint8_t bits = 0xFF) const {
    return GroupKnown(group) || IsEdited(field, size, bits);
  }
  // After a read or a write of the group: its values are the instrument's, its edits are gone.
  void GroupTransferred(int group);
  void ClearEdits(int group);

  // The configuration block as one piece of ConfigBlockSize bytes, for the file operations.
  uint8_t* ConfigBlockBytes() { return reinterpret_cast<uint8_t*>(&Config); }
  const uint8_t* ConfigBlockBytes() const { return reinterpret_cast<const uint8_t*>(&Config); }

  // Empties the list; nothing is left to go on with.
  void ClearArchive() {
    MeasArchive.clear();
    ArchiveAskedLast = 0;
    ArchiveNext = 1;
  }
  // An archive read failed or was stopped before the end of the range it asked.
  bool ArchiveCanContinue() const { return ArchiveNext <= ArchiveAskedLast; }
  void AppendRecord() { MeasArchive.push_back(MeasRecord); }
  size_t ArchiveCount() const { return MeasArchive.size(); }
  const MeasurementRecord& ArchiveRecord(size_t position) const { return MeasArchive[position]; }
  // Newest first; records with equal times end in no particular order. Records without a time
  // (their date was no date) come last, the higher number first.
  void SortArchive();
};
