// Random and mutated replies through a real terminal: the channel answers every one of them with
// a result code, keeps only replies with a right CRC, and never waits beyond its limits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "modbus/Modbusunit.h"
#include "support/PtyPeer.h"

namespace {

const std::vector<uint8_t> kRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x09, 0x85, 0xCC};

std::vector<uint8_t> ValidReply() {
  std::vector<uint8_t> reply = {0x01, 0x03, 0x12, 'O',  'V',  'T',  'S',  'E',  'R',  'I', 'L',
                                '!',  'N',  0x00, 0x01, 0x02, 0x03, 0x00, 0x20, 0x00, 0x20};
  const uint16_t crc = CalcCRC16(reply.data(), reply.size());
  reply.push_back(static_cast<uint8_t>(crc & 0xFF));
  reply.push_back(static_cast<uint8_t>(crc >> 8));
  return reply;
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937& random) {
  if (bytes.size() < 2) return bytes;  // too short for any mutation below to stay in bounds
  switch (random() % 6) {
    case 0:
      bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
      break;
    case 1:
      bytes.resize(random() % bytes.size());
      break;
    case 2:
      bytes.push_back(static_cast<uint8_t>(random()));
      break;
    case 3:  // an echo
      bytes.insert(bytes.begin(), kRequest.begin(), kRequest.end());
      break;
    case 4:
      bytes[1] |= 0x80;
      break;
    default:
      std::swap(bytes[bytes.size() - 1], bytes[bytes.size() - 2]);
      break;
  }
  return bytes;
}

class RandomReplies : public ::testing::Test {
 protected:
  std::mutex mutex_;
  std::vector<uint8_t> lastReply_;
};

TEST_F(RandomReplies, GiveResultCodesOnly) {
  std::mt19937 random(20261209);
  PtyResponder peer(kRequest.size(), [&](const std::vector<uint8_t>&) {
    std::vector<uint8_t> reply;
    if (random() % 4 == 0) {
      reply.resize(random() % 300);
      for (auto& b : reply) b = static_cast<uint8_t>(random());
    } else {
      reply = ValidReply();
      for (unsigned n = random() % 3; n > 0; --n) reply = Mutate(reply, random);
    }
    std::lock_guard lock(mutex_);
    lastReply_ = reply;
    return reply;
  });
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), peer.Path());
  ASSERT_TRUE(bus.OpenPort());
  bus.SetWaitTime(100);

  int accepted = 0;
  for (int round = 0; round < 2000; ++round) {
    TModBusFrame& request = bus.RequestFrame();
    request.SetAddress(1);
    request.SetFunction(3);
    request.SetDataLength(4);
    std::memcpy(request.FrameData(), kRequest.data() + 2, 4);

    const auto started = std::chrono::steady_clock::now();
    const TResult result = bus.Transaction();
    ASSERT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << round;
    ASSERT_NE(result, RESULT_PORT_NOT_OPEN);
    ASSERT_NE(result, RESULT_WRITE_FAILED);
    ASSERT_NE(result, RESULT_ABORTED);
    ASSERT_NE(result, RESULT_UNKNOWN);

    std::vector<uint8_t> sent;
    {
      std::lock_guard lock(mutex_);
      sent = lastReply_;
    }
    const TModBusFrame& reply = bus.ReplyFrame();
    const bool exception = result != RESULT_OK && result != RESULT_TIMEOUT &&
                           result != RESULT_CRC && result != RESULT_LENGTH;
    if (result == RESULT_OK || exception) {
      ++accepted;
      // What was kept is what came, without an echo and without the CRC, and its CRC was right.
      ASSERT_GE(sent.size(), reply.Length + 2u) << round;
      const uint8_t* tail = sent.data() + sent.size() - reply.Length - 2;
      ASSERT_EQ(std::memcmp(tail, reply.FrameBytes(), reply.Length), 0) << round;
      const uint16_t crc = CalcCRC16(reply.FrameBytes(), reply.Length);
      ASSERT_EQ(tail[reply.Length], crc & 0xFF) << round;
      ASSERT_EQ(tail[reply.Length + 1], crc >> 8) << round;
      if (exception) {
        ASSERT_TRUE(reply.Function & 0x80) << round;
      }
    }
    if (sent.empty()) {
      ASSERT_EQ(result, RESULT_TIMEOUT) << round;
    }
  }
  EXPECT_GT(accepted, 100) << "the mutations should leave a good share of valid replies";
}

}  // namespace
