// A simulated instrument line on a real pseudo-terminal and a TMIP connected to it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/Mipunit.h"
#include "sim/Simulator.h"

using Frame = std::vector<uint8_t>;

// "01 03 00 00" -> bytes.
inline Frame Hex(const std::string& text) {
  std::istringstream in(text);
  Frame bytes;
  std::string byte;
  while (in >> byte) bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return bytes;
}

inline std::string HexText(const Frame& bytes) {
  std::string text;
  char buffer[4];
  for (uint8_t b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", b);
    text += buffer;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

inline std::vector<std::string> HexFrames(const std::vector<Frame>& frames) {
  std::vector<std::string> texts;
  for (const Frame& f : frames) texts.push_back(HexText(f));
  return texts;
}

// Collects what the job engine reports; the waits give the test thread a happens-before edge
// with everything the job thread did before OnJobDone.
class JobRecorder {
 public:
  void Attach(TMIP& mip) {
    mip.OnJobStart = [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++starts_;
    };
    mip.OnProgress = [this](uint8_t p) {
      std::lock_guard<std::mutex> lock(mutex_);
      progress_.push_back(p);
    };
    mip.OnJobDone = [this](TResult r) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.push_back(r);
      }
      changed_.notify_all();
    };
  }

  // Waits until `count` jobs have ended in all; false when that takes longer than the limit.
  bool WaitDone(size_t count = 1, std::chrono::seconds limit = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return results_.size() >= count; });
  }

  std::vector<uint8_t> Progress() {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
  }
  std::vector<TResult> Results() {
    std::lock_guard<std::mutex> lock(mutex_);
    return results_;
  }
  int Starts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.clear();
    results_.clear();
    starts_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t> progress_;
  std::vector<TResult> results_;
  int starts_ = 0;
};

class SimFixture : public ::testing::Test {
 protected:
  // One instrument at address 1 unless a test adds its own before Connect().
  void SetUp() override { line_ = std::make_unique<k7104sim::Line>(); }

  void TearDown() override {
    mip_.reset();
    line_.reset();
  }

  k7104sim::Instrument& Add(uint8_t address = 1, uint16_t model = 1, uint16_t channels = 32,
                            uint16_t relays = 32) {
    return line_->AddInstrument({address, model, channels, relays});
  }

  // Starts the line and opens the port of a fresh TMIP on it, requests going to address 1.
  void Connect() {
    ASSERT_TRUE(line_->Start());
    mip_ = std::make_unique<TMIP>();
    recorder_.Attach(*mip_);
    mip_->Bus.SetPortDevice(mip_->Bus.PortIndex(), line_->SlavePath());
    ASSERT_TRUE(mip_->Bus.OpenPort());
    mip_->Bus.RequestFrame().SetAddress(1);
    line_->ClearReceived();
  }

  // One register map operation from the test thread while no job runs.
  TResult Run(uint8_t op) {
    line_->ClearReceived();
    return mip_->Execute(op);
  }

  // Starts a job and waits for its end; the job's result.
  TResult RunJob(uint8_t code) {
    recorder_.Clear();
    line_->ClearReceived();
    EXPECT_TRUE(mip_->StartJob(code));
    EXPECT_TRUE(recorder_.WaitDone());
    const auto results = recorder_.Results();
    return results.empty() ? TResult{255} : results.back();
  }

  std::vector<std::string> Sent() const { return HexFrames(line_->ReceivedFrames()); }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TMIP> mip_;
  JobRecorder recorder_;
};
