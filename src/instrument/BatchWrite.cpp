#include "instrument/BatchWrite.h"

#include <algorithm>
#include <cstddef>

#include "instrument/Groups.h"
#include "instrument/JobEngine.h"
#include "instrument/JobMessages.h"
#include "instrument/Mipunit.h"

namespace {

uint16_t Highest(uint16_t so_far, unsigned number) {
  return static_cast<uint16_t>(std::max<unsigned>(so_far, number));
}

// The bytes of a field that a transfer over so many channels and relays carries.
size_t TransferredBytes(const TGroup& group, const TConfigField& field, uint16_t channels,
                        uint16_t relays) {
  switch (group.Count) {
    case TCountRule::Channels:
      return field.Size / MaxChannels * std::min<uint16_t>(channels, MaxChannels);
    case TCountRule::Relays:
      return field.Size / MaxRelays * std::min<uint16_t>(relays, MaxRelays);
    case TCountRule::Fixed:
      break;
  }
  return field.Size;
}

bool ModelAllowed(const TBatchPlan& plan, uint16_t model) {
  return plan.AnyModel ||
         std::find(plan.Models.begin(), plan.Models.end(), model) != plan.Models.end();
}

TBatchSkip SkipReason(const TBatchPlan& plan, const TBatchOutcome& outcome) {
  if (plan.AnyModel) return TBatchSkip::None;
  if (!ModelAllowed(plan, outcome.ModelCode)) return TBatchSkip::OtherModel;
  const TConfigNeeds needs = NeedsOf(plan.Block);
  if (std::min<uint16_t>(outcome.Channels, MaxChannels) < needs.Channels)
    return TBatchSkip::FewerChannels;
  if (std::min<uint16_t>(outcome.Relays, MaxRelays) < needs.Relays) return TBatchSkip::FewerRelays;
  return TBatchSkip::None;
}

std::string JoinedGroupNames(const std::vector<uint8_t>& groups) {
  std::string names;
  for (uint8_t group : groups) names += (names.empty() ? "" : ", ") + GroupName(group);
  return names;
}

// The failure sentence of a write all that stopped: a failure of the identity check names no
// group, so it says that the instrument was being checked.
std::string WriteFailureSentence(const TBatchOutcome& outcome) {
  if (GroupByCode(outcome.Operation) == nullptr)
    return std::string(ResultMessage(outcome.Result)) + " При проверке прибора!!!";
  return FailureSentence(outcome.Result, outcome.Operation, outcome.Exception);
}

// The group the write stopped at: the first one the instrument did not take. Write all goes in
// the order of the codes, and a cancelled write stops after a group it completed.
uint8_t StoppedAt(const std::vector<uint8_t>& written) {
  for (int code = FirstGroup; code <= LastGroup; ++code)
    if (std::find(written.begin(), written.end(), code) == written.end())
      return static_cast<uint8_t>(code + WriteCodeBit);
  return OpWriteSettings;
}

std::string FailureText(const TBatchOutcome& outcome) {
  if (outcome.MismatchGroup != 0)
    return "Записано, проверка не удалась: Прибор вернул не то, что записано!!! При проверке " +
           GroupName(outcome.MismatchGroup) + "!!!";
  if (outcome.Checking) return "Записано, проверка не удалась: " + WriteFailureSentence(outcome);
  if (outcome.Written.empty()) return "Не записано: " + WriteFailureSentence(outcome);
  TBatchOutcome stopped = outcome;
  stopped.Operation = StoppedAt(outcome.Written);
  return "Записано частично: " + JoinedGroupNames(outcome.Written) + "; " +
         WriteFailureSentence(stopped);
}

}  // namespace

std::vector<uint8_t> GroupsWritten(const TDataImage& image) {
  std::vector<uint8_t> written;
  for (int code = FirstGroup; code <= LastGroup; ++code)
    if (image.GroupSource[code] == TGroupSource::Read)
      written.push_back(static_cast<uint8_t>(code));
  return written;
}

std::string WrittenSoFarText(const std::vector<uint8_t>& written) {
  if (written.empty()) return "Не записано.";
  return "Записано частично: " + JoinedGroupNames(written) + ".";
}

TConfigNeeds NeedsOf(const TConfigBlock& block) {
  TConfigNeeds needs;
  for (int i = 0; i < MaxChannels; ++i) {
    if (block.TypeSensor[i] != 0) needs.Channels = Highest(needs.Channels, i + 1);
    if (block.KXC[i] <= MaxChannels) needs.Channels = Highest(needs.Channels, block.KXC[i]);
    for (int k = 0; k < SetpointCount; ++k)
      if (block.SetpointRelay[k][i] <= MaxRelays)
        needs.Relays = Highest(needs.Relays, block.SetpointRelay[k][i]);
  }
  for (uint8_t relay : {block.DeviceFaultRelay, block.SensorFaultRelay})
    if (relay <= MaxRelays) needs.Relays = Highest(needs.Relays, relay);
  return needs;
}

std::string BatchStateName(TBatchState state) {
  switch (state) {
    case TBatchState::Waiting:
      return "ожидание";
    case TBatchState::Writing:
      return "запись";
    case TBatchState::Verifying:
      return "проверка";
    case TBatchState::Done:
      return "готово";
    case TBatchState::Failed:
      return "ошибка";
    case TBatchState::Skipped:
      return "пропущен";
  }
  return "";
}

std::string BatchOutcomeText(const TBatchOutcome& outcome, const TConfigNeeds& needs) {
  switch (outcome.State) {
    case TBatchState::Done:
      return "Записано и проверено.";
    case TBatchState::Failed:
      return FailureText(outcome);
    case TBatchState::Skipped:
      switch (outcome.Skip) {
        case TBatchSkip::OtherModel:
          return "Не записано: прибор другой модели (" + ModelTitle(outcome.ModelCode) + ").";
        case TBatchSkip::FewerChannels:
          return "Не записано: у прибора " + std::to_string(outcome.Channels) +
                 " каналов, а настройка задаёт " + std::to_string(needs.Channels) + ".";
        case TBatchSkip::FewerRelays:
          return "Не записано: у прибора " + std::to_string(outcome.Relays) +
                 " реле, а настройка задаёт " + std::to_string(needs.Relays) + ".";
        case TBatchSkip::None:
          break;
      }
      break;
    case TBatchState::Waiting:
    case TBatchState::Writing:
    case TBatchState::Verifying:
      break;
  }
  return "";
}

uint8_t FirstDifferingGroup(const TConfigBlock& written, const TConfigBlock& read,
                            uint16_t channels, uint16_t relays) {
  const auto* a = reinterpret_cast<const uint8_t*>(&written);
  const auto* b = reinterpret_cast<const uint8_t*>(&read);
  constexpr size_t padding = offsetof(TConfigBlock, Padding);  // never transferred
  for (const TGroup& group : Groups) {
    if (!IsParameterGroup(group.Code) || group.PollsLive) continue;
    for (const TConfigField& field : group.Fields) {
      const size_t end = field.Offset + TransferredBytes(group, field, channels, relays);
      for (size_t i = field.Offset; i < end; ++i)
        if (i != padding && a[i] != b[i]) return group.Code;
    }
  }
  return 0;
}

TBatchOutcome WriteAndVerify(TMIP& mip, const TRunJob& run, TBatchPlan& plan, uint8_t address,
                             const TBatchStep& step) {
  TBatchOutcome outcome;
  outcome.Address = address;
  const auto enter = [&](TBatchState state) {
    outcome.State = state;
    if (step) step(outcome);
    return outcome;
  };
  const auto failed = [&](TResult result) {
    outcome.Result = result;
    outcome.Operation = mip.CurrentOp;
    outcome.Exception = mip.JobException;
    return enter(TBatchState::Failed);
  };
  enter(TBatchState::Writing);
  mip.Address = address;
  TResult result = run(OpReadSettings);
  if (result != RESULT_OK) return failed(result);
  outcome.ModelCode = mip.ModelCode;
  outcome.Channels = mip.DeviceChannels;
  outcome.Relays = mip.DeviceRelays;
  if (plan.Models.empty()) plan.Models.push_back(mip.ModelCode);
  outcome.Skip = SkipReason(plan, outcome);
  if (outcome.Skip != TBatchSkip::None) return enter(TBatchState::Skipped);

  mip.Config = plan.Block;
  mip.SetGroupSources(TGroupSource::Loaded);
  result = run(JobWriteAll);
  outcome.Written = GroupsWritten(mip);
  if (result != RESULT_OK) return failed(result);

  outcome.Checking = true;
  enter(TBatchState::Verifying);
  // Whatever the read leaves out stays unlike what was written.
  const auto* written = reinterpret_cast<const uint8_t*>(&plan.Block);
  uint8_t* image = mip.ConfigBlockBytes();
  for (size_t i = 0; i < ConfigBlockSize; ++i) image[i] = static_cast<uint8_t>(~written[i]);
  result = run(JobReadAll);
  if (result != RESULT_OK) return failed(result);
  outcome.MismatchGroup =
      FirstDifferingGroup(plan.Block, mip.Config, mip.ChannelCount, mip.RelayCount);
  return enter(outcome.MismatchGroup != 0 ? TBatchState::Failed : TBatchState::Done);
}
