// The ports command: the serial devices present, so the user knows what to give --port.
#include <cstdio>

#include "cli/CliOptions.h"
#include "modbus/SerialDevices.h"

namespace cli {

namespace {

// Reads "--by-id DIR", "--dev DIR" and "--sys DIR": other folders to scan, for tests and chroots.
bool ParseRoots(const std::vector<std::string>& args, TSerialScanRoots& roots) {
  for (size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size() || args[i + 1].empty()) return false;
    if (args[i] == "--by-id") {
      roots.ById = args[i + 1];
    } else if (args[i] == "--dev") {
      roots.Dev = args[i + 1];
    } else if (args[i] == "--sys") {
      roots.SysClassTty = args[i + 1];
    } else {
      return false;
    }
  }
  return true;
}

int RunPorts(const Options&, const std::vector<std::string>& args) {
  TSerialScanRoots roots;
  if (!ParseRoots(args, roots)) {
    std::fprintf(stderr, "k7104-cli ports: the only arguments are --by-id, --dev and --sys DIR\n");
    return kExitUsage;
  }
  const std::vector<TSerialDevice> devices = ListSerialDevices(roots);
  if (devices.empty()) std::fprintf(stderr, "k7104-cli: no serial devices found\n");
  for (const TSerialDevice& device : devices) {
    std::printf("%s", device.Path.c_str());
    if (!device.Name.empty()) std::printf("  %s", device.Name.c_str());
    if (device.ById) std::printf("  -> %s", device.Node.c_str());
    std::printf("\n");
  }
  return 0;
}

}  // namespace

Command PortsCommand() {
  return {"ports", "[--by-id DIR] [--dev DIR] [--sys DIR]",
          "list the serial devices present: /dev/serial/by-id links with the converter's name, "
          "then ttyUSB, ttyACM and the ttyS ports that exist; use a by-id path with --port, it "
          "stays the same when the converter is plugged in again",
          RunPorts};
}

}  // namespace cli
