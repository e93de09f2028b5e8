// The simulated К7104 instrument line: Modbus RTU slaves that model instruments of the family on a
// pseudo-terminal, for tests, the demo, the benchmarks and anyone without hardware.
//
// A Line owns one pseudo-terminal and a thread that answers the requests a client writes to the
// slave side. Instruments sit on the line at their own addresses; faults make the line or one
// instrument misbehave on purpose. A Line may instead be reached over TCP, as through a serial
// server or a Modbus TCP gateway.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace k7104sim {

class InstrumentModel;
struct InstrumentAccess;

struct InstrumentSpec {
  uint8_t address = 1;
  uint16_t model = 1;  // 1 К7104Т1, 2 К7104С1, 6 К7104Е025; any other value is reported as it is
  uint16_t channels = 32;  // reported as is; registers exist for at most 32
  uint16_t relays = 32;
  // The rate its interface is set to; a request sent at another rate reaches it as noise and is
  // not answered. 0: it understands whatever rate the client sets.
  uint32_t baud = 0;
};

// What a fault does to a request that it matches. Unless said otherwise the instrument carries the
// request out and only its reply suffers.
enum class FaultKind {
  NoReply,             // the request is lost: not carried out, no reply
  BadCrc,              // arg 0: the two CRC bytes swapped (flipped when they are equal); 1: flipped
  Truncate,            // only the first arg bytes (1..3) of the reply are sent
  ShortByOneRegister,  // a read reply loses its last register (a coil reply its last coil byte),
                       // byte count adjusted and CRC right; a write reply loses its last two bytes
  Busy,                // exception 6 instead of carrying the request out
  Exception,           // exception arg instead of carrying the request out
  RecordNumber,        // an archive record read (input register >= 1) returns arg as its number
  Stray,               // arg junk bytes (at least 1) instead of the reply
  RepeatRequest,       // the request bytes come back alone; not carried out
  UnswappedIdentity,   // the identity text of registers 0..4 in reading order, "VOSTRELIN!"
  ModelCode,           // register 5 reads arg
  HangUp,              // arg bytes of the reply are sent, then the line hangs up (see Line); over
                       // TCP the connection is dropped
  Echo,                // the request is echoed before the reply, arg ms pause after the echo
  Late,                // the reply goes out arg ms later than it would
  OtherAddress,        // the reply carries address arg instead of the instrument's (CRC right)
  OtherFunction,       // the reply carries function code arg instead (CRC right)
  ByteCount,           // a read reply (functions 1..4) with arg added to its byte count
  WriteEcho,           // a write reply (5, 6, 15, 16) names the first register or coil plus arg
  Split,               // the reply goes in three pieces with arg ms between them
  Glue,                // arg junk bytes right after the reply, in the same piece
};

// Faults apply to requests that an instrument on the line answers, never to broadcasts.
// A fault matches a request when every given limit holds. Register limits compare with the
// request's register or coil range; RecordNumber compares the record asked for (the first input
// register), UnswappedIdentity and ModelCode apply only to reads of the registers they change.
// Of the requests it matches, a fault takes effect on every `every`-th, and of those on each with
// the probability given, drawn from its own random sequence so that a noisy line can be repeated.
// A fault uses up one of its times whenever it takes effect, and is gone when none are left.
struct Fault {
  FaultKind kind;
  int arg = 0;
  uint8_t address = 0;     // 0: any instrument
  uint8_t function = 0;    // 0: any function
  int firstRegister = -1;  // -1: any; else the request's range must overlap the limits
  int lastRegister = -1;   // -1 with firstRegister given: that one register
  int times = -1;          // -1: for ever
  int every = 1;
  double probability = 1;  // 0..1
  uint32_t seed = 0;
};

// How a two-wire converter sends the master's own bytes back: not at all, right before the
// reply, or with a pause between echo and reply.
enum class EchoMode { Off, Together, Pause };

// How a line over TCP carries the requests: RTU frames unchanged (a transparent serial server),
// Modbus TCP frames to a gateway (which answers exception 11 for an address where no instrument
// answered), or RTU frames in a telnet stream whose RFC 2217 commands set the serial port.
enum class NetworkMode { Rtu, Mbap, Rfc2217 };

// The serial settings an RFC 2217 client set, in RFC 2217's numbers (parity 3 even, stop size 2
// two bits). A rate above 115200 is beyond the simulated server: it keeps the rate it had.
struct ComPortSettings {
  uint32_t baudRate = 9600;
  uint8_t dataSize = 8;
  uint8_t parity = 3;
  uint8_t stopSize = 2;
  bool operator==(const ComPortSettings&) const = default;
};

struct LineOptions {
  uint32_t paceBaud = 0;  // 0: no pacing, every byte at once
  int replyDelayMs = 0;
  EchoMode echo = EchoMode::Off;
  int echoPauseMs = 80;
  std::string linkPath;  // when set, a symbolic link to the slave side
  bool log = false;      // each request and reply in hex on stderr
  // When set, the line listens for TCP connections on listenAddress at this port (0: a free port
  // that TcpPort() tells) instead of making a pseudo-terminal; up to eight clients at once.
  std::optional<uint16_t> tcpPort = std::nullopt;
  std::string listenAddress = "127.0.0.1";
  NetworkMode networkMode = NetworkMode::Rtu;
  // Called on the line's thread after a hang-up has made a fresh pseudo-terminal.
  std::function<void(const std::string& slavePath)> onNewTerminal = {};
};

// One instrument on a line. The accessors are safe from any thread; the line serves requests on
// its own thread.
//
// Out of the box: state 129 (measuring), firmware 2.3, archive period 60, nominal measurement
// period 0.5 s (up to 8 channels) or 1 s, measurement period 0 (nominal), a clock that follows the
// host's local time. Channels repeat eight sensor profiles (thermocouples, resistance thermometers,
// current and voltage sensors) with their own decimals, filters, ranges, setpoints, relays, logic
// and coils; every eighth channel has no sensor (type 0) and reads -32764. Live values are a slow
// wave with a little noise inside each channel's range. Archive record k (1..depth, depth 500,
// current record = depth) lies (current - k) archive periods before the clock reading taken when
// the depth or the clock was last set; every fiftieth record, from record 1, is "switched on"
// (-32765) in all configured channels, and sensor (-32767), cold-junction (-32763) and instrument
// (-32768) faults turn up here and there. A record beyond the depth comes back with number 0.
class Instrument {
 public:
  ~Instrument();
  Instrument(const Instrument&) = delete;
  Instrument& operator=(const Instrument&) = delete;

  uint8_t Address() const;
  uint32_t Baud() const { return baud_; }  // 0: any rate
  // A register as a read would return it now (identity, clock and live values included); a
  // register that does not exist reads 0. Setting a read-only register changes it as well.
  uint16_t HoldingRegister(uint16_t reg) const;
  void SetHoldingRegister(uint16_t reg, uint16_t value);
  // A float over reg (bits 15..0) and reg + 1 (bits 31..16).
  float HoldingFloat(uint16_t reg) const;
  void SetHoldingFloat(uint16_t reg, float value);
  bool Coil(uint16_t coil) const;
  void SetCoil(uint16_t coil, bool on);
  void SetLiveValue(int channel, float value);  // freezes that channel's live value (current and
                                                // last cycle)
  void FreezeLive(bool frozen);                 // stop live values from changing
  void SetArchiveDepth(uint16_t depth);         // records 1..depth, current = depth
  void SetArchiveRecordTime(uint16_t record, double dateTime);  // days since 1899-12-30
  // The three clock registers of a record as sent, also a date no clock holds (month 13).
  void SetArchiveRecordClock(uint16_t record, const std::array<uint16_t, 3>& registers);
  void SetClock(double dateTime);
  double Clock() const;
  uint32_t RequestCount() const;  // requests addressed to it (or broadcast) that it received

 private:
  friend struct InstrumentAccess;
  explicit Instrument(const InstrumentSpec& wanted);

  mutable std::mutex mutex_;
  std::unique_ptr<InstrumentModel> model_;
  const uint32_t baud_;
  uint32_t requests_ = 0;
};

// One serial line: a pseudo-terminal whose slave side a client opens, and the instruments on it.
// A hang-up fault closes the terminal in the middle of a reply and makes a fresh one at once, with
// a new slave path (and the link moved to it), so a client can close and open again.
class Line {
 public:
  explicit Line(LineOptions options = {});
  ~Line();  // stops the thread, closes the pty, removes the link
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  Instrument& AddInstrument(InstrumentSpec wanted);  // may be called before or after Start
  Instrument* Find(uint8_t address);
  void AddFault(Fault fault);
  void ClearFaults();
  void SetPace(uint32_t baud);  // 0: no pacing
  void SetReplyDelay(int ms);
  void SetEcho(EchoMode mode, int pauseMs = 80);
  void SetLog(bool on);
  bool Start();  // creates the pty and the thread; false when either fails
  void Stop();
  bool Running() const;
  std::string SlavePath() const;  // the client opens this (or the link); empty over TCP
  uint16_t TcpPort() const;       // the port a line over TCP listens on
  NetworkMode Mode() const;       // how a line over TCP carries the frames
  // What RFC 2217 clients set last; the defaults until one did.
  ComPortSettings ComPort() const;
  // The rate the last request came at: what the client set on the pseudo-terminal or through
  // RFC 2217, else (a transparent server, a gateway) the paced rate; 0 when none is known, and
  // then every instrument understands it. An instrument with a rate of its own answers only
  // requests at that rate.
  uint32_t ClientRate() const;
  // The last 10,000 complete requests received, whatever their address or CRC, with CRC, in order.
  std::vector<std::vector<uint8_t>> ReceivedFrames() const;
  void ClearReceived();
  uint32_t HangUps() const;  // how many times the line has hung up since it was made

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Appends the CRC, low byte first.
std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame);

// Model codes by number or name: "1", "2", "6", "T1", "C1", "E025" (also with a "K7104" prefix).
std::optional<uint16_t> ParseModel(const std::string& text);
// "ADDR:MODEL:CHANNELS:RELAYS@RATE"; the last fields may be left out (32 channels, 32 relays),
// and so may the rate (any rate the client sets).
std::optional<InstrumentSpec> ParseInstrument(const std::string& text);
// A fault from "kind=busy,times=3,addr=1,fn=16,regs=1280-1343,arg=6" (also every=N, prob=P and
// seed=S); error names what is wrong.
std::optional<Fault> ParseFault(const std::string& text, std::string& error);
// The kinds' names as ParseFault takes them, with what each does.
std::string FaultKindsHelp();
// "rtu", "mbap", "rfc2217".
std::optional<NetworkMode> ParseNetworkMode(const std::string& text);

}  // namespace k7104sim
