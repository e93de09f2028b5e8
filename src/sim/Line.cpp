// Line: the pseudo-terminal or the TCP clients, the thread that frames requests and paces
// replies, and the faults.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <deque>
#include <random>
#include <thread>

#include "modbus/Crc.h"
#include "sim/InstrumentModel.h"
#include "sim/LineIo.h"
#include "sim/Simulator.h"
#include "sim/TcpListener.h"
#include "sim/TelnetServer.h"
#include "sim/Terminal.h"

namespace k7104sim {
namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using Nanoseconds = std::chrono::nanoseconds;
using std::chrono::milliseconds;

constexpr size_t kMaxPending = 512;
// The requests kept for ReceivedFrames: the tests look at the recent ones, and a line polled for
// days must not keep every request it ever got.
constexpr size_t kReceivedKept = 10000;
constexpr Nanoseconds kMinFrameGap = milliseconds(5);       // ends a frame of unknown length
constexpr Nanoseconds kMinDropGap = milliseconds(20);       // abandons a frame that stopped short
constexpr Nanoseconds kClientReadWait = milliseconds(250);  // a hang-up lets the client read first
constexpr Nanoseconds kClientReadGrace = milliseconds(30);
constexpr Nanoseconds kWriteStallLimit = milliseconds(200);  // a client that reads nothing
constexpr Nanoseconds kReopenRetry = milliseconds(100);
constexpr size_t kMaxClients = 8;
constexpr size_t kMbapHeader = 6;  // transaction id, protocol 0, length; then the unit id
constexpr uint8_t kGatewayTargetFailed = 11;
constexpr int kSplitPieces = 3;

struct RegisterRange {
  int first;
  int last;
};

uint16_t Word(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// A request's length follows from its function; functions 15 and 16 carry a byte count.
// Empty while not known yet or for a function whose length we cannot know.
std::optional<size_t> FrameLength(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const uint8_t function = bytes[1];
  if (function >= 1 && function <= 6) return 8;
  if (function == 15 || function == 16) {
    if (bytes.size() < 7) return std::nullopt;
    return 9 + static_cast<size_t>(bytes[6]);
  }
  return std::nullopt;
}

bool HasKnownLength(uint8_t function) {
  return (function >= 1 && function <= 6) || function == 15 || function == 16;
}

bool CrcValid(const std::vector<uint8_t>& frame) {
  if (frame.size() < 4) return false;
  const uint16_t crc = CalcCRC16(frame.data(), frame.size() - 2);
  return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

std::optional<RegisterRange> RequestRange(const std::vector<uint8_t>& frame) {
  if (frame.size() < 6) return std::nullopt;
  const int first = Word(&frame[2]);
  switch (frame[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 15:
    case 16:
      return RegisterRange{first, first + std::max<int>(Word(&frame[4]), 1) - 1};
    case 5:
    case 6:
      return RegisterRange{first, first};
    default:
      return std::nullopt;
  }
}

bool Overlaps(const RegisterRange& range, int first, int last) {
  return range.first <= last && first <= range.last;
}

bool IsRefusal(FaultKind kind) {
  return kind == FaultKind::Busy || kind == FaultKind::Exception;
}

// Whether a fault applies to a request for an instrument at address.
bool Matches(const Fault& fault, uint8_t address, const std::vector<uint8_t>& frame) {
  if (fault.address != 0 && fault.address != address) return false;
  const uint8_t function = frame[1];
  if (fault.function != 0 && fault.function != function) return false;
  const auto range = RequestRange(frame);
  const int first = fault.firstRegister;
  const int last = fault.lastRegister < 0 ? first : fault.lastRegister;
  const bool limited = first >= 0;
  switch (fault.kind) {
    case FaultKind::RecordNumber:
      return function == 4 && range && range->first >= 1 &&
             (!limited || (range->first >= first && range->first <= last));
    case FaultKind::UnswappedIdentity:
      return function == 3 && range && Overlaps(*range, 0, 4) &&
             (!limited || Overlaps(*range, first, last));
    case FaultKind::ModelCode:
      return function == 3 && range && Overlaps(*range, 5, 5) &&
             (!limited || Overlaps(*range, first, last));
    case FaultKind::ByteCount:
      return function >= 1 && function <= 4 &&
             (!limited || (range && Overlaps(*range, first, last)));
    case FaultKind::WriteEcho:
      return (function == 5 || function == 6 || function == 15 || function == 16) &&
             (!limited || (range && Overlaps(*range, first, last)));
    default:
      return !limited || (range && Overlaps(*range, first, last));
  }
}

// A read reply loses its last register (a coil reply its last byte) with a right byte count and
// CRC; any other reply its last two bytes before the CRC.
std::vector<uint8_t> ShortenedByOneRegister(std::vector<uint8_t> reply) {
  std::vector<uint8_t> body(reply.begin(), reply.end() - 2);
  const uint8_t function = body[1];
  const bool read = function == 1 || function == 3 || function == 4;
  const size_t drop = function == 1 ? 1 : 2;
  if (read && body.size() >= 3 && body[2] >= drop) {
    body[2] = static_cast<uint8_t>(body[2] - drop);
    body.resize(body.size() - drop);
  } else if (body.size() >= 4) {
    body.resize(body.size() - 2);
  }
  return WithCrc(std::move(body));
}

// The reply with its CRC made right again after a change.
std::vector<uint8_t> Resealed(std::vector<uint8_t> reply) {
  reply.resize(reply.size() - 2);
  return WithCrc(std::move(reply));
}

bool IsExceptionReply(const std::vector<uint8_t>& reply) {
  return reply.size() >= 2 && (reply[1] & 0x80) != 0;
}

std::vector<uint8_t> JunkBytes(int count) {
  std::vector<uint8_t> junk;
  uint32_t state = 0x2545F491u;
  for (int k = 0; k < count; ++k) {
    state = state * 1103515245u + 12345u;
    junk.push_back(static_cast<uint8_t>(state >> 16));
  }
  return junk;
}

std::string Hex(const uint8_t* bytes, size_t count) {
  std::string text;
  char digits[4];
  for (size_t k = 0; k < count; ++k) {
    std::snprintf(digits, sizeof digits, k ? " %02X" : "%02X", bytes[k]);
    text += digits;
  }
  return text;
}

Nanoseconds CharacterTime(uint32_t baud) {
  return baud ? Nanoseconds(12'000'000'000ll / baud) : Nanoseconds(0);  // 12 bits a character
}

}  // namespace

struct Line::Impl {
  // What the faults of the moment do to one request.
  struct FaultEffects {
    std::optional<uint8_t> refusal;  // exception code instead of carrying it out
    ReadOverrides overrides;
    std::optional<Fault> wire;       // what happens to the reply on its way
    std::optional<int> echoPauseMs;  // an echo fault
    std::optional<int> lateMs;       // a late fault
    std::optional<int> splitMs;      // a split fault
    std::optional<int> glueBytes;    // a glue fault
  };

  // A fault on the line, with the count of requests it matched and its own random sequence.
  struct ActiveFault {
    explicit ActiveFault(const Fault& given) : fault(given), random(given.seed) {}
    bool Fires();

    Fault fault;
    uint64_t matched = 0;
    std::mt19937 random;
  };

  // What goes back on the line for one request.
  struct Answer {
    std::vector<uint8_t> bytes;
    std::optional<size_t> hangUpAfter;
    std::optional<int> echoPauseMs;
    int lateMs = 0;
    std::optional<int> splitMs;
    int glueBytes = 0;
    Instrument* mover = nullptr;  // moves to newAddress once its reply is out
    uint8_t newAddress = 0;
  };

  // One client: the pseudo-terminal's master side, or a TCP connection.
  struct Client {
    Descriptor fd = kNoDescriptor;
    std::vector<uint8_t> pending;  // request bytes not framed yet
    TimePoint firstByte{};
    TimePoint lastByte{};
    std::unique_ptr<TelnetServer> telnet;  // on an RFC 2217 line
    bool closed = false;
  };

  explicit Impl(LineOptions lineOptions) : options(std::move(lineOptions)) {}

  bool OverTcp() const { return options.tcpPort.has_value(); }
  void Run();
  std::vector<Client*> Clients();
  std::optional<TimePoint> EarliestDeadline(const std::vector<Client*>& clients) const;
  void Accept();
  void CloseClient(Client& client);
  void ReadAvailable(Client& client);
  void FrameRequests(Client& client);
  void FrameGatewayRequests(Client& client);
  Nanoseconds FrameGap() const;
  TimePoint PendingDeadline(const std::vector<uint8_t>& pending, TimePoint lastByte) const;
  void Handle(const std::vector<uint8_t>& frame, TimePoint firstByte);
  void HandleGateway(const std::vector<uint8_t>& adu, TimePoint firstByte);
  bool Deliver(std::vector<uint8_t> bytes, TimePoint start, Nanoseconds character,
               const Answer& answer);
  Answer Prepare(const std::vector<uint8_t>& frame);
  void Broadcast(const std::vector<uint8_t>& frame);
  Instrument* InstrumentAt(uint8_t address);
  uint32_t RequestRate();
  bool Understands(const Instrument& instrument, uint32_t rate) const;
  FaultEffects TakeFaults(uint8_t address, const std::vector<uint8_t>& frame);
  void ApplyWireFault(const Fault& fault, const std::vector<uint8_t>& request, Answer& answer);
  bool Send(const uint8_t* bytes, size_t count, TimePoint start, Nanoseconds character);
  bool WriteNow(const uint8_t* bytes, size_t count);
  bool WriteTo(Client& client, const uint8_t* bytes, size_t count);
  bool SleepUntil(TimePoint deadline);
  void HangUp();
  bool ReplaceTerminal();
  void Log(const char* direction, const uint8_t* bytes, size_t count);

  mutable std::mutex mutex;  // guards everything below that the thread and the callers share
  LineOptions options;
  std::vector<std::unique_ptr<Instrument>> instruments;
  std::vector<ActiveFault> faults;
  std::deque<std::vector<uint8_t>> received;
  std::string slavePath;
  ComPortSettings comPort;
  PseudoTerminal terminal;  // the thread's while it runs
  Client terminalSide;      // the terminal's master as the one client of a serial line
  TcpListener listener;
  std::vector<std::unique_ptr<Client>> tcpClients;
  Client* replyTo = nullptr;  // where the request being answered came from
  std::thread thread;
  WakeUp wake;
  std::atomic<bool> stopping{false};
  std::atomic<uint32_t> hangUps{0};
  std::atomic<uint32_t> lastRequestRate{0};
  bool running = false;
};

void Line::Impl::Run() {
  SharpenTimers();
  while (!stopping.load()) {
    if (!OverTcp() && !terminal.IsOpen()) {
      if (!ReplaceTerminal()) SleepUntil(SteadyClock::now() + kReopenRetry);
      terminalSide.pending.clear();
      continue;
    }
    terminalSide.fd = terminal.Master();
    const std::vector<Client*> clients = Clients();
    std::vector<Watch> watched;
    if (OverTcp()) watched.push_back({listener.Fd()});
    const size_t firstClient = watched.size();
    for (Client* client : clients) watched.push_back({client->fd});
    std::optional<Nanoseconds> timeout;
    if (const auto deadline = EarliestDeadline(clients))
      timeout = std::max(Nanoseconds(0), *deadline - SteadyClock::now());
    if (!WaitFor(watched, wake, timeout)) break;
    if (stopping.load()) break;
    if (OverTcp() && watched[0].ready) Accept();
    for (size_t k = 0; k < clients.size() && !stopping.load(); ++k) {
      Client& client = *clients[k];
      const Watch& seen = watched[firstClient + k];
      if (seen.ready) ReadAvailable(client);
      if (!OverTcp() && seen.hungUp) {
        terminal.Close();  // cannot happen while the slave is held open; start afresh if it does
        break;
      }
      if (OverTcp() && seen.hungUp) CloseClient(client);
      if (!client.closed) FrameRequests(client);
    }
    std::erase_if(tcpClients, [](const std::unique_ptr<Client>& client) { return client->closed; });
  }
}

std::vector<Line::Impl::Client*> Line::Impl::Clients() {
  if (!OverTcp()) return {&terminalSide};
  std::vector<Client*> clients;
  for (const auto& client : tcpClients) clients.push_back(client.get());
  return clients;
}

// When the first of the frames under way is due to be ended or thrown away; Modbus TCP frames
// end by their length alone.
std::optional<TimePoint> Line::Impl::EarliestDeadline(const std::vector<Client*>& clients) const {
  std::optional<TimePoint> earliest;
  if (options.networkMode == NetworkMode::Mbap && OverTcp()) return earliest;
  for (const Client* client : clients) {
    if (client->pending.empty()) continue;
    const TimePoint due = PendingDeadline(client->pending, client->lastByte);
    if (!earliest || due < *earliest) earliest = due;
  }
  return earliest;
}

void Line::Impl::Accept() {
  const Descriptor fd = listener.Accept();
  if (fd == kNoDescriptor) return;
  if (tcpClients.size() >= kMaxClients) {
    CloseSocket(fd);
    return;
  }
  auto client = std::make_unique<Client>();
  client->fd = fd;
  if (options.networkMode == NetworkMode::Rfc2217) {
    client->telnet = std::make_unique<TelnetServer>();
    const std::vector<uint8_t> greeting = client->telnet->Greeting();
    WriteTo(*client, greeting.data(), greeting.size());
  }
  tcpClients.push_back(std::move(client));
}

void Line::Impl::CloseClient(Client& client) {
  if (client.closed) return;
  CloseSocket(client.fd);
  client.fd = kNoDescriptor;
  client.closed = true;
  client.pending.clear();
}

void Line::Impl::ReadAvailable(Client& client) {
  uint8_t chunk[256];
  for (;;) {
    const long got = ReadSome(client.fd, chunk, sizeof chunk);
    if (OverTcp() && got < 0) {
      CloseClient(client);  // the client went away
      return;
    }
    if (got <= 0) break;
    const TimePoint now = SteadyClock::now();
    if (client.pending.empty()) client.firstByte = now;
    client.lastByte = now;
    if (!client.telnet) {
      client.pending.insert(client.pending.end(), chunk, chunk + got);
      continue;
    }
    std::vector<uint8_t> answer;
    client.telnet->Feed(chunk, static_cast<size_t>(got), client.pending, answer);
    if (!answer.empty()) WriteTo(client, answer.data(), answer.size());
    if (client.telnet->TakeChanged()) {
      std::lock_guard lock(mutex);
      comPort = client.telnet->Settings();
      if (options.paceBaud != 0) options.paceBaud = comPort.baudRate;  // the server's UART
    }
  }
  if (client.pending.size() > kMaxPending) client.pending.clear();  // no request is that long
}

// A frame of a function we do not know ends in silence; one that stopped short of its length is
// given a little longer before it is thrown away.
TimePoint Line::Impl::PendingDeadline(const std::vector<uint8_t>& pending,
                                      TimePoint lastByte) const {
  const bool unknownFunction = pending.size() >= 2 && !HasKnownLength(pending[1]);
  return lastByte + (unknownFunction ? FrameGap() : std::max(kMinDropGap, FrameGap()));
}

// Three and a half characters of silence end a frame, as on a real line, but never less than a
// few milliseconds: a pseudo-terminal has no wire to keep the bytes of one frame together.
Nanoseconds Line::Impl::FrameGap() const {
  std::lock_guard lock(mutex);
  return std::max(kMinFrameGap, CharacterTime(options.paceBaud) * 7 / 2);
}

void Line::Impl::FrameRequests(Client& client) {
  if (OverTcp() && options.networkMode == NetworkMode::Mbap) return FrameGatewayRequests(client);
  std::vector<uint8_t>& pending = client.pending;
  replyTo = &client;
  while (!pending.empty() && !stopping.load() && !client.closed) {
    const auto length = FrameLength(pending);
    if (length && pending.size() >= *length) {
      const std::vector<uint8_t> frame(pending.begin(), pending.begin() + *length);
      pending.erase(pending.begin(), pending.begin() + *length);
      Handle(frame, client.firstByte);
      client.firstByte = client.lastByte;  // what followed arrived with the last read
      continue;
    }
    if (SteadyClock::now() < PendingDeadline(pending, client.lastByte)) return;
    if (pending.size() >= 2 && !HasKnownLength(pending[1])) {
      Handle(pending, client.firstByte);
    } else {
      Log("dropped", pending.data(), pending.size());
    }
    pending.clear();
    return;
  }
}

// Modbus TCP frames end by the length in their header; a header that makes no sense leaves no
// way to find the next frame, so what came is thrown away.
void Line::Impl::FrameGatewayRequests(Client& client) {
  std::vector<uint8_t>& pending = client.pending;
  replyTo = &client;
  while (pending.size() > kMbapHeader && !stopping.load() && !client.closed) {
    const size_t length = Word(&pending[4]);
    if (pending[2] != 0 || pending[3] != 0 || length < 2 || length > 254) {
      Log("dropped", pending.data(), pending.size());
      pending.clear();
      return;
    }
    if (pending.size() < kMbapHeader + length) return;
    const std::vector<uint8_t> adu(pending.begin(), pending.begin() + kMbapHeader + length);
    pending.erase(pending.begin(), pending.begin() + kMbapHeader + length);
    HandleGateway(adu, client.firstByte);
    client.firstByte = client.lastByte;
  }
}

void Line::Impl::Handle(const std::vector<uint8_t>& frame, TimePoint firstByte) {
  LineOptions settings;
  {
    std::lock_guard lock(mutex);
    if (received.size() >= kReceivedKept) received.pop_front();
    received.push_back(frame);
    settings.paceBaud = options.paceBaud;
    settings.replyDelayMs = options.replyDelayMs;
    settings.echo = options.echo;
    settings.echoPauseMs = options.echoPauseMs;
  }
  Log("->", frame.data(), frame.size());
  Answer answer = Prepare(frame);
  const Nanoseconds character = CharacterTime(settings.paceBaud);
  const TimePoint requestEnd = firstByte + character * static_cast<long>(frame.size());
  std::optional<int> echoPause = answer.echoPauseMs;
  if (!echoPause && settings.echo != EchoMode::Off) {
    echoPause = settings.echo == EchoMode::Pause ? settings.echoPauseMs : 0;
  }
  TimePoint replyStart = requestEnd;
  if (echoPause) {
    // A two-wire converter hands back each byte of the request as it goes out.
    if (!Send(frame.data(), frame.size(), firstByte, character)) return;
    replyStart = std::max(requestEnd, SteadyClock::now()) + milliseconds(*echoPause);
  }
  replyStart = std::max(replyStart, SteadyClock::now()) +
               milliseconds(settings.replyDelayMs + answer.lateMs);
  if (!Deliver(answer.bytes, replyStart, character, answer)) return;
  if (answer.mover) InstrumentAccess::MoveTo(*answer.mover, answer.newAddress);
}

// A gateway puts the request on its serial line as an RTU frame and answers with what came back
// once all of it has come: the addressed instrument's reply with a right CRC, else exception 11.
void Line::Impl::HandleGateway(const std::vector<uint8_t>& adu, TimePoint firstByte) {
  const std::vector<uint8_t> frame =
      WithCrc(std::vector<uint8_t>(adu.begin() + kMbapHeader, adu.end()));
  LineOptions settings;
  {
    std::lock_guard lock(mutex);
    if (received.size() >= kReceivedKept) received.pop_front();
    received.push_back(frame);
    settings.paceBaud = options.paceBaud;
    settings.replyDelayMs = options.replyDelayMs;
  }
  Log("->", adu.data(), adu.size());
  const Answer answer = Prepare(frame);
  if (frame[0] == 0) return;  // a broadcast has no reply
  const Nanoseconds character = CharacterTime(settings.paceBaud);
  TimePoint ready = firstByte + character * static_cast<long>(frame.size()) +
                    milliseconds(settings.replyDelayMs + answer.lateMs);
  std::vector<uint8_t> pdu;
  if (answer.bytes.size() >= 4 && answer.bytes[0] == frame[0] && CrcValid(answer.bytes)) {
    pdu.assign(answer.bytes.begin() + 1, answer.bytes.end() - 2);
    ready += character * static_cast<long>(answer.bytes.size());
  } else {
    pdu = ExceptionPdu(frame[1], kGatewayTargetFailed);
  }
  const auto length = static_cast<uint16_t>(pdu.size() + 1);
  std::vector<uint8_t> reply = {adu[0],
                                adu[1],
                                0,
                                0,
                                static_cast<uint8_t>(length >> 8),
                                static_cast<uint8_t>(length),
                                adu[kMbapHeader]};
  reply.insert(reply.end(), pdu.begin(), pdu.end());
  if (!Deliver(std::move(reply), std::max(ready, SteadyClock::now()), Nanoseconds(0), answer))
    return;
  if (answer.mover) InstrumentAccess::MoveTo(*answer.mover, answer.newAddress);
}

// Sends a reply paced from start as the network faults say: glued to junk, in pieces with pauses
// between them, or cut short by a hang-up. False when the line is being stopped.
bool Line::Impl::Deliver(std::vector<uint8_t> bytes, TimePoint start, Nanoseconds character,
                         const Answer& answer) {
  if (answer.glueBytes > 0) {
    const std::vector<uint8_t> junk = JunkBytes(answer.glueBytes);
    bytes.insert(bytes.end(), junk.begin(), junk.end());
  }
  const size_t count = std::min(bytes.size(), answer.hangUpAfter.value_or(SIZE_MAX));
  const int pieces = answer.splitMs ? kSplitPieces : 1;
  size_t sent = 0;
  for (int piece = 0; piece < pieces && sent < count; ++piece) {
    const size_t size = std::max<size_t>(1, (count - sent) / static_cast<size_t>(pieces - piece));
    if (piece > 0 && !SleepUntil(SteadyClock::now() + milliseconds(*answer.splitMs))) return false;
    if (!Send(bytes.data() + sent, size, piece == 0 ? start : SteadyClock::now(), character))
      return false;
    sent += size;
  }
  if (count > 0) Log("<-", bytes.data(), count);
  if (answer.hangUpAfter) HangUp();
  return true;
}

Line::Impl::Answer Line::Impl::Prepare(const std::vector<uint8_t>& frame) {
  Answer answer;
  if (!CrcValid(frame)) return answer;  // a slave keeps quiet about a damaged request
  const uint8_t address = frame[0];
  if (address == 0) {
    Broadcast(frame);
    return answer;
  }
  Instrument* instrument = InstrumentAt(address);
  if (!instrument) return answer;
  if (!Understands(*instrument, RequestRate())) {
    Log("other rate", nullptr, 0);
    return answer;
  }
  const FaultEffects effects = TakeFaults(address, frame);
  answer.echoPauseMs = effects.echoPauseMs;
  answer.lateMs = effects.lateMs.value_or(0);
  answer.splitMs = effects.splitMs;
  answer.glueBytes = effects.glueBytes.value_or(0);
  const bool lost = effects.wire && (effects.wire->kind == FaultKind::NoReply ||
                                     effects.wire->kind == FaultKind::RepeatRequest);
  ServeResult served;
  if (lost) {
    InstrumentAccess::CountRequest(*instrument);
  } else if (effects.refusal) {
    InstrumentAccess::CountRequest(*instrument);
    served.pdu = ExceptionPdu(frame[1], *effects.refusal);
  } else {
    served =
        InstrumentAccess::Serve(*instrument, frame.data() + 1, frame.size() - 3, effects.overrides);
  }
  std::vector<uint8_t> reply{address};
  reply.insert(reply.end(), served.pdu.begin(), served.pdu.end());
  answer.bytes = WithCrc(std::move(reply));
  if (served.newAddress) {
    answer.mover = instrument;
    answer.newAddress = *served.newAddress;
  }
  if (effects.wire) ApplyWireFault(*effects.wire, frame, answer);
  return answer;
}

// Every instrument carries a broadcast out and none answers.
void Line::Impl::Broadcast(const std::vector<uint8_t>& frame) {
  std::vector<Instrument*> all;
  {
    std::lock_guard lock(mutex);
    for (const auto& instrument : instruments) all.push_back(instrument.get());
  }
  const uint32_t rate = RequestRate();
  for (Instrument* instrument : all) {
    if (!Understands(*instrument, rate)) continue;
    const ServeResult served =
        InstrumentAccess::Serve(*instrument, frame.data() + 1, frame.size() - 3, {});
    if (served.newAddress) InstrumentAccess::MoveTo(*instrument, *served.newAddress);
  }
}

Instrument* Line::Impl::InstrumentAt(uint8_t address) {
  std::lock_guard lock(mutex);
  for (const auto& instrument : instruments) {
    if (instrument->Address() == address) return instrument.get();
  }
  return nullptr;
}

// The rate the request being answered came at: the pseudo-terminal's as the client set it, the
// RFC 2217 client's, or on a transparent server or a gateway the rate of its serial side (the
// paced rate, 0 when not paced).
uint32_t Line::Impl::RequestRate() {
  uint32_t rate = 0;
  if (!OverTcp()) {
    rate = terminal.ClientRate();
  } else if (replyTo != nullptr && replyTo->telnet) {
    rate = replyTo->telnet->Settings().baudRate;
  } else {
    std::lock_guard lock(mutex);
    rate = options.paceBaud;
  }
  lastRequestRate.store(rate);
  return rate;
}

// A UART set to another rate takes the request for noise.
bool Line::Impl::Understands(const Instrument& instrument, uint32_t rate) const {
  return instrument.Baud() == 0 || rate == 0 || instrument.Baud() == rate;
}

// Counts a request the fault matches and tells whether it takes effect on it. The draw uses the
// generator's raw output, which the standard fixes, so a seed gives the same line everywhere.
bool Line::Impl::ActiveFault::Fires() {
  ++matched;
  if (fault.every > 1 && matched % static_cast<uint64_t>(fault.every) != 0) return false;
  if (fault.probability >= 1) return true;
  return random() < fault.probability * 4294967296.0;
}

// The first matching fault of each sort that fires takes effect and uses up one of its times. A
// refusal (busy, exception) leaves nothing for the read overrides to change.
Line::Impl::FaultEffects Line::Impl::TakeFaults(uint8_t address,
                                                const std::vector<uint8_t>& frame) {
  FaultEffects effects;
  std::lock_guard lock(mutex);
  std::vector<bool> fires;
  for (ActiveFault& active : faults)
    fires.push_back(Matches(active.fault, address, frame) && active.Fires());
  for (size_t k = 0; k < faults.size(); ++k) {
    Fault& fault = faults[k].fault;
    if (!IsRefusal(fault.kind) || effects.refusal || !fires[k]) continue;
    effects.refusal =
        fault.kind == FaultKind::Busy ? uint8_t{kDeviceBusy} : static_cast<uint8_t>(fault.arg);
    if (fault.times > 0) --fault.times;
  }
  for (size_t k = 0; k < faults.size(); ++k) {
    Fault& fault = faults[k].fault;
    if (fault.times == 0 || IsRefusal(fault.kind) || !fires[k]) continue;
    bool used = false;
    ReadOverrides& overrides = effects.overrides;
    switch (fault.kind) {
      case FaultKind::RecordNumber:
        used = !effects.refusal && !overrides.recordNumber;
        if (used) overrides.recordNumber = static_cast<uint16_t>(fault.arg);
        break;
      case FaultKind::UnswappedIdentity:
        used = !effects.refusal && !overrides.unswappedIdentity;
        overrides.unswappedIdentity = overrides.unswappedIdentity || used;
        break;
      case FaultKind::ModelCode:
        used = !effects.refusal && !overrides.modelCode;
        if (used) overrides.modelCode = static_cast<uint16_t>(fault.arg);
        break;
      case FaultKind::Echo:
        used = !effects.echoPauseMs;
        if (used) effects.echoPauseMs = std::max(fault.arg, 0);
        break;
      case FaultKind::Late:
        used = !effects.lateMs;
        if (used) effects.lateMs = std::max(fault.arg, 0);
        break;
      case FaultKind::Split:
        used = !effects.splitMs;
        if (used) effects.splitMs = std::max(fault.arg, 0);
        break;
      case FaultKind::Glue:
        used = !effects.glueBytes;
        if (used) effects.glueBytes = std::max(fault.arg, 1);
        break;
      default:
        used = !effects.wire;
        if (used) effects.wire = fault;
        break;
    }
    if (used && fault.times > 0) --fault.times;
  }
  std::erase_if(faults, [](const ActiveFault& active) { return active.fault.times == 0; });
  return effects;
}

void Line::Impl::ApplyWireFault(const Fault& fault, const std::vector<uint8_t>& request,
                                Answer& answer) {
  std::vector<uint8_t>& bytes = answer.bytes;
  switch (fault.kind) {
    case FaultKind::NoReply:
      bytes.clear();
      break;
    case FaultKind::RepeatRequest:
      bytes = request;
      break;
    case FaultKind::BadCrc: {
      uint8_t& low = bytes[bytes.size() - 2];
      uint8_t& high = bytes[bytes.size() - 1];
      if (fault.arg == 0 && low != high) {
        std::swap(low, high);
      } else {
        low ^= 0xFF;
        high ^= 0xFF;
      }
      break;
    }
    case FaultKind::Truncate:
      bytes.resize(std::clamp(fault.arg, 1, 3));
      break;
    case FaultKind::ShortByOneRegister:
      bytes = ShortenedByOneRegister(std::move(bytes));
      break;
    case FaultKind::Stray:
      bytes = JunkBytes(std::max(fault.arg, 1));
      break;
    case FaultKind::HangUp:
      answer.hangUpAfter = static_cast<size_t>(std::clamp<int>(fault.arg, 0, bytes.size()));
      break;
    case FaultKind::OtherAddress:
      bytes[0] = static_cast<uint8_t>(fault.arg);
      bytes = Resealed(std::move(bytes));
      break;
    case FaultKind::OtherFunction:
      bytes[1] = static_cast<uint8_t>(fault.arg);
      bytes = Resealed(std::move(bytes));
      break;
    case FaultKind::ByteCount:
      if (!IsExceptionReply(bytes)) {
        bytes[2] = static_cast<uint8_t>(bytes[2] + fault.arg);
        bytes = Resealed(std::move(bytes));
      }
      break;
    case FaultKind::WriteEcho:
      if (!IsExceptionReply(bytes) && bytes.size() >= 6) {
        const auto named = static_cast<uint16_t>(Word(&bytes[2]) + fault.arg);
        bytes[2] = static_cast<uint8_t>(named >> 8);
        bytes[3] = static_cast<uint8_t>(named);
        bytes = Resealed(std::move(bytes));
      }
      break;
    default:
      break;
  }
}

// Byte k goes out when its last bit would have arrived, start + (k + 1) characters: every byte
// whose time has come is written at once and the thread sleeps until the next one is due.
bool Line::Impl::Send(const uint8_t* bytes, size_t count, TimePoint start, Nanoseconds character) {
  size_t sent = 0;
  while (sent < count) {
    const Nanoseconds elapsed = SteadyClock::now() - start;
    size_t due = count;
    if (character.count() > 0) {
      due = elapsed.count() < 0 ? 0 : std::min<size_t>(count, elapsed / character);
    } else if (elapsed.count() < 0) {
      due = 0;
    }
    if (due > sent) {
      if (!WriteNow(bytes + sent, due - sent)) return false;
      sent = due;
      continue;
    }
    const TimePoint next =
        character.count() > 0 ? start + character * static_cast<long>(sent + 1) : start;
    if (!SleepUntil(next)) return false;
  }
  return true;
}

bool Line::Impl::WriteNow(const uint8_t* bytes, size_t count) {
  if (replyTo->closed) return true;
  if (!replyTo->telnet) return WriteTo(*replyTo, bytes, count);
  const std::vector<uint8_t> escaped = TelnetServer::Escaped(bytes, count);
  return WriteTo(*replyTo, escaped.data(), escaped.size());
}

// Writes everything, waiting for room; a client that reads nothing for long loses the rest, a
// TCP client whose connection failed is closed.
bool Line::Impl::WriteTo(Client& client, const uint8_t* bytes, size_t count) {
  const TimePoint giveUp = SteadyClock::now() + kWriteStallLimit;
  while (count > 0 && !client.closed) {
    const long written = WriteSome(client.fd, bytes, count, OverTcp());
    if (written > 0) {
      bytes += written;
      count -= static_cast<size_t>(written);
      continue;
    }
    if (written < 0) {
      if (OverTcp()) CloseClient(client);
      return true;
    }
    if (SteadyClock::now() >= giveUp) return true;
    std::vector<Watch> room = {{client.fd, true}};
    WaitFor(room, wake, milliseconds(10));
    if (stopping.load()) return false;
  }
  return true;
}

// False when the line is being stopped.
bool Line::Impl::SleepUntil(TimePoint deadline) {
  for (;;) {
    if (stopping.load()) return false;
    const Nanoseconds left = deadline - SteadyClock::now();
    if (left.count() <= 0) return true;
    std::vector<Watch> none;
    WaitFor(none, wake, left);
  }
}

// The line goes dead in the middle of a reply, as when a converter is unplugged; a fresh terminal
// takes its place so that a client that opens the link again can go on. Over TCP the client's
// connection is dropped.
void Line::Impl::HangUp() {
  if (OverTcp()) {
    Log("hang-up", nullptr, 0);
    hangUps.fetch_add(1);
    CloseClient(*replyTo);
    return;
  }
  // The hang-up throws away what the client has not read, and bytes written to the master reach
  // the client's queue a little later: wait until they have been there and gone.
  const TimePoint start = SteadyClock::now();
  bool seen = false;
  while (SteadyClock::now() < start + kClientReadWait) {
    const int pending = terminal.PendingForClient();
    seen = seen || pending > 0;
    if (pending == 0 && (seen || SteadyClock::now() >= start + kClientReadGrace)) break;
    if (!SleepUntil(SteadyClock::now() + milliseconds(1))) return;
  }
  Log("hang-up", nullptr, 0);
  hangUps.fetch_add(1);
  if (!ReplaceTerminal()) terminal.Close();  // Run tries again
}

// The fresh terminal and the link to it are in place before the old terminal goes, so a client
// that opens the link again as soon as it sees the hang-up finds the new one.
bool Line::Impl::ReplaceTerminal() {
  PseudoTerminal fresh;
  if (!fresh.Open()) return false;
  std::string link;
  std::function<void(const std::string&)> listener;
  {
    std::lock_guard lock(mutex);
    slavePath = fresh.SlavePath();
    link = options.linkPath;
    listener = options.onNewTerminal;
  }
  std::string error;
  if (!link.empty() && !PlaceLink(link, fresh.SlavePath(), error)) {
    std::fprintf(stderr, "k7104-sim: %s\n", error.c_str());
  }
  terminal.Swap(fresh);
  fresh.Close();
  if (listener) listener(terminal.SlavePath());
  return true;
}

void Line::Impl::Log(const char* direction, const uint8_t* bytes, size_t count) {
  {
    std::lock_guard lock(mutex);
    if (!options.log) return;
  }
  std::fprintf(stderr, count ? "%s %s\n" : "%s\n", direction, Hex(bytes, count).c_str());
}

Line::Line(LineOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Line::~Line() {
  Stop();
}

Instrument& Line::AddInstrument(InstrumentSpec wanted) {
  std::lock_guard lock(impl_->mutex);
  impl_->instruments.push_back(InstrumentAccess::Create(wanted));
  return *impl_->instruments.back();
}

Instrument* Line::Find(uint8_t address) {
  return impl_->InstrumentAt(address);
}

void Line::AddFault(Fault fault) {
  if (fault.times == 0) return;
  std::lock_guard lock(impl_->mutex);
  impl_->faults.emplace_back(fault);
}

void Line::ClearFaults() {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.clear();
}

void Line::SetPace(uint32_t baud) {
  std::lock_guard lock(impl_->mutex);
  impl_->options.paceBaud = baud;
}

void Line::SetReplyDelay(int ms) {
  std::lock_guard lock(impl_->mutex);
  impl_->options.replyDelayMs = std::max(ms, 0);
}

void Line::SetEcho(EchoMode mode, int pauseMs) {
  std::lock_guard lock(impl_->mutex);
  impl_->options.echo = mode;
  impl_->options.echoPauseMs = std::max(pauseMs, 0);
}

void Line::SetLog(bool on) {
  std::lock_guard lock(impl_->mutex);
  impl_->options.log = on;
}

bool Line::Start() {
  if (impl_->running) return true;
  std::string error;
  if (impl_->OverTcp()) {
    if (!impl_->listener.Listen(impl_->options.listenAddress, *impl_->options.tcpPort, error)) {
      std::fprintf(stderr, "k7104-sim: %s\n", error.c_str());
      return false;
    }
  } else if (!impl_->terminal.Open()) {
    return false;
  }
  const std::string link = impl_->OverTcp() ? std::string() : impl_->options.linkPath;
  if (!link.empty() && !PlaceLink(link, impl_->terminal.SlavePath(), error)) {
    std::fprintf(stderr, "k7104-sim: %s\n", error.c_str());
    impl_->terminal.Close();
    return false;
  }
  if (!impl_->wake.Open()) {
    impl_->terminal.Close();
    impl_->listener.Close();
    RemoveLink(link);
    return false;
  }
  {
    std::lock_guard lock(impl_->mutex);
    impl_->slavePath = impl_->terminal.SlavePath();
  }
  impl_->stopping.store(false);
  impl_->thread = std::thread([this] { impl_->Run(); });
  impl_->running = true;
  return true;
}

void Line::Stop() {
  if (!impl_->running) return;
  impl_->stopping.store(true);
  impl_->wake.Signal();
  impl_->thread.join();
  impl_->terminal.Close();
  for (const auto& client : impl_->tcpClients) impl_->CloseClient(*client);
  impl_->tcpClients.clear();
  impl_->listener.Close();
  impl_->wake.Close();
  if (!impl_->OverTcp()) RemoveLink(impl_->options.linkPath);
  impl_->running = false;
}

bool Line::Running() const {
  return impl_->running;
}

std::string Line::SlavePath() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->slavePath;
}

std::vector<std::vector<uint8_t>> Line::ReceivedFrames() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->received.begin(), impl_->received.end()};
}

void Line::ClearReceived() {
  std::lock_guard lock(impl_->mutex);
  impl_->received.clear();
}

uint32_t Line::HangUps() const {
  return impl_->hangUps.load();
}

uint16_t Line::TcpPort() const {
  return impl_->listener.Port();
}

NetworkMode Line::Mode() const {
  return impl_->options.networkMode;  // fixed when the line is made
}

uint32_t Line::ClientRate() const {
  return impl_->lastRequestRate.load();
}

ComPortSettings Line::ComPort() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->comPort;
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = CalcCRC16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

}  // namespace k7104sim
