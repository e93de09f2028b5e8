// The instrument object TMIP: the in-memory data image of one instrument, the job engine that
// runs jobs on its own thread, and the register map that moves data between the image and the
// instrument's Modbus registers.
#pragma once

#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instrument/DateTime.h"
#include "modbus/Modbusunit.h"

inline constexpr int MaxChannels = 32;
inline constexpr int MaxRelays = 32;
inline constexpr int SetpointCount = 4;
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

// Job codes the engine handles itself; every other code goes to Execute unchanged.
inline constexpr uint8_t JobReadSettingsPage = 30;
inline constexpr uint8_t JobReadArchive = 34;
inline constexpr uint8_t JobSearch = 126;
inline constexpr uint8_t JobReadAll = 127;
inline constexpr uint8_t JobWriteSettingsPage = 158;
inline constexpr uint8_t JobWriteAll = 255;
// Operation codes with a special role.
inline constexpr uint8_t OpReadSettings = 27;
inline constexpr uint8_t OpReadClock = 28;
inline constexpr uint8_t OpReadState = 29;
inline constexpr uint8_t OpReadRecord = 31;
inline constexpr uint8_t OpWriteSettings = 155;
inline constexpr uint8_t OpWriteClock = 156;
inline constexpr uint8_t OpChangeAddress = 159;

// A u16 kept little-endian in memory whatever the host, so that the configuration block is the
// same byte image on every machine. Reads and writes like a plain number.
struct TLeU16 {
  uint8_t Bytes[2];

  uint16_t Get() const { return static_cast<uint16_t>(Bytes[0] | (Bytes[1] << 8)); }
  void Set(uint16_t v) {
    Bytes[0] = static_cast<uint8_t>(v);
    Bytes[1] = static_cast<uint8_t>(v >> 8);
  }
  operator uint16_t() const { return Get(); }
  TLeU16& operator=(uint16_t v) {
    Set(v);
    return *this;
  }
};

// An IEEE-754 single kept little-endian in memory whatever the host.
struct TLeFloat {
  uint8_t Bytes[4];

  uint32_t Bits() const {
    return static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
           (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
  }
  void SetBits(uint32_t b) {
    for (int i = 0; i < 4; ++i) Bytes[i] = static_cast<uint8_t>(b >> (8 * i));
  }
  float Get() const { return std::bit_cast<float>(Bits()); }
  void Set(float v) { SetBits(std::bit_cast<uint32_t>(v)); }
  operator float() const { return Get(); }
  TLeFloat& operator=(float v) {
    Set(v);
    return *this;
  }
};

static_assert(sizeof(TLeU16) == 2 && alignof(TLeU16) == 1);
static_assert(sizeof(TLeFloat) == 4 && alignof(TLeFloat) == 1);

// The configuration block: 1715 bytes of fixed layout, both part of the image and the body of
// the configuration file. Per-channel and per-relay arrays always have 32 elements; the 4 x 32
// arrays hold setpoint k of channel i at [k][i].
struct TConfigBlock {
  uint8_t Spare;             // never transferred; carried through files unchanged
  TLeU16 ArchivePeriod;      // register 98, in measurement periods
  TLeFloat MeasurePeriod;    // registers 1794..1795, seconds; 0 = the nominal period
  uint8_t Register100;       // register 100, low byte; carried unchanged
  uint8_t Padding;           // never transferred; carried through files unchanged
  TLeU16 Register101;        // register 101; carried unchanged
  TLeU16 Password;           // register 102, 0..9999
  uint8_t Protocol;          // register 103, low byte; 0 = "ModBus RTU"
  uint8_t InterfaceSpeed;    // register 104, low byte; 0 = 9600, 1 = 19200
  uint8_t DeviceFaultRelay;  // register 109, low byte; 0 none, 1..32
  uint8_t DeviceFaultFlags;  // register 110: bit 0 on at a fault, bit 1 from the second time
  uint8_t SensorFaultRelay;  // register 111, low byte; 0 none, 1..32
  uint8_t SensorFaultFlags;  // register 112: bit 0 off at a fault, bit 1 from the second time
  uint8_t TypeSensor[MaxChannels];                     // registers 128 + i
  uint8_t Comma[MaxChannels];                          // registers 160 + i, decimal point 0..3
  uint8_t Filter[MaxChannels];                         // registers 192 + i, 0..5
  TLeFloat Minimum[MaxChannels];                       // registers 896 + 2i
  TLeFloat Maximum[MaxChannels];                       // registers 1024 + 2i
  TLeFloat Setpoint[SetpointCount][MaxChannels];       // registers 1152 + 128k + 2i
  TLeFloat Hysteresis[MaxChannels];                    // registers 1664 + 2i
  uint8_t SetpointRelay[SetpointCount][MaxChannels];   // registers 448 + 32k + i
  uint8_t LogicCondition[SetpointCount][MaxChannels];  // register 640 + 32k + i, bit 0
  uint8_t LogicFault[SetpointCount][MaxChannels];      // same register, bits 1..2
  uint8_t LogicFilter[SetpointCount][MaxChannels];     // same register, bit 3
  uint8_t BreakCheck[MaxChannels];                     // coils i
  uint8_t SquareRoot[MaxChannels];                     // coils 32 + i
  uint8_t ThreeWire[MaxChannels];                      // coils 64 + i
  uint8_t RelayByComputer[MaxRelays];                  // coils 96 + j
  uint8_t RelayTestOn[MaxRelays];                      // coils 128 + j
  uint8_t KXC[MaxChannels];                            // registers 608 + i; 0 none, k = channel k
};

inline constexpr size_t ConfigBlockSize = 1715;

static_assert(sizeof(TConfigBlock) == ConfigBlockSize);
static_assert(alignof(TConfigBlock) == 1);
static_assert(offsetof(TConfigBlock, Spare) == 0);
static_assert(offsetof(TConfigBlock, ArchivePeriod) == 1);
static_assert(offsetof(TConfigBlock, MeasurePeriod) == 3);
static_assert(offsetof(TConfigBlock, Register100) == 7);
static_assert(offsetof(TConfigBlock, Padding) == 8);
static_assert(offsetof(TConfigBlock, Register101) == 9);
static_assert(offsetof(TConfigBlock, Password) == 11);
static_assert(offsetof(TConfigBlock, Protocol) == 13);
static_assert(offsetof(TConfigBlock, InterfaceSpeed) == 14);
static_assert(offsetof(TConfigBlock, DeviceFaultRelay) == 15);
static_assert(offsetof(TConfigBlock, DeviceFaultFlags) == 16);
static_assert(offsetof(TConfigBlock, SensorFaultRelay) == 17);
static_assert(offsetof(TConfigBlock, SensorFaultFlags) == 18);
static_assert(offsetof(TConfigBlock, TypeSensor) == 19);
static_assert(offsetof(TConfigBlock, Comma) == 51);
static_assert(offsetof(TConfigBlock, Filter) == 83);
static_assert(offsetof(TConfigBlock, Minimum) == 115);
static_assert(offsetof(TConfigBlock, Maximum) == 243);
static_assert(offsetof(TConfigBlock, Setpoint) == 371);
static_assert(offsetof(TConfigBlock, Setpoint[1]) == 499);
static_assert(offsetof(TConfigBlock, Setpoint[2]) == 627);
static_assert(offsetof(TConfigBlock, Setpoint[3]) == 755);
static_assert(offsetof(TConfigBlock, Hysteresis) == 883);
static_assert(offsetof(TConfigBlock, SetpointRelay) == 1011);
static_assert(offsetof(TConfigBlock, SetpointRelay[2]) == 1075);
static_assert(offsetof(TConfigBlock, LogicCondition) == 1139);
static_assert(offsetof(TConfigBlock, LogicFault) == 1267);
static_assert(offsetof(TConfigBlock, LogicFilter) == 1395);
static_assert(offsetof(TConfigBlock, BreakCheck) == 1523);
static_assert(offsetof(TConfigBlock, SquareRoot) == 1555);
static_assert(offsetof(TConfigBlock, ThreeWire) == 1587);
static_assert(offsetof(TConfigBlock, RelayByComputer) == 1619);
static_assert(offsetof(TConfigBlock, RelayTestOn) == 1651);
static_assert(offsetof(TConfigBlock, KXC) == 1683);

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

// Parameter groups are numbered by the operation that reads them: 2 (sensor types) to 27 (the
// device settings); the operation that writes group g is g + 128.
inline constexpr int FirstGroup = 2;
inline constexpr int LastGroup = 27;

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
  std::vector<MeasurementRecord> MeasArchive;  // newest first after job 34
  uint16_t RangeFirst = 0;  // search: first address; archive: first record number
  uint16_t RangeLast = 0;   // inclusive
  uint8_t Address = 1;      // slave address of every request; reset keeps it

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

  void ClearArchive() { MeasArchive.clear(); }
  void AppendRecord() { MeasArchive.push_back(MeasRecord); }
  size_t ArchiveCount() const { return MeasArchive.size(); }
  const MeasurementRecord& ArchiveRecord(size_t position) const { return MeasArchive[position]; }
  // Newest first; records with equal times end in no particular order. Records without a time
  // (their date was no date) come last, the higher number first.
  void SortArchive();
};

// The instrument object: data image, job engine and register map. The job thread runs every
// transaction and calls the three callbacks on itself.
class TMIP : public TDataImage {
 public:
  TMIP();
  ~TMIP();
  TMIP(const TMIP&) = delete;
  TMIP& operator=(const TMIP&) = delete;

  // The serial channel; the shell opens and closes its port and sets its line settings.
  TModBus Bus;

  // Registered once by the owner before the first job; an empty one is skipped. They run on the
  // job thread. Once destruction has begun none of them is called any more, so a callback that
  // waits for another thread should stop waiting when Stopping() turns true.
  std::function<void()> OnJobStart;
  std::function<void(uint8_t progress)> OnProgress;
  std::function<void(TResult result)> OnJobDone;
  // The archive read: a record has just been appended to the archive list (a copy of it).
  std::function<void(const MeasurementRecord& record)> OnRecord;

  std::atomic<uint8_t> JobResult{RESULT_OK};
  // The exception code when the job failed on an exception reply of the instrument, else -1.
  std::atomic<int16_t> JobException{-1};
  std::atomic<uint8_t> Cancel{1};  // stop request for the job under way
  std::atomic<uint8_t> Busy{0};    // 1 from an accepted StartJob until just before OnJobDone
  std::atomic<uint8_t> Progress{0};
  std::atomic<uint8_t> JobCode{0};
  std::atomic<uint8_t> CurrentOp{0};  // job code, or the operation under way in a bulk job

  // Accepts a job when none runs: clears Cancel in any case; false when a job is running.
  bool StartJob(uint8_t jobCode);
  // True once destruction has begun.
  bool Stopping() const { return stopping_.load(); }

  // The register map: one read or write operation on the job thread (or on any one thread while
  // no job runs). Expects the slave address in the request frame.
  TResult Execute(uint8_t op);

  // The configuration file: header and configuration block, 1738 bytes.
  bool SaveConfiguration(const std::string& path) const;
  bool LoadConfiguration(const std::string& path);

 private:
  void JobThreadMain();
  bool WaitForJob();
  void RunJob();
  TResult IdentityCheck(uint16_t* modelCode, uint16_t* channels, uint16_t* relays);
  TResult RunSearch();
  TResult RunJobCode(uint8_t code);
  TResult RunSequence(int firstOp, int lastOp, bool retryBusy,
                      const std::function<uint8_t(int)>& progressAfter);
  TResult ExecuteWhileBusy(uint8_t op);
  TResult RunSettingsPage();
  TResult RunArchive();
  bool FailedOnException(TResult result) const;
  TResult WriteGroup(uint8_t op, bool retryBusy);
  void ReportProgress(uint8_t value);
  void NotifyJobStart();
  void NotifyJobDone(TResult result);

  // Register map pieces.
  TResult Transact();
  uint16_t Channels() const;
  uint16_t Relays() const;
  TResult ReadRegisters(uint8_t function, uint16_t first, uint16_t count, uint16_t expectedLength);
  TResult WriteRegisters(uint16_t first, const uint16_t* values, uint16_t count);
  TResult WriteWhileBusy(uint16_t first, const uint16_t* values, uint16_t count);
  TResult WriteCoils(uint16_t first, const uint8_t* flags, uint16_t count);
  TResult ReadOperation(uint8_t op);
  TResult WriteOperation(uint8_t op);
  TResult ReadChannelBytes(uint16_t first, uint8_t* target);
  TResult ReadChannelFloats(uint16_t first, TLeFloat* target);
  TResult ReadFlags(uint16_t firstCoil, uint16_t count, uint8_t* target);
  TResult ReadCurrentValues();
  TResult ReadRecordLayout(uint16_t first, uint16_t* number, TDateTime& time, float* values);
  TResult ReadFaultRelays();
  TResult ReadLogic(int setpoint);
  TResult ReadSettings();
  TResult ReadClock();
  TResult ReadState();
  TResult WriteChannelBytes(uint16_t first, const uint8_t* source);
  TResult WriteChannelFloats(uint16_t first, const TLeFloat* source);
  TResult WriteFaultRelays();
  TResult WriteLogic(int setpoint);
  TResult WriteSettings();
  TResult WriteClock();
  TResult ChangeAddress();

  std::mutex mutex_;
  std::condition_variable wake_;
  bool startRequested_ = false;  // the start event, under mutex_
  std::atomic<bool> stopping_{false};
  std::thread jobThread_;
};
