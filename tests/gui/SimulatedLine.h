// The simulated line a window test talks to, and the settings file that puts the window on it: on
// POSIX a pseudo-terminal that is the window's COM1; on Windows, which has no pseudo-terminal, a
// line over TCP on loopback that is the window's network line, as through a transparent server.
#pragma once

#include <QString>

#include "CommandSteps.h"
#include "modbus/Modbusunit.h"
#include "sim/Simulator.h"

namespace Steps {

// The options given, for a line the window can reach on this system.
inline k7104sim::LineOptions Reachable(k7104sim::LineOptions options = {}) {
#ifdef _WIN32
  options.tcpPort = 0;
#endif
  return options;
}

// For a test of rates: on Windows a line over TCP whose rate the window sets through RFC 2217, as
// it sets a serial port's.
inline k7104sim::LineOptions ReachableWithRates(k7104sim::LineOptions options = {}) {
#ifdef _WIN32
  options.networkMode = k7104sim::NetworkMode::Rfc2217;
#endif
  return Reachable(options);
}

// The settings file whose line is the simulated one, with the given reply timeout: its
// pseudo-terminal as COM1, or its port on loopback as the network line in the line's mode (RTU
// frames over TCP unless told otherwise; the window numbers the modes as the simulator does).
inline QString LineSettings(const k7104sim::Line& line, int waitTime = 1300) {
  if (line.TcpPort() == 0) return LineSettings(QString::fromStdString(line.SlavePath()), waitTime);
  return QString(
             "[SettingsPort]\nWaitTime=%1\n[Network]\nLine=1\nHost=127.0.0.1\nPort=%2\nMode=%3\n")
      .arg(waitTime)
      .arg(line.TcpPort())
      .arg(int(line.Mode()));
}

// How the window names the line in its questions: the COM port, or the server.
inline QString LineNamed(const k7104sim::Line& line) {
  return line.TcpPort() == 0 ? QString("COM1") : QString("127.0.0.1:%1").arg(line.TcpPort());
}

// What the window reports when it opens the line.
inline QString PortOpened(const k7104sim::Line& line) {
  if (line.TcpPort() == 0) return "Порт открыт.";
  return QString("Порт открыт. Сеть: 127.0.0.1:%1, RTU поверх TCP.").arg(line.TcpPort());
}

// Puts the channel itself on the line, as the port settings would: COM1 on its pseudo-terminal,
// or the network line to its port on loopback.
inline void PutOnLine(TModBus& bus, const k7104sim::Line& line) {
  if (line.TcpPort() == 0) {
    bus.SetPortDevice(0, line.SlavePath());
    bus.SetPortIndex(0);
    return;
  }
  TLineDescription network;
  network.Kind = TLineKind::Network;
  network.Host = "127.0.0.1";
  network.Port = line.TcpPort();
  network.Mode = static_cast<TNetworkMode>(line.Mode());
  bus.SetLine(network);
}

}  // namespace Steps
