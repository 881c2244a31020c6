#!/usr/bin/python3
"""The far end of a COM port for the Windows build's serial tests under Wine.

It makes a pseudo-terminal pair with socat: end A is the COM port Wine opens
(registered in HKLM\\Software\\Wine\\Ports), end B is held here. Both ends run
under the modem-line shim, so the lines cross as on a null-modem cable. The
test drives this end over a TCP control connection, one command a line, one
answer a line:

  plug              make the pair (again) and open B          -> ok
  unplug            end the pair: the COM port disappears      -> ok
  line              the last line settings Wine gave end A     -> e.g. "300 8N2"
  cts               our CTS, i.e. the program's RTS            -> 0 or 1
  rts 0|1           our RTS, i.e. the program's CTS            -> ok
  send HEX          write bytes to the program                 -> ok
  take N MS         read up to N bytes within MS ms            -> HEX (maybe empty)
  burst N           write N bytes "ABC...Z" repeated           -> ok
  drain N MS        read up to N bytes within MS ms            -> the count

usage: win32_far_end.py LINK_DIR CONTROL_PORT SHIM_LOG
"""
import fcntl
import os
import select
import socket
import struct
import subprocess
import sys
import termios
import time

TIOCM_RTS, TIOCM_CTS = 0x004, 0x020


class FarEnd:
    def __init__(self, link_dir, shim_log):
        self.a = os.path.join(link_dir, "A")
        self.b = os.path.join(link_dir, "B")
        self.shim_log = shim_log
        self.socat = None
        self.fd = -1

    def plug(self):
        self.unplug()
        self.socat = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.a, "pty,raw,echo=0,link=" + self.b])
        deadline = time.monotonic() + 10
        while not (os.path.exists(self.a) and os.path.exists(self.b)):
            if time.monotonic() > deadline:
                return "socat made no pair"
            time.sleep(0.02)
        self.fd = os.open(self.b, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        attrs = termios.tcgetattr(self.fd)
        attrs[0] = attrs[1] = attrs[3] = 0
        attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)
        # A new pair may get the numbers, and so the lines, of the last one.
        return self.rts("0")

    def unplug(self):
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1
        if self.socat:
            self.socat.terminate()
            self.socat.wait()
            self.socat = None
        for link in (self.a, self.b):
            if os.path.lexists(link):
                os.unlink(link)
        return "ok"

    def line(self):
        last = "none"
        try:
            with open(self.shim_log) as log:
                for entry in log:
                    parts = entry.split()
                    if len(parts) >= 4 and parts[1] == "line" and \
                            os.path.basename(parts[0]) == "A":
                        last = parts[2] + " " + parts[3]
        except OSError:
            pass
        return last

    def modem(self):
        return struct.unpack("i", fcntl.ioctl(self.fd, termios.TIOCMGET, struct.pack("i", 0)))[0]

    def cts(self):
        return "1" if self.modem() & TIOCM_CTS else "0"

    def rts(self, high):
        request = termios.TIOCMBIS if high == "1" else termios.TIOCMBIC
        fcntl.ioctl(self.fd, request, struct.pack("i", TIOCM_RTS))
        return "ok"

    def send(self, data):
        data = bytes.fromhex(data)
        while data:
            select.select([], [self.fd], [], 5)
            data = data[os.write(self.fd, data):]
        return "ok"

    def burst(self, count):
        pattern = bytes(ord("A") + i % 26 for i in range(4096))
        left = int(count)
        while left > 0:
            chunk = pattern[:min(left, len(pattern))]
            self.send(chunk.hex())
            left -= len(chunk)
        return "ok"

    def drain(self, count, ms):
        got = 0
        deadline = time.monotonic() + int(ms) / 1000
        while got < int(count):
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    got += len(os.read(self.fd, min(65536, int(count) - got)))
                except BlockingIOError:
                    pass
        return str(got)

    def take(self, count, ms):
        got = b""
        deadline = time.monotonic() + int(ms) / 1000
        while len(got) < int(count):
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    got += os.read(self.fd, int(count) - len(got))
                except BlockingIOError:
                    pass
        return got.hex() or "-"


def serve(far, port):
    server = socket.create_server(("127.0.0.1", port))
    while True:
        connection, _ = server.accept()
        with connection, connection.makefile("rw", newline="\n") as stream:
            for request in stream:
                words = request.split()
                if not words:
                    continue
                try:
                    handler = getattr(far, words[0])
                    answer = handler(*words[1:])
                except Exception as error:  # the test shows what went wrong
                    answer = "error " + str(error).replace("\n", " ")
                stream.write(answer + "\n")
                stream.flush()


if __name__ == "__main__":
    far = FarEnd(sys.argv[1], sys.argv[3])
    try:
        serve(far, int(sys.argv[2]))
    finally:
        far.unplug()
