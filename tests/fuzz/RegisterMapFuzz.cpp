// Replies of any shape to every read and write operation of the register map, as the job thread
// runs them: each operation must end with a result code, write only inside the data image and
// leave the instrument's counts as they were.
#include <cstdlib>

#include "PortFactory.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMIP& mip = Instrument();
  TFuzzInput input(data, size);
  const uint8_t selector = input.Byte();
  const uint8_t op = static_cast<uint8_t>((selector & 0x80) | (selector & 0x1F));
  mip.Reset();
  mip.ChannelCount = input.Byte() % (MaxChannels + 1);
  mip.RelayCount = input.Byte() % (MaxRelays + 1);
  mip.RecordIndex = input.Byte();
  const uint16_t channels = mip.ChannelCount, relays = mip.RelayCount;
  LastMemoryPort->Script(ScriptedReplies(input));
  mip.Bus.RequestFrame().SetAddress(1);
  (void)mip.Execute(op);
  if (mip.ChannelCount != channels || mip.RelayCount != relays) std::abort();
  return 0;
}
