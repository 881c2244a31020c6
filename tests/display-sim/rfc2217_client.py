"""Drives the simulated display through pyserial's RFC 2217 client.

Usage: rfc2217_client.py PORT
Prints one line per check and exits with status 1 at the first failure.
"""
import sys
import time

import serial

ACK = b"\x06"
ENQ = b"\x05"
SETTINGS = bytes.fromhex("1B5A4553314233433050 4F41303132563033 4B324E30444154313031 0D0A")
DEFAULT_BRIGHTNESS = bytes.fromhex("1B4854 0106080C1016273246 5A6EA0BEC8D2F0 0D0A")


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def read_reply(port, length):
    """Collects a reply as the configurator does: leading ENQ bytes are alive signals."""
    reply = b""
    while len(reply) < length:
        byte = port.read(1)
        if not byte:
            break
        if not reply and byte == ENQ:
            continue
        reply += byte
    return reply


def main():
    url = "rfc2217://127.0.0.1:%s" % sys.argv[1]
    port = serial.serial_for_url(url, do_not_open=True, baudrate=300, bytesize=8,
                                 parity="N", stopbits=2, timeout=3)
    port.rts = False
    port.dtr = False
    port.open()
    time.sleep(0.2)
    if port.in_waiting:
        fail("display sent %r while RTS was low" % port.read(port.in_waiting))
    print("ok: opened with RTS low, nothing received", flush=True)

    port.rts = True
    answer = port.read(1)
    if answer != ACK:
        fail("RTS high answered with %r" % answer)
    print("ok: RTS high answered with ACK", flush=True)

    times = []
    for _ in range(3):
        byte = port.read(1)
        if byte != ENQ:
            fail("expected ENQ, got %r" % byte)
        times.append(time.monotonic())
    gaps = [b - a for a, b in zip(times, times[1:])]
    if not all(0.3 <= gap <= 0.8 for gap in gaps):
        fail("ENQ gaps %r" % gaps)
    print("ok: ENQ every %s s" % ", ".join("%.2f" % gap for gap in gaps), flush=True)

    port.write(SETTINGS)
    echo = read_reply(port, len(SETTINGS))
    if echo != SETTINGS:
        fail("echo %s" % echo.hex())
    print("ok: settings telegram echoed", flush=True)

    port.write(b"\x1bYA\r\n")
    record = read_reply(port, 30)
    if record != SETTINGS:
        fail("read settings gave %s" % record.hex())
    print("ok: read-settings request answered with 30 bytes", flush=True)

    port.write(b"\x1bSt\r\n")
    record = read_reply(port, 21)
    if record != DEFAULT_BRIGHTNESS:
        fail("read brightness gave %s" % record.hex())
    print("ok: read-brightness request answered with 21 bytes", flush=True)

    port.rts = False
    port.close()


if __name__ == "__main__":
    main()
