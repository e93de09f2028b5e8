// A simulated instrument line on a real pseudo-terminal and a TMIP connected to it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "instrument/Mipunit.h"
#include "sim/Simulator.h"
#include "support/HexCodec.h"
#include "support/JobRecorder.h"

using Frame = std::vector<uint8_t>;

class MipLineFixture : public ::testing::Test {
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
