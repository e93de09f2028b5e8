#!/usr/bin/python3
"""An RFC 2217 serial server made of pyserial's own rfc2217.PortManager, in front of a serial
device (the simulator's pseudo-terminal), as pyserial's example redirector does it: one client at
a time on 127.0.0.1. Prints "port N" once it listens, then "settings RATE BITS PARITY STOP" each
time a client has set the serial port: after its flow control, which clients send last.

A pseudo-terminal has no parity and no modem lines, and Linux refuses to change PARENB on one: so
the server keeps the settings and the control lines itself, as the UART of a serial server would
take them, gives the terminal the rate alone and reports the modem lines as off."""

import logging
import socket
import sys
import threading

import serial
import serial.rfc2217


class Connection:
    """The socket as PortManager writes to it: whole writes, from two threads."""

    def __init__(self, client):
        self.client = client
        self.lock = threading.Lock()

    def write(self, data):
        with self.lock:
            self.client.sendall(data)


class KeptSettings:
    """The terminal as PortManager's serial port, with the settings kept here."""

    SETTINGS = ("baudrate", "bytesize", "parity", "stopbits", "xonxoff", "rtscts")
    CONTROL = ("dtr", "rts", "break_condition", "cts", "dsr", "ri", "cd")

    def __init__(self, port):
        kept = {name: getattr(port, name) for name in self.SETTINGS}
        kept.update({name: False for name in self.CONTROL})
        object.__setattr__(self, "port", port)
        object.__setattr__(self, "kept", kept)

    def __getattr__(self, name):
        kept = object.__getattribute__(self, "kept")
        if name in kept:
            return kept[name]
        return getattr(object.__getattribute__(self, "port"), name)

    def __setattr__(self, name, value):
        if name not in self.kept:
            setattr(self.port, name, value)
            return
        if name == "baudrate":
            self.port.baudrate = value  # pyserial's ValueError for a rate it cannot make
        self.kept[name] = value


class FlowControlSeen(logging.Handler):
    """Notes PortManager's report that a client set the flow control."""

    def __init__(self):
        super().__init__(logging.INFO)
        self.seen = False

    def emit(self, record):
        if record.getMessage().startswith("changed flow control"):
            self.seen = True


def serve(device, client):
    port = KeptSettings(device)
    connection = Connection(client)
    logger = logging.getLogger("rfc2217.server")
    logger.setLevel(logging.INFO)
    logger.propagate = False
    flow_control = FlowControlSeen()
    logger.handlers = [flow_control]
    manager = serial.rfc2217.PortManager(port, connection, logger=logger)
    alive = threading.Event()
    alive.set()

    def line_to_client():
        while alive.is_set():
            data = port.read(port.in_waiting or 1)
            if data:
                try:
                    connection.write(b"".join(manager.escape(data)))
                except OSError:
                    break

    reader = threading.Thread(target=line_to_client, daemon=True)
    reader.start()
    try:
        while True:
            data = client.recv(1024)
            if not data:
                break
            port.write(b"".join(manager.filter(data)))
            if flow_control.seen:
                flow_control.seen = False
                print(f"settings {port.baudrate} {port.bytesize} {port.parity} {port.stopbits:g}",
                      flush=True)
    except OSError:
        pass
    finally:
        alive.clear()
        reader.join()
        client.close()


def main():
    port = serial.serial_for_url(sys.argv[1], do_not_open=True)
    port.timeout = 0.2  # so that the reader notices the end of a connection
    port.open()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    print("port", server.getsockname()[1], flush=True)
    while True:
        client, _ = server.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        serve(port, client)


if __name__ == "__main__":
    main()
