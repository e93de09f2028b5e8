// The POSIX backend: the line settings it builds and what a terminal reports back once applied.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "modbus/Modbusunit.h"
#include "modbus/SerialPosix.h"
#include "support/PtyPeer.h"

namespace {

TEST(PosixLine, SettingsAreEightBitsEvenParityTwoStopBitsNoFlowControl) {
  const TPosixLineConfig config =
      BuildPosixLineConfig(TLineSettings{}, CRTSCTS | HUPCL | PARODD | CS7);
  EXPECT_EQ(config.cflag & CSIZE, static_cast<uint32_t>(CS8));
  EXPECT_TRUE(config.cflag & PARENB);
  EXPECT_FALSE(config.cflag & PARODD) << "even parity";
  EXPECT_TRUE(config.cflag & CSTOPB);
  EXPECT_FALSE(config.cflag & CRTSCTS);
  EXPECT_FALSE(config.cflag & HUPCL);
  EXPECT_TRUE(config.cflag & CREAD);
  EXPECT_TRUE(config.cflag & CLOCAL);
  EXPECT_TRUE(config.iflag & INPCK);
  EXPECT_FALSE(config.iflag & (IXON | IXOFF | ICRNL | ISTRIP));
  EXPECT_EQ(config.lflag, 0u);
  EXPECT_EQ(config.oflag, 0u);
  EXPECT_EQ(config.ospeed, 9600u);
}

// A terminal keeps the rate and the stop bits it is given, the odd rates included; a pty's driver
// forces 8 bits without parity, so parity is checked in the settings above, not read back here.
TEST(PosixLine, EveryTableRateReachesTheTerminal) {
  int master = -1, slave = -1;
  std::string path;
  ASSERT_TRUE(OpenRawPty(master, slave, path));
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), path);
  ASSERT_TRUE(bus.OpenPort());
  for (uint8_t i = 0; i < BaudRateCount; ++i) {
    bus.SetBaudIndex(i);
    TPosixLineConfig applied;
    ASSERT_TRUE(ReadPosixLineConfig(slave, applied));
    EXPECT_EQ(applied.ospeed, BaudRates[i]);
    EXPECT_EQ(applied.ispeed, BaudRates[i]);
    EXPECT_TRUE(applied.cflag & CSTOPB) << BaudRates[i];
  }
  bus.ClosePort();
  close(master);
  close(slave);
}

TEST(PosixLine, RefusesWhatIsNoTerminal) {
  const std::string file = testing::TempDir() + "k7104-not-a-port";
  const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), file);
  EXPECT_FALSE(bus.OpenPort());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::NotSerial);
  unlink(file.c_str());
}

// A port that will not open says why: missing, held by another program (result 8), or not the
// user's to open. Root opens every device, so the last is checked by its error number.
TEST(PosixLine, OpenFailureSaysWhy) {
  TModBus missing;
  missing.SetPortDevice(missing.PortIndex(), "/dev/k7104-no-such-port");
  EXPECT_FALSE(missing.OpenPort());
  EXPECT_EQ(missing.OpenFailure(), TOpenFailure::NoDevice);
  EXPECT_EQ(missing.OpenFailureResult(), RESULT_PORT_NOT_OPEN);

  int master = -1, slave = -1;
  std::string path;
  ASSERT_TRUE(OpenRawPty(master, slave, path));
  TModBus holder, second;
  holder.SetPortDevice(holder.PortIndex(), path);
  second.SetPortDevice(second.PortIndex(), path);
  ASSERT_TRUE(holder.OpenPort());
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.OpenFailure(), TOpenFailure::InUse);
  EXPECT_EQ(second.OpenFailureResult(), RESULT_PORT_BUSY);
  holder.ClosePort();
  EXPECT_TRUE(second.OpenPort());
  EXPECT_EQ(second.OpenFailure(), TOpenFailure::None);
  second.ClosePort();
  close(master);
  close(slave);

  EXPECT_EQ(OpenFailureOf(EACCES), TOpenFailure::NoPermission);
  EXPECT_EQ(OpenFailureOf(EBUSY), TOpenFailure::InUse);
  EXPECT_EQ(OpenFailureOf(ENOENT), TOpenFailure::NoDevice);
}

}  // namespace
