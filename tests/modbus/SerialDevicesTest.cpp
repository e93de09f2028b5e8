// The list of serial devices, scanned in a folder of the test's own that stands in for /dev and
// /dev/serial/by-id: converters are pseudo-terminals linked under the names the system gives them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modbus/SerialDevices.h"
#include "support/PtyPeer.h"

namespace fs = std::filesystem;

namespace {

class SerialDevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("k7104-serial-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "by-id");
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sys");
    roots_ = {(root_ / "by-id").string(), (root_ / "dev").string(), (root_ / "sys").string()};
  }
  void TearDown() override {
    for (int fd : fds_) ::close(fd);
    fs::remove_all(root_);
  }

  // A new pseudo-terminal standing in for a device node; its path.
  std::string Terminal() {
    int master = -1, slave = -1;
    std::string path;
    EXPECT_TRUE(OpenRawPty(master, slave, path));
    fds_.push_back(master);
    fds_.push_back(slave);
    return path;
  }

  std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }
  std::string ById(const std::string& id) const { return (root_ / "by-id" / id).string(); }

  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const TSerialDevice& device : ListSerialDevices(roots_)) paths.push_back(device.Path);
    return paths;
  }

  fs::path root_;
  TSerialScanRoots roots_;
  std::vector<int> fds_;
};

TEST_F(SerialDevicesTest, ListsConvertersByIdThenNodesInNumberOrder) {
  const std::string ftdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  fs::create_symlink(Terminal(), Dev("ttyUSB0"));
  fs::create_symlink(Dev("ttyUSB0"), ById(ftdi));
  fs::create_symlink(Terminal(), Dev("ttyUSB10"));
  fs::create_symlink(Terminal(), Dev("ttyUSB2"));
  fs::create_symlink(Terminal(), Dev("ttyACM0"));
  fs::create_symlink(Dev("ttyUSB7"), ById("usb-Unplugged_Converter-if00-port0"));  // dangling
  std::ofstream(Dev("ttyUSB3")) << "a file, no device";
  fs::create_symlink(Terminal(), Dev("ttyUSBx"));
  fs::create_symlink(Terminal(), Dev("tty5"));

  EXPECT_EQ(Paths(), (std::vector<std::string>{ById(ftdi), Dev("ttyUSB0"), Dev("ttyUSB2"),
                                               Dev("ttyUSB10"), Dev("ttyACM0")}));
  const std::vector<TSerialDevice> devices = ListSerialDevices(roots_);
  ASSERT_EQ(devices.size(), 5u);
  EXPECT_TRUE(devices[0].ById);
  EXPECT_EQ(devices[0].Name, "FTDI FT232R USB UART A50285BI");
  EXPECT_EQ(devices[0].Node, fs::canonical(Dev("ttyUSB0")).string());
  EXPECT_FALSE(devices[1].ById);
  EXPECT_EQ(devices[1].Name, devices[0].Name) << "the node behind the link carries its name";
  EXPECT_EQ(devices[2].Name, "");
}

// Every ttyS node exists, with or without a port behind it; a terminal that is no serial port
// (here a pseudo-terminal) is left out, and so is anything that is no device at all.
TEST_F(SerialDevicesTest, BuiltInPortsOnlyWhenTheDriverHasAPort) {
  fs::create_symlink(Terminal(), Dev("ttyS0"));
  std::ofstream(Dev("ttyS1")) << "a file, no device";
  EXPECT_EQ(Paths(), std::vector<std::string>{});
}

// A port the user may not open is listed when the kernel shows a real port type for it.
TEST_F(SerialDevicesTest, BuiltInPortsTheUserMayNotOpenComeFromTheKernelsPortType) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens every device; run as a user to see this";
  for (const char* name : {"ttyS2", "ttyS3"}) {
    const std::string terminal = Terminal();
    ASSERT_EQ(::chmod(terminal.c_str(), 0), 0);
    fs::create_symlink(terminal, Dev(name));
    fs::create_directories(root_ / "sys" / name);
  }
  std::ofstream(root_ / "sys" / "ttyS2" / "type") << "4\n";  // a 16550A
  std::ofstream(root_ / "sys" / "ttyS3" / "type") << "0\n";  // nothing behind the node
  EXPECT_EQ(Paths(), std::vector<std::string>{Dev("ttyS2")});
}

TEST_F(SerialDevicesTest, NoFoldersNoDevices) {
  roots_ = {(root_ / "none").string(), (root_ / "none").string(), (root_ / "none").string()};
  EXPECT_TRUE(ListSerialDevices(roots_).empty());
}

TEST(ConverterName, FromTheIdsTheSystemGives) {
  EXPECT_EQ(ConverterName("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
            "FTDI FT232R USB UART A50285BI");
  EXPECT_EQ(ConverterName("usb-1a86_USB2.0-Serial-if00-port0"), "1a86 USB2.0-Serial");
  EXPECT_EQ(ConverterName("usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"),
            "Silicon Labs CP2102 USB to UART Bridge Controller 0001");
  EXPECT_EQ(ConverterName("usb-Arduino__www.arduino.cc__0043_7563-if00"),
            "Arduino  www.arduino.cc  0043 7563");
}

}  // namespace
