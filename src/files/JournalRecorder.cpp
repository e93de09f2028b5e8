#include "files/JournalRecorder.h"

#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "files/ConfigValues.h"
#include "files/JournalPlace.h"
#include "instrument/JobMessages.h"

const char* const JournalNotRead = "не считано";

namespace {

std::string TimeText(const std::tm& parts) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string FirmwareText(uint16_t version) {
  return std::to_string(version >> 8) + "." + std::to_string(version & 0xFF);
}

TJournalOutcome OutcomeOf(const TGroupWriteEnd& end) {
  if (end.Result == RESULT_OK) return TJournalOutcome::Confirmed;
  return end.Partly ? TJournalOutcome::Partly : TJournalOutcome::Failed;
}

// The group's bytes of the configuration block copied from one block to another.
void CopyGroupBytes(const TGroup& group, const TConfigBlock& from, TConfigBlock& to) {
  const auto* source = reinterpret_cast<const uint8_t*>(&from);
  auto* target = reinterpret_cast<uint8_t*>(&to);
  for (const TConfigField& field : group.Fields)
    for (size_t k = field.Offset; k < field.Offset + field.Size; ++k) target[k] = source[k];
}

}  // namespace

TJournalRecorder::TJournalRecorder(TJournal& journal, const TModBus& bus, std::string program,
                                   std::string version, std::string separator)
    : journal_(journal),
      bus_(bus),
      program_(std::move(program)),
      version_(std::move(version)),
      separator_(std::move(separator)),
      login_(LoginName()) {}

void TJournalRecorder::IdentityRead(uint8_t address, const TIdentity& identity) {
  TKnown& known = KnownAt(address);
  if (known.Identity && known.Identity->ModelCode != identity.ModelCode) known = TKnown{};
  known.Identity = identity;
}

void TJournalRecorder::GroupRead(const TGroup& group, uint8_t address, const TDataImage& image) {
  Remember(group, address, image);
}

// What the instrument holds now, as the image says after a read or a confirmed write.
void TJournalRecorder::Remember(const TGroup& group, uint8_t address, const TDataImage& image) {
  TKnown& known = KnownAt(address);
  if (group.Kind == TElementKind::Clock) known.Clock = image.DeviceClock;
  if (!IsParameterGroup(group.Code)) return;
  CopyGroupBytes(group, image.Config, known.Block);
  known.GroupRead[group.Code] = true;
}

void TJournalRecorder::Forget(const TGroup& group, uint8_t address) {
  TKnown& known = KnownAt(address);
  if (group.Kind == TElementKind::Clock) known.Clock.reset();
  if (IsParameterGroup(group.Code)) known.GroupRead[group.Code] = false;
}

void TJournalRecorder::Keep(const TJournalRecord& record) {
  if (journal_.Append(record)) return;
  ++lost_;
  Report(journal_.LastError(), journal_.LastDetail());
}

void TJournalRecorder::GroupWritten(const TGroupWriteEnd& end, const TDataImage& image) {
  Keep(MakeRecord(end, image));
  if (end.Result == RESULT_OK && end.Group->Kind == TElementKind::Address) {
    known_[image.InterfaceAddress] = std::exchange(known_[end.Address], TKnown{});
  } else if (end.Result == RESULT_OK) {
    Remember(*end.Group, end.Address, image);
  } else if (end.Partly) {
    Forget(*end.Group, end.Address);
  }
}

bool TJournalRecorder::WritesMayStart() {
  if (!required_ || journal_.CheckWritable()) return true;
  Report(journal_.LastError(), journal_.LastDetail());
  return false;
}

void TJournalRecorder::Report(TJournalError error, const std::string& detail) {
  if (reported_) return;
  reported_ = true;
  if (OnFailure) OnFailure(error, detail);
}

// When, who, with what and on which line.
TJournalRecord TJournalRecorder::NewRecord(uint8_t address) const {
  TJournalRecord record;
  std::tm utc{};
  std::tm local{};
  NowParts(utc, local);
  record.Utc = TimeText(utc);
  record.Local = TimeText(local);
  record.Login = login_;
  record.Program = program_;
  record.Version = version_;
  record.Line = LineText();
  record.Address = address;
  return record;
}

TJournalRecord TJournalRecorder::MakeRecord(const TGroupWriteEnd& end, const TDataImage& image) {
  TJournalRecord record = NewRecord(end.Address);
  const TKnown& known = KnownAt(end.Address);
  const uint16_t model = known.Identity ? known.Identity->ModelCode : image.ModelCode;
  const uint16_t firmware = known.Identity ? known.Identity->Firmware : image.FirmwareVersion;
  record.Model = model != 0 ? ModelTitle(model) : "";
  record.Firmware = firmware != 0 ? FirmwareText(firmware) : "";
  record.Group = GroupName(end.Op);
  record.Outcome = OutcomeOf(end);
  if (end.Result != RESULT_OK)
    record.Failure = FailureSentence(end.Result, end.Op, end.Exception, end.GatewayException);
  AddChanges(record, end, image);
  return record;
}

// Every value of the group that differs from the last read of it, or all of them, before "не
// считано", when it was never read from this instrument; the clock and the address by themselves.
void TJournalRecorder::AddChanges(TJournalRecord& record, const TGroupWriteEnd& end,
                                  const TDataImage& image) {
  const TGroup& group = *end.Group;
  const TKnown& known = KnownAt(end.Address);
  if (group.Kind == TElementKind::Clock) {
    record.Changes.push_back({"Часы",
                              known.Clock ? JournalDateTimeText(*known.Clock) : JournalNotRead,
                              JournalDateTimeText(image.DeviceClock)});
    return;
  }
  if (group.Kind == TElementKind::Address) {
    record.Changes.push_back(
        {"Адрес", std::to_string(end.Address), std::to_string(image.InterfaceAddress)});
    return;
  }
  if (!IsParameterGroup(group.Code)) return;
  const auto after =
      GroupValues(group, image.Config, image.ChannelCount, image.RelayCount, separator_);
  const bool read = known.GroupRead[group.Code];
  const auto before =
      read ? GroupValues(group, known.Block, image.ChannelCount, image.RelayCount, separator_)
           : std::vector<TElementValue>{};
  for (size_t k = 0; k < after.size(); ++k) {
    if (!read) {
      record.Changes.push_back({after[k].Element, JournalNotRead, after[k].Text});
    } else if (k < before.size() &&
               (before[k].Exact != after[k].Exact || before[k].Text != after[k].Text)) {
      record.Changes.push_back({after[k].Element, before[k].Text, after[k].Text});
    }
  }
}

void TJournalRecorder::RawWritten(const TModBusFrame& request, TResult result, int16_t exception) {
  const uint8_t function = request.GetFunction();
  const uint16_t dataLength = request.DataLength();
  if ((function != 5 && function != 6 && function != 15 && function != 16) || dataLength < 4)
    return;
  const uint8_t* data = request.FrameData();
  const int first = data[0] << 8 | data[1];
  const bool single = function == 5 || function == 6;
  const int count = single ? 1 : (data[2] << 8 | data[3]);
  const char* what = function == 5 || function == 15 ? "Катушки " : "Регистры ";
  std::string after;
  for (uint16_t k = single ? 2 : 5; k < dataLength; ++k) {
    char hex[4];
    std::snprintf(hex, sizeof hex, after.empty() ? "%02X" : " %02X", data[k]);
    after += hex;
  }
  TJournalRecord record = NewRecord(request.GetAddress());
  record.Group = "запрос, функция " + std::to_string(function);
  record.Outcome = result == RESULT_OK ? TJournalOutcome::Confirmed : TJournalOutcome::Failed;
  if (result != RESULT_OK) record.Failure = ResultMessage(result);
  if (exception >= 0)
    record.Failure += " (исключение " + std::to_string(exception) + " от прибора)";
  record.Changes.push_back({what + std::to_string(first) + ".." + std::to_string(first + count - 1),
                            JournalNotRead, after});
  Keep(record);
}

std::string TJournalRecorder::LineText() const {
  const std::string rate = std::to_string(bus_.BaudRate()) + " бод";
  if (!bus_.IsNetworkLine()) return bus_.LineName() + ", " + rate;
  const TNetworkMode mode = bus_.Line().Mode;
  std::string text = bus_.LineName() + ", " + NetworkModeCaption(mode);
  if (mode == TNetworkMode::Rfc2217) text += ", " + rate;
  return text;
}

std::string JournalDateTimeText(TDateTime value) {
  if (!HasDateTime(value)) return "";
  const TDateTimeParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second);
  return text;
}

std::string JournalOutcomeText(TJournalOutcome outcome) {
  switch (outcome) {
    case TJournalOutcome::Confirmed:
      return "записано и подтверждено";
    case TJournalOutcome::Failed:
      return "не записано";
    case TJournalOutcome::Partly:
      return "записано частично";
  }
  return "?";
}

std::string JournalErrorText(TJournalError error, const std::string& path,
                             const std::string& detail) {
  std::string why;
  switch (error) {
    case TJournalError::None:
      return "";
    case TJournalError::NoPlace:
      why = "нет папки для журнала";
      break;
    case TJournalError::CannotOpen:
      why = "файл журнала не открывается";
      break;
    case TJournalError::Damaged:
      why = "файл журнала повреждён или не является журналом, он оставлен как есть";
      break;
    case TJournalError::CannotWrite:
      why = "запись в журнал не удалась";
      break;
    case TJournalError::Unavailable:
      return "Журнал записей не ведётся: эта сборка программы его не поддерживает.";
  }
  std::string text = "Журнал записей не ведётся: " + why;
  if (!path.empty()) text += " (" + path + (detail.empty() ? "" : ": " + detail) + ")";
  return text + ".";
}
