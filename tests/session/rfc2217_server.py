#!/usr/bin/env python3
# pyserial's own RFC 2217 server (serial.rfc2217.PortManager) on one serial device, for one
# client at a time, on 127.0.0.1 and a free port, which it prints first. What the client sets
# is applied to the device by pyserial; bytes pass both ways. Ends when the client leaves.
import select
import socket
import sys
import termios

import serial
import serial.rfc2217



class Connection:
    """What PortManager writes its answers to."""

    def __init__(self, sock):
        self.sock = sock

    def write(self, data):
        self.sock.sendall(data)


class PtyDevice(serial.Serial):
    """The test's device is a pty, where pyserial raises on what a real port takes: the modem
    lines read as off, and a change the pty refuses (parity or 7 data bits alone) leaves the
    rest of the line as set."""

    cts = dsr = ri = cd = property(lambda self: False)

    def _reconfigure_port(self, force_update=False):
        try:
            super()._reconfigure_port(force_update)
        except termios.error:
            pass


device = PtyDevice(sys.argv[1], baudrate=115200, timeout=0)
listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.bind(("127.0.0.1", 0))
listener.listen(1)
print(listener.getsockname()[1], flush=True)
client, _ = listener.accept()
manager = serial.rfc2217.PortManager(device, Connection(client))
while True:
    readable, _, _ = select.select([client, device.fileno()], [], [], 0.05)
    if client in readable:
        data = client.recv(4096)
        if not data:
            break
        device.write(b"".join(manager.filter(data)))
    if device.fileno() in readable:
        client.sendall(b"".join(manager.escape(device.read(device.in_waiting or 1))))
