// What the register map and the job engine make of replies that came but do not say what was
// asked: the address probe counts every answer, and a job that failed on an exception reply says
// which exception the instrument sent.
#include <gtest/gtest.h>

#include "instrument/JobMessages.h"
#include "support/MipLineFixture.h"

using k7104sim::Fault;
using k7104sim::FaultKind;

namespace {

class ReplyTrustTest : public MipLineFixture {};

TEST_F(ReplyTrustTest, AddressChangeRefusesAnAddressThatAnswersAtAll) {
  Add(1);
  Add(5);
  Connect();
  mip_->Bus.SetWaitTime(200);
  mip_->InterfaceAddress = 5;
  const Fault answers[] = {{FaultKind::Exception, 0},     {FaultKind::Exception, 8},
                           {FaultKind::Exception, 11},    {FaultKind::Exception, 200},
                           {FaultKind::OtherFunction, 4}, {FaultKind::ShortByOneRegister}};
  for (Fault fault : answers) {
    fault.address = 5;
    fault.times = 1;
    line_->AddFault(fault);
    EXPECT_EQ(Run(OpChangeAddress), RESULT_ADDRESS_IN_USE) << static_cast<int>(fault.kind);
    EXPECT_EQ(Sent().size(), 1u) << "the address was written";
  }
  EXPECT_EQ(line_->Find(1)->Address(), 1);
}

TEST_F(ReplyTrustTest, AddressChangeGoesOnAfterSilenceOrABrokenReply) {
  Add(1);
  Add(5);
  Connect();
  mip_->Bus.SetWaitTime(200);
  mip_->InterfaceAddress = 6;
  EXPECT_EQ(Run(OpChangeAddress), RESULT_OK);
  EXPECT_EQ(Sent().size(), 2u);
  // Both would be at 6 now, as when the probe's reply was lost: the probe cannot tell.
  line_->AddFault({.kind = FaultKind::BadCrc, .address = 6, .times = 1});
  mip_->Address = 5;
  EXPECT_EQ(Run(OpChangeAddress), RESULT_OK);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(ReplyTrustTest, JobThatFailedOnAnExceptionNamesIt) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::Exception, .arg = 0, .firstRegister = 128, .times = 1});
  EXPECT_EQ(RunJob(2), RESULT_UNKNOWN);
  EXPECT_EQ(mip_->JobException, 0);
  EXPECT_EQ(FailureSentence(mip_->JobResult, mip_->CurrentOp, mip_->JobException),
            "Неизвестная ошибка!!! При чтении типы датчиков!!! (исключение 0 от прибора)");

  line_->AddFault({.kind = FaultKind::Exception, .arg = 9, .firstRegister = 128, .times = 1});
  EXPECT_EQ(RunJob(130), RESULT_TIMEOUT);
  EXPECT_EQ(FailureSentence(mip_->JobResult, mip_->CurrentOp, mip_->JobException),
            "Вышло время ожидания!!! При записи типы датчиков!!! (исключение 9 от прибора)");

  mip_->Bus.SetWaitTime(200);
  line_->AddFault({.kind = FaultKind::NoReply, .firstRegister = 128, .times = 1});
  EXPECT_EQ(RunJob(2), RESULT_TIMEOUT);
  EXPECT_EQ(mip_->JobException, -1);
  EXPECT_EQ(FailureSentence(mip_->JobResult, mip_->CurrentOp, mip_->JobException),
            "Вышло время ожидания!!! При чтении типы датчиков!!!");
}

TEST_F(ReplyTrustTest, WriteWhoseReplyDoesNotEchoTheRequestFails) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::ShortByOneRegister, .function = 16, .times = 1});
  EXPECT_EQ(Run(130), RESULT_LENGTH);
  line_->AddFault({.kind = FaultKind::WriteEcho, .arg = 1, .times = 1});
  EXPECT_EQ(Run(131), RESULT_LENGTH);
  line_->AddFault({.kind = FaultKind::OtherFunction, .arg = 3, .times = 1});
  EXPECT_EQ(Run(OpWriteClock), RESULT_LENGTH);
  EXPECT_EQ(Run(130), RESULT_OK);
}

TEST(OpenFailureText, SaysWhatTheUserCanDo) {
  EXPECT_EQ(OpenFailureText(TOpenFailure::NoDevice, "/dev/ttyS1", 0),
            "Порт /dev/ttyS1 не существует.");
  EXPECT_EQ(OpenFailureText(TOpenFailure::NoPermission, "/dev/ttyS1", 0),
            "Нет доступа к порту /dev/ttyS1: пользователь должен входить в группу dialout.");
  EXPECT_EQ(OpenFailureText(TOpenFailure::InUse, "/dev/ttyS1", 0),
            "Порт занят!!! /dev/ttyS1 открыт другой программой.");
}

}  // namespace
