// A pseudo-terminal for one simulated line, and the symbolic link that names its slave side.
#pragma once

#include <cstdint>
#include <string>

namespace k7104sim {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal() { Close(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Raw mode, non-blocking master; the slave side is kept open here as well, so the master never
  // sees a hang-up while no client is connected.
  bool Open();
  void Close();
  void Swap(PseudoTerminal& other);
  bool IsOpen() const { return master_ >= 0; }
  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  // Bytes written to the master that the client has not read yet.
  int PendingForClient() const;
  // The output rate the client set on the slave side.
  uint32_t ClientRate() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// The output rate of a terminal's settings, whatever way it was set (termios2 gives it as a
// number); 0 when the settings cannot be read.
uint32_t TerminalRate(int fd);

// Points link at target, replacing an older symbolic link but never a file or a folder.
bool PlaceLink(const std::string& link, const std::string& target, std::string& error);
// Removes link when it is a symbolic link.
void RemoveLink(const std::string& link);

}  // namespace k7104sim
