#!/usr/bin/python3
"""The detail line as assistive technology reads it.

Starts the window for each case with COM 1 mapped to a missing device, a port
nobody serves, a held pseudo-terminal, or the simulated display playing up;
presses buttons through AT-SPI as a screen reader user would, and reads the
status line and the detail line back through AT-SPI. The same reason must
reach standard error.

Run inside a D-Bus session and an X server:
  dbus-run-session -- xvfb-run -a python3 detail_line_atspi.py PANTRIX SIMULATOR
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi

PANTRIX, SIMULATOR = sys.argv[1], sys.argv[2]
# A wait for the window ends at this, so that a broken case fails instead of hanging.
PATIENCE_S = 60

CONNECT = "COM-Port verbinden"
SEND_SETTINGS = "Einstellungen senden"
CANNOT_OPEN = "Kann COM-Port nicht öffnen!"
ACK_TIMEOUT = "Timeout während Warten auf Signal ACK!"
ACK_ERROR = "Uebertragungsfehler beim Senden von ACK!"
CONNECTED = "Gerät ist verbunden"
CONTACT_LOST = "Kontakt mit Gerät verloren!"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Simulator:
    def __init__(self, *switches):
        self.process = subprocess.Popen(
            [SIMULATOR, "--listen", "127.0.0.1:0", "--fast", *switches],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.process.stdout.readline()
        match = re.search(r"listening on [0-9.]+:(\d+)", line)
        if not match:
            raise RuntimeError("simulator did not start: " + line)
        self.address = "rfc2217://127.0.0.1:" + match.group(1)

    def stop(self):
        self.process.kill()
        self.process.wait()


class HeldPty:
    """A pseudo-terminal whose device another process holds open, without a lock."""

    def __init__(self):
        self.master, slave = os.openpty()
        self.path = os.ttyname(slave)
        os.close(slave)
        self.holder = subprocess.Popen(
            ["/usr/bin/python3", "-c",
             "import sys,time; f=open(sys.argv[1],'rb',buffering=0); print('open', flush=True); "
             "time.sleep(600)", self.path],
            stdout=subprocess.PIPE, text=True)
        # The holder says when it has the device; no race with its open.
        assert self.holder.stdout.readline().strip() == "open"
        self.address = self.path

    def stop(self):
        self.holder.kill()
        self.holder.wait()
        os.close(self.master)


def find(node, role, predicate=lambda n: True):
    try:
        if node.getRoleName() == role and predicate(node):
            return node
        for child in node:
            if child is not None:
                found = find(child, role, predicate)
                if found is not None:
                    return found
    except Exception:  # a node that went away while we looked
        return None
    return None


def status_bars(app):
    bars = []

    def walk(node):
        try:
            if node.getRoleName() == "status bar":
                bars.append(node)
            for child in node:
                if child is not None:
                    walk(child)
        except Exception:
            pass

    walk(app)
    return bars


def wait_for(condition, what):
    deadline = time.monotonic() + PATIENCE_S
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("gave up waiting for " + what)


class Window:
    def __init__(self, target):
        self.folder = tempfile.TemporaryDirectory()
        # A state file that chooses COM 1, the rest as a first start leaves it.
        with open(os.path.join(self.folder.name, "PANTRIX.sav"), "wb") as f:
            f.write(b"0\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n")
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                   PANTRIX_COM1=target, PANTRIX_PORTS_FILE=os.path.join(self.folder.name, "ports"),
                   ASAN_OPTIONS="detect_leaks=0")
        self.stderr = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([PANTRIX], cwd=self.folder.name, env=env,
                                        stderr=self.stderr)
        self.app = wait_for(self.find_app, "the window on the accessibility bus")
        wait_for(lambda: self.button(CONNECT), "the connect button")

    def find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                pass
        return None

    def button(self, name):
        return find(self.app, "push button", lambda n: n.name == name)

    def press(self, name):
        button = self.button(name)
        action = button.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("press", "Press", "click"):
                action.doAction(i)
                return
        raise AssertionError("no press action on " + name)

    def status(self):
        bars = status_bars(self.app)
        return bars[0].name.strip() if bars else ""

    def detail(self):
        bars = status_bars(self.app)
        return bars[1].name if len(bars) > 1 else ""

    def stderr_text(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=PATIENCE_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.folder.cleanup()


def run_case(name, target_factory, status, detail_pattern, then=None, after_status=None,
             after_pattern=None):
    target = target_factory()
    window = Window(target.address)
    try:
        window.press(CONNECT)
        wait_for(lambda: window.status() == status and window.detail(),
                 f"status {status!r} with a detail")
        if then:
            window.press(then)
            wait_for(lambda: window.status() == after_status and
                     re.search(after_pattern, window.detail()), f"{after_pattern!r} after {then}")
            detail_pattern = after_pattern
        detail = window.detail()
        if not re.search(detail_pattern, detail):
            raise AssertionError(f"detail line {detail!r} does not match {detail_pattern!r}")
        if name not in SUCCESSES:
            # Failures go to standard error too; the first line of the reason is enough.
            first = detail.splitlines()[0]
            wait_for(lambda: first in window.stderr_text(), "the reason on standard error")
        print(f"PASS {name}: {detail!r}")
    finally:
        window.close()
        target.stop()


class Nothing:
    def __init__(self, address):
        self.address = address

    def stop(self):
        pass


CASES = [
    ("missing device", lambda: Nothing("/dev/pantrix-no-such-port"), CANNOT_OPEN,
     r"(?s)/dev/pantrix-no-such-port.*Specified device not found.*There is no device"),
    ("nobody serves the port", lambda: Nothing(f"rfc2217://127.0.0.1:{free_port()}"),
     CANNOT_OPEN, r"(?s)Error 111.*Nothing accepts connections"),
    ("port held by another program", HeldPty, CANNOT_OPEN,
     r"held by python3 \(pid \d+\)"),
    ("silent display", lambda: Simulator("--silent"), ACK_TIMEOUT, r"No ACK within 3 s"),
    ("wrong answer", lambda: Simulator("--answer", "0x15"), ACK_ERROR,
     r"answered 15 hex instead of ACK"),
    ("server closes the connection", lambda: Simulator("--drop-after", "2"), CONTACT_LOST,
     r"ended: the COM port server rfc2217://127\.0\.0\.1:\d+ closed the connection"),
    ("connected", lambda: Simulator(), CONNECTED, r"The display answered ACK on COM1"),
    ("settings sent", lambda: Simulator(), CONNECTED, None, SEND_SETTINGS, CONNECTED,
     r"Settings sent and confirmed by the display, \d\d:\d\d:\d\d"),
    ("echo differs", lambda: Simulator("--corrupt-echo", "3"), CONNECTED, None, SEND_SETTINGS,
     CONNECTED, r"differs from what was sent at byte 4: sent (..) hex, received (?!\1)"),
]


SUCCESSES = {"connected", "settings sent"}


def main():
    wanted = sys.argv[3:]
    failures = 0
    for case in CASES:
        if wanted and case[0] not in wanted:
            continue
        try:
            run_case(*case)
        except Exception as error:  # report every case, then fail
            failures += 1
            print(f"FAIL {case[0]}: {error}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
