// Raw peers on a pseudo-terminal for the channel tests: a responder that answers every request
// with bytes the test chooses, and a null-modem cable between two terminals.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Reads requests of a fixed length from the line and writes back whatever the responder returns.
class PtyResponder {
 public:
  using Responder = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;
  PtyResponder(size_t requestLength, Responder responder);
  ~PtyResponder();
  const std::string& Path() const { return path_; }

 private:
  void Run();
  int master_ = -1;
  int slave_ = -1;  // kept open so the master never sees a hang-up between clients
  std::string path_;
  size_t requestLength_;
  Responder responder_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Two terminals whose masters are joined: what one end writes, the other end reads.
class NullModem {
 public:
  NullModem();
  ~NullModem();
  const std::string& PathA() const { return pathA_; }
  const std::string& PathB() const { return pathB_; }

 private:
  void Run();
  int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1;
  std::string pathA_, pathB_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Opens a pseudo-terminal in raw mode; false when the system has none to give.
bool OpenRawPty(int& master, int& slave, std::string& path);
