#!/usr/bin/python3
"""The far end for com-probe.exe, run under the modem shim: waits for the
probe's RTS (our CTS), raises its own RTS, answers "PING" with "PONG", and
lowers RTS when the probe lowers its own. Exits 0 when all that happened."""
import fcntl
import os
import select
import struct
import sys
import termios

TIOCM_RTS, TIOCM_CTS = 0x004, 0x020
TIOCMIWAIT = 0x545C


def lines(fd):
    return struct.unpack("i", fcntl.ioctl(fd, termios.TIOCMGET, struct.pack("i", 0)))[0]


def wait_cts(fd, high):
    while bool(lines(fd) & TIOCM_CTS) != high:
        fcntl.ioctl(fd, TIOCMIWAIT, TIOCM_CTS)


def set_rts(fd, high):
    request = termios.TIOCMBIS if high else termios.TIOCMBIC
    fcntl.ioctl(fd, request, struct.pack("i", TIOCM_RTS))


def main(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    attrs = termios.tcgetattr(fd)
    attrs[0] = attrs[1] = attrs[3] = 0
    attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    wait_cts(fd, True)
    set_rts(fd, True)
    got = b""
    while len(got) < 4:
        ready, _, _ = select.select([fd], [], [], 20)
        if not ready:
            print("far end: no PING, got %r" % got)
            return 1
        got += os.read(fd, 4 - len(got))
    if got != b"PING":
        print("far end: expected PING, got %r" % got)
        return 1
    os.write(fd, b"PONG")
    wait_cts(fd, False)
    set_rts(fd, False)
    print("far end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
