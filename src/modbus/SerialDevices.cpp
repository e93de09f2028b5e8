#include "modbus/SerialDevices.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <regex>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/serial.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifndef _WIN32

// The node kinds in the order the list shows them.
const char* const kNodePrefixes[] = {"ttyUSB", "ttyACM", "ttyS"};

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool IsCharacterDevice(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::string ResolvedPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string text = resolved;
  std::free(resolved);
  return text;
}

// The number after a node's prefix, or -1 when the name is not prefix + digits.
long NodeNumber(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
  const std::string digits = name.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  return std::strtol(digits.c_str(), nullptr, 10);
}

// The port type the kernel shows in sysfs; -1 when it shows none.
long SysfsPortType(const std::string& sysClassTty, const std::string& name) {
  std::ifstream in(sysClassTty + "/" + name + "/type");
  long type = -1;
  if (!(in >> type)) return -1;
  return type;
}

// Every ttyS node exists whether or not a port is behind it; the driver tells which are real.
bool IsRealBuiltInPort(const std::string& node, const std::string& name,
                       const std::string& sysClassTty) {
#ifdef __linux__
  const int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    serial_struct serial{};
    const bool real = ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type != PORT_UNKNOWN;
    close(fd);
    return real;
  }
  // A port the user may not open, or one another program holds, is still there to be listed.
  if (errno != EACCES && errno != EPERM && errno != EBUSY) return false;
  return SysfsPortType(sysClassTty, name) > 0;
#else
  (void)name;
  (void)sysClassTty;
  return IsCharacterDevice(node);
#endif
}

std::vector<TSerialDevice> ByIdLinks(const std::string& folder) {
  std::vector<std::string> names = FolderEntries(folder);
  std::sort(names.begin(), names.end());
  std::vector<TSerialDevice> devices;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    if (!IsCharacterDevice(path)) continue;  // a link left behind by an unplugged converter
    devices.push_back({path, ResolvedPath(path), ConverterName(name), true});
  }
  return devices;
}

std::vector<TSerialDevice> Nodes(const TSerialScanRoots& roots) {
  const std::vector<std::string> names = FolderEntries(roots.Dev);
  std::vector<TSerialDevice> devices;
  for (const std::string prefix : kNodePrefixes) {
    std::vector<std::pair<long, std::string>> numbered;
    for (const std::string& name : names) {
      const long number = NodeNumber(name, prefix);
      if (number >= 0) numbered.emplace_back(number, name);
    }
    std::sort(numbered.begin(), numbered.end());
    for (const auto& [number, name] : numbered) {
      const std::string path = roots.Dev + "/" + name;
      if (!IsCharacterDevice(path)) continue;
      if (prefix == std::string("ttyS") && !IsRealBuiltInPort(path, name, roots.SysClassTty))
        continue;
      devices.push_back({path, ResolvedPath(path), "", false});
    }
  }
  return devices;
}

#endif

}  // namespace

std::string ConverterName(const std::string& id) {
  static const std::regex busPrefix("^(usb|pci|platform)-");
  static const std::regex interfaceSuffix("-if[0-9]+(-port[0-9]+)?$");
  std::string name = std::regex_replace(id, busPrefix, "");
  name = std::regex_replace(name, interfaceSuffix, "");
  std::replace(name.begin(), name.end(), '_', ' ');
  return name;
}

std::string StablePath(const std::vector<TSerialDevice>& devices, const TSerialDevice& chosen) {
  if (chosen.ById) return chosen.Path;
  for (const TSerialDevice& device : devices)
    if (device.ById && device.Node == chosen.Node) return device.Path;
  return chosen.Path;
}

#ifndef _WIN32

std::vector<TSerialDevice> ListSerialDevices(const TSerialScanRoots& roots) {
  std::vector<TSerialDevice> devices = ByIdLinks(roots.ById);
  const size_t links = devices.size();
  for (TSerialDevice node : Nodes(roots)) {
    // A node behind a by-id link carries the converter's name too.
    for (size_t i = 0; i < links; ++i)
      if (devices[i].Node == node.Node) node.Name = devices[i].Name;
    devices.push_back(node);
  }
  return devices;
}

std::string DeviceGroup(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return "";
  if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return "";
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(4096);
  while (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
    buffer.resize(buffer.size() * 2);
  return found != nullptr ? found->gr_name : "";
}

#else

// The COM ports the system knows, by the device each name stands for (\Device\Serial0, a USB
// converter's driver device, ...); Path is what CreateFileA opens, COM10 and above included.
std::vector<TSerialDevice> ListSerialDevices(const TSerialScanRoots&) {
  std::vector<TSerialDevice> devices;
  for (int number = 1; number <= 255; ++number) {
    const std::string name = "COM" + std::to_string(number);
    char target[512] = {};
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) continue;
    TSerialDevice device;
    device.Path = "\\\\.\\" + name;
    device.Node = target;
    devices.push_back(device);
  }
  return devices;
}

std::string DeviceGroup(const std::string&) {
  return "";
}

#endif
