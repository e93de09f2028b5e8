// What the register map and the job engine make of replies that came but do not say what was
// asked: the address probe counts every answer, and a job that failed on an exception reply says
// which exception the instrument sent.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "instrument/JobMessages.h"
#include "support/MipLineFixture.h"
#include "support/PtyPeer.h"

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
  EXPECT_EQ(OpenFailureText(TOpenFailure::NoPermission, "/nonexistent/ttyS1", EACCES),
            "Нет доступа к порту /nonexistent/ttyS1: пользователь должен входить в группу "
            "dialout. Добавьте его командой «sudo usermod -aG dialout $USER» и войдите в систему "
            "заново.");
  EXPECT_EQ(OpenFailureText(TOpenFailure::InUse, "/dev/ttyS1", 0),
            "Порт занят!!! /dev/ttyS1 открыт другой программой.");
}

// The group named is the one that owns the device and may use it; a device whose group may not
// use it gets the usual dialout.
TEST(OpenFailureText, NoPermissionNamesTheDevicesOwnGroup) {
  namespace fs = std::filesystem;
  const fs::path device = fs::temp_directory_path() / ("k7104-port-" + std::to_string(getpid()));
  std::ofstream(device).put('\0');
  fs::permissions(device, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write);
  struct stat info {};
  ASSERT_EQ(stat(device.c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string name = owner->gr_name;
  const std::string text = OpenFailureText(TOpenFailure::NoPermission, device.string(), EACCES);
  EXPECT_NE(text.find(device.string() + ": пользователь должен входить в группу " + name + "."),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("«sudo usermod -aG " + name + " $USER»"), std::string::npos) << text;

  fs::permissions(device, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(OpenFailureText(TOpenFailure::NoPermission, device.string(), EACCES)
                .find("«sudo usermod -aG dialout $USER»"),
            std::string::npos);
  fs::remove(device);
}

// A terminal the user may not open: the channel says so, and the text names the device.
TEST(OpenFailureText, ATerminalWithoutPermissionGetsThePermissionText) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens every device; run as a user to see this";
  int master = -1, slave = -1;
  std::string path;
  ASSERT_TRUE(OpenRawPty(master, slave, path));
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), path);
  EXPECT_FALSE(bus.OpenPort());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::NoPermission);
  const std::string text = OpenFailureText(bus.OpenFailure(), path, bus.OpenSystemError());
  EXPECT_EQ(text.rfind("Нет доступа к порту " + path + ":", 0), 0u) << text;
  EXPECT_NE(text.find("sudo usermod -aG"), std::string::npos) << text;
  close(slave);
  close(master);
}

}  // namespace
