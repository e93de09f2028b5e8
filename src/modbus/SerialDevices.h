// The serial devices present on this machine, as the user knows them: converters by their stable
// /dev/serial/by-id names, USB and ACM nodes, and the built-in ports that really exist. Standard
// C++ and POSIX; the window's port list and `k7104-cli ports` both show this list.
#pragma once

#include <string>
#include <vector>

struct TSerialDevice {
  std::string Path;   // what to open: a by-id link or a device node
  std::string Node;   // the device node behind Path (Path itself for a node)
  std::string Name;   // the converter's name from its id; empty for a node without one
  bool ById = false;  // Path is a /dev/serial/by-id link, which survives a replug
};

// Where the scan looks; tests point these at a folder of their own.
struct TSerialScanRoots {
  std::string ById = "/dev/serial/by-id";
  std::string Dev = "/dev";
  std::string SysClassTty = "/sys/class/tty";  // port types, for ports the user may not open
};

// The by-id links first (by name), then the ttyUSB, ttyACM and ttyS nodes in number order. A
// ttyS node is listed only when the driver knows a real port behind it.
std::vector<TSerialDevice> ListSerialDevices(const TSerialScanRoots& roots = {});

// What to bind when the user picks one of the devices: the by-id link that leads to the same node
// when there is one, since a replug keeps it while the node's number may change.
std::string StablePath(const std::vector<TSerialDevice>& devices, const TSerialDevice& chosen);

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI".
std::string ConverterName(const std::string& id);

// The group that owns the device and may read and write it (usually "dialout"); empty when the
// device is missing or its group has no access.
std::string DeviceGroup(const std::string& path);
