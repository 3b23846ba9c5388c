#!/usr/bin/env python3
"""Runs Windows test programs under Wine against pseudo-terminals whose device end it plays.

    run_under_wine.py PROGRAM.exe [PROGRAM.exe ...]

A private Wine prefix is made in a temporary folder (and removed at the end), COM1 and COM2 are
mapped to two pseudo-terminals through HKLM\\Software\\Wine\\Ports (COM3 to a device that does
not exist), and every program is run in turn with MV62_DEVICE_END=1. A program asks for the device end by printing a line

    @device PORT COMMAND [ARGUMENT]

and reads one answer line, "ok [VALUE]" or "error TEXT", on its standard input. Commands:
    settings        the pty's line settings by tcgetattr: speed=BAUD csize=N cstopb=0|1
                    parenb= crtscts= ixon= ixoff= icanon= echo= opost= (0 or 1 each)
    send HEX        the device sends these bytes ("-" for none)
    received N      the next N bytes the device got from the port, as HEX (fewer after 5 s)
    hold            the device stops reading, so the port's output backs up
    hangup          the device end closes its side of the line
All other output of a program is passed through. The exit code is 0 when every program passed.
"""
import os
import pty
import shutil
import subprocess
import sys
import tempfile
import termios
import threading
import time

ARRIVAL_LIMIT_S = 5.0  # how long "received" waits; only reached when something is broken
PROGRAM_LIMIT_S = 300.0  # a program that runs longer is stopped and fails
ABSENT_PORT = ("COM3", "/dev/mv62-absent-port")  # a port whose device is not there

SPEEDS = {getattr(termios, "B%d" % b): b for b in (
    0, 50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600,
    115200, 230400, 460800, 921600) if hasattr(termios, "B%d" % b)}
SIZES = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}


def find_tool(*names):
    for name in names:
        path = shutil.which(name) or (name if os.path.isabs(name) and os.access(name, os.X_OK) else None)
        if path:
            return path
    sys.exit("error: %s not found; install Debian's wine64 package (./test --windows does)" % names[0])


class DeviceEnd:
    """The master side of one pseudo-terminal, with everything the port sent collected."""

    def __init__(self, port):
        self.port = port
        self.master, self.slave = pty.openpty()
        # The slave stays open here too, so the line exists while the program opens and closes it.
        self.path = os.ttyname(self.slave)
        self.got = bytearray()
        self.cond = threading.Condition()
        self.open = True
        self.reading = threading.Event()
        self.reading.set()
        self.reader = threading.Thread(target=self._collect, daemon=True)
        self.reader.start()

    def _collect(self):
        import select
        while self.open:
            if not self.reading.wait(0.1):
                continue
            try:
                ready, _, _ = select.select([self.master], [], [], 0.1)
                if not ready:
                    continue
                data = os.read(self.master, 4096)
            except (OSError, ValueError):
                return
            with self.cond:
                self.got += data
                self.cond.notify_all()

    def handle(self, command, argument):
        if not self.open:
            return "error the device end of %s is closed" % self.port
        if command == "settings":
            attrs = termios.tcgetattr(self.master)
            iflag, oflag, cflag, lflag = attrs[0], attrs[1], attrs[2], attrs[3]
            flags = {
                "speed": SPEEDS.get(attrs[5], -1),
                "csize": SIZES.get(cflag & termios.CSIZE, -1),
                "cstopb": cflag & termios.CSTOPB, "parenb": cflag & termios.PARENB,
                "crtscts": cflag & termios.CRTSCTS, "ixon": iflag & termios.IXON,
                "ixoff": iflag & termios.IXOFF, "icanon": lflag & termios.ICANON,
                "echo": lflag & termios.ECHO, "opost": oflag & termios.OPOST,
            }
            return "ok " + " ".join("%s=%d" % (k, v if k in ("speed", "csize") else int(v != 0))
                                    for k, v in flags.items())
        if command == "send":
            data = bytes.fromhex("" if argument == "-" else argument)
            view = memoryview(data)
            while view:
                view = view[os.write(self.master, view):]
            return "ok"
        if command == "received":
            n = int(argument)
            deadline = time.monotonic() + ARRIVAL_LIMIT_S
            with self.cond:
                while len(self.got) < n and time.monotonic() < deadline:
                    self.cond.wait(max(0.0, deadline - time.monotonic()))
                taken = bytes(self.got[:n])
                del self.got[:n]
            return "ok " + (taken.hex() or "-")
        if command == "hold":
            self.reading.clear()
            return "ok"
        if command == "hangup":
            self.close()
            return "ok"
        return "error unknown command " + command

    def close(self):
        if self.open:
            self.open = False
            self.reader.join()
            os.close(self.master)
            os.close(self.slave)


def wine_environment(prefix):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("MV62_COM") and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG="-all",
               # No .NET or browser engine to install, no menu entries, no desktop.
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    return env


def make_prefix(wine, wineserver, env, work, devices):
    """A fresh prefix whose COM ports are the given devices; the server restarts to take them."""
    reg = os.path.join(work, "mv62-ports.reg")
    with open(reg, "w", encoding="ascii") as f:
        f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n")
        for port, path in [(d.port, d.path) for d in devices] + [ABSENT_PORT]:
            f.write('"%s"="%s"\n' % (port, path))
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    subprocess.run([wine, "reg", "import", "Z:" + reg.replace("/", "\\")], env=env, check=True, timeout=PROGRAM_LIMIT_S, **quiet)
    subprocess.run([wineserver, "-k"], env=env, timeout=60, **quiet)
    subprocess.run([wineserver, "-w"], env=env, timeout=60, **quiet)
    # Started here, the server's own messages stay out of the programs' output; it goes away by
    # itself a few seconds after the last program (should this runner be killed).
    subprocess.run([wineserver, "-p5"], env=env, timeout=60, **quiet)


def run_program(wine, env, exe, devices):
    by_port = {d.port: d for d in devices}
    proc = subprocess.Popen([wine, exe, "--gtest_color=no"], env=dict(env, MV62_DEVICE_END="1"),
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=os.path.dirname(exe))
    timer = threading.Timer(PROGRAM_LIMIT_S, proc.kill)
    timer.start()
    try:
        for raw in proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            if not line.startswith("@device "):
                print(line, flush=True)
                continue
            parts = line.split(" ", 3)
            device = by_port.get(parts[1]) if len(parts) > 2 else None
            answer = (device.handle(parts[2], parts[3] if len(parts) > 3 else "")
                      if device else "error no device end for " + line)
            proc.stdin.write((answer + "\n").encode("ascii"))
            proc.stdin.flush()
        return proc.wait() == 0 and timer.is_alive()
    finally:
        timer.cancel()


def main(programs):
    if not programs:
        sys.exit(__doc__)
    wine = find_tool("wine64", "/usr/lib/wine/wine64", "wine")
    wineserver = find_tool("wineserver", "/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver")
    work = tempfile.mkdtemp(prefix="mv62-wine-")
    env = wine_environment(os.path.join(work, "prefix"))
    started = time.monotonic()
    results = []
    devices = []
    try:
        devices = [DeviceEnd("COM1"), DeviceEnd("COM2")]
        make_prefix(wine, wineserver, env, work, devices)
        prefix_s = time.monotonic() - started
        print("wine prefix ready in %.1f s (COM1 = %s, COM2 = %s)"
              % (prefix_s, devices[0].path, devices[1].path), flush=True)
        for exe in programs:
            t = time.monotonic()
            ok = run_program(wine, env, os.path.abspath(exe), devices)
            results.append((os.path.basename(exe), ok, time.monotonic() - t))
    finally:
        for d in devices:
            d.close()
        subprocess.run([wineserver, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)
    for name, ok, seconds in results:
        print("%-28s %s  %.1f s" % (name, "passed" if ok else "FAILED", seconds))
    passed = sum(ok for _, ok, _ in results)
    print("%.1f s in all, fresh prefix included" % (time.monotonic() - started))
    print("wine: %d passed, %d failed" % (passed, len(results) - passed))
    return 0 if passed == len(programs) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
