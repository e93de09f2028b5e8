// Archive records of any content, each in a reply of the right frame, through operation 31 into
// the archive list, sorted newest first and written out as archive text and CSV: no content may
// crash the decoding, the sort or the text forms, and every record gets its line.
#include <algorithm>
#include <cstdlib>

#include "PortFactory.h"
#include "files/ArchiveText.h"
#include "instrument/Mipunit.h"

namespace {

TMIP& Instrument() {
  static TMIP* mip = [] {
    auto* made = new TMIP;
    made->Bus.SetBaudIndex(14);
    made->Bus.SetWaitTime(10);
    if (!made->Bus.OpenPort()) std::abort();
    return made;
  }();
  return *mip;
}

std::string DateTimeForm(TDateTime value) {
  return DateTimeText(value, "%d.%m.%Y", "%H:%M:%S");
}

// Newest first; records without a time after all others, the higher number first.
bool InOrder(const MeasurementRecord& before, const MeasurementRecord& after) {
  if (!HasDateTime(before.Time)) return !HasDateTime(after.Time) && before.Number >= after.Number;
  return !HasDateTime(after.Time) || before.Time >= after.Time;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMIP& mip = Instrument();
  TFuzzInput input(data, size);
  mip.Reset();
  mip.ChannelCount = input.Byte() % (MaxChannels + 1);
  const size_t recordBytes = 8u + 4u * mip.ChannelCount;
  std::deque<TScriptedReply> replies;
  std::vector<uint16_t> numbers;
  while (!input.AtEnd() && replies.size() < 64) {
    std::vector<uint8_t> record = input.Bytes(recordBytes);
    record.resize(recordBytes);
    numbers.push_back(static_cast<uint16_t>(record[0] << 8 | record[1]));
    record.insert(record.begin(), {1, 4, static_cast<uint8_t>(recordBytes)});
    replies.push_back({WithCrc(std::move(record)), false, 0});
  }
  LastMemoryPort->Script(replies);
  mip.Bus.RequestFrame().SetAddress(1);
  mip.ClearArchive();
  for (uint16_t number : numbers) {
    mip.RecordIndex = number;
    if (mip.Execute(OpReadRecord) != RESULT_OK || mip.MeasRecord.Number != number) std::abort();
    mip.AppendRecord();
  }
  mip.SortArchive();
  for (size_t i = 1; i < mip.ArchiveCount(); ++i)
    if (!InOrder(mip.ArchiveRecord(i - 1), mip.ArchiveRecord(i))) std::abort();

  TTextForm form;
  form.DecimalSeparator = ",";
  form.DateTimeText = DateTimeForm;
  const std::vector<std::string> lines = ArchiveTextLines(mip.MeasArchive, mip.ChannelCount, form);
  if (lines.size() != mip.ArchiveCount() + 1) std::abort();
  for (const std::string& line : lines)
    if (static_cast<size_t>(std::count(line.begin(), line.end(), '\t')) != 1u + mip.ChannelCount)
      std::abort();
  if (ArchiveCsvLines(mip.MeasArchive, mip.ChannelCount).size() != mip.ArchiveCount() + 1)
    std::abort();
  return 0;
}
