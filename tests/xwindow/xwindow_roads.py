#!/usr/bin/env python3
"""The demo host in a real X server, driven as an operator drives it.

Starts Xvfb on a free display (it picks the number itself) with a small
window manager, runs the demo host there and drives it only through the X
server (xdotool's XTEST keys), then checks the outcome in the host's log
(the manager's actions, the host's messages, the focus as the host reports
it) and in screenshots taken from the X server.

Roads: a keyboard-only record under a typed name, its stop, a replay of it;
32 channels, all of them reachable; a filling device telling each channel
once. Without Xvfb, xdotool or ImageMagick's import the test is skipped
(exit code 77) with the reason, never passed.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


class Failure(Exception):
    pass


class XServer:
    def __init__(self, width=1600, height=900):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % (width, height), "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=":" + number, QT_QPA_PLATFORM="xcb")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm = None
        for wm in ("openbox", "matchbox-window-manager", "twm"):
            if shutil.which(wm):
                self.wm = subprocess.Popen([wm], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                break

    def xdo(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True, text=True, timeout=30).stdout.strip()

    def shot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=False, timeout=30)

    def close(self):
        for p in (self.wm, self.xvfb):
            if p:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()


class Host:
    TITLE = "Recorder toolbar demo host"

    def __init__(self, x, binary, folder, *args):
        self.x, self.folder = x, folder
        shutil.rmtree(folder, ignore_errors=True)  # the host appends to its log
        os.makedirs(folder)
        self.log = os.path.join(folder, "vrxrtb-host.log")
        self.output = open(os.path.join(folder, "host-output.txt"), "w")
        self.proc = subprocess.Popen([binary, "--trace-focus", "--output", folder] + list(args), env=x.env,
                                     stdout=self.output, stderr=subprocess.STDOUT)
        self.window = self.wait_for(lambda: x.xdo("search", "--onlyvisible", "--name", "^%s$" % self.TITLE).split("\n")[0],
                                    "the host's window")
        x.xdo("windowactivate", "--sync", self.window)
        self.wait_log(r"manager connection up", "the manager's connection")

    def wait_for(self, probe, what, seconds=20):
        end = time.time() + seconds
        while time.time() < end:
            if self.proc.poll() is not None:
                raise Failure("the host ended (%s) while waiting for %s" % (self.proc.returncode, what))
            found = probe()
            if found:
                return found
            time.sleep(0.1)
        raise Failure("no %s within %d s" % (what, seconds))

    def lines(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n").split(" ", 1)[-1] for line in f]
        except FileNotFoundError:
            return []

    def wait_log(self, pattern, what, seconds=20):
        return self.wait_for(lambda: next((m for m in map(re.compile(pattern).search, self.lines()) if m), None), what, seconds)

    def focus(self):
        found = [line[len("focus "):] for line in self.lines() if line.startswith("focus ")]
        return found[-1] if found else ""

    def focus_to(self, target, most=600):
        """Tabs on until the host reports the focus on `target` ("Channel 2 / Stop").
        A message box that comes up meanwhile takes the keys: it is answered
        and the main window activated again."""
        count = lambda: len([line for line in self.lines() if line.startswith("focus ")])
        deadline = time.time() + 90
        for _ in range(most):
            if self.focus() == target:
                return
            if time.time() > deadline:
                break
            active = self.x.xdo("getactivewindow")
            if active != self.window:
                if active:  # a box of the host's
                    self.press("Return")
                    time.sleep(0.3)
                # none active: the activation at start came before the
                # window manager had the window
                self.x.xdo("windowactivate", "--sync", self.window)
            before = count()
            self.x.xdo("key", "Tab")
            try:
                self.wait_for(lambda: count() > before or None, "a focus change", 5)
            except Failure:
                if self.proc.poll() is not None:
                    raise
                # the key went to a window that came up; the next turn sees it
        raise Failure("Tab never reached %s (last: %s)" % (target, self.focus()))

    def press(self, keys):
        self.x.xdo("key", keys)

    def dialog(self, title):
        """Waits for the dialog and makes it the active window (a message box
        may have come up over it)."""
        window = self.wait_for(lambda: self.x.xdo("search", "--onlyvisible", "--name", "^%s$" % title).split("\n")[0],
                               "the dialog " + title)
        self.x.xdo("windowactivate", "--sync", window)
        return window

    def back_to_window(self):
        """Answers the host's message boxes (they take the focus) and
        activates the main window again."""
        for _ in range(10):
            time.sleep(0.3)
            active = self.x.xdo("getactivewindow")
            if not active or active == self.window:
                break
            self.press("Return")
        self.x.xdo("windowactivate", "--sync", self.window)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.output.close()


def road_keyboard_record_and_replay(x, binary, out):
    host = Host(x, binary, os.path.join(out, "keyboard"))
    try:
        host.focus_to("Channel 2 / Record")
        host.press("space")
        host.dialog("Record parameters")
        host.press("ctrl+a")
        x.xdo("type", "--delay", "20", "Harbour watch")
        host.press("Return")
        host.wait_log(r"Channel2: recording (REC-\d+)", "the record")
        x.shot(os.path.join(host.folder, "01-recording.png"))
        time.sleep(1.5)
        x.xdo("windowactivate", "--sync", host.window)
        host.focus_to("Channel 2 / Stop")
        host.press("space")
        done = host.wait_log(r"Channel2: record (REC-\d+) \"([^\"]*)\" completed", "the record's end")
        record, stored = done.group(1), done.group(2)
        if stored != "Harbour watch":
            raise Failure("the record was stored as %r, not under the typed name" % stored)
        # The operator finds it by that name in the record selection and
        # takes it with the keyboard.
        host.focus_to("Channel 2 / Select record")
        host.press("space")
        host.dialog("Select a record")
        host.press("Home")
        for _ in range(20):
            if re.search(r"^current .* / Harbour watch$", "\n".join(host.lines()), re.M):
                break
            host.press("Down")
            time.sleep(0.2)
        else:
            raise Failure("the record selection lists no record named 'Harbour watch'")
        x.shot(os.path.join(host.folder, "02-record-selection.png"))
        host.press("Return")
        host.focus_to("Channel 2 / Replay once")
        host.press("space")
        host.wait_log(r"Channel2: StartReplay Dev2/%s" % record, "the replay of the record")
        x.shot(os.path.join(host.folder, "03-replaying.png"))
        host.focus_to("Channel 2 / Stop")
        host.press("space")
        host.wait_log(r"Channel2: StopReplay", "the replay's stop")
    finally:
        host.close()


def road_32_channels(x, binary, out):
    host = Host(x, binary, os.path.join(out, "channels32"), "--channels", "32")
    try:
        geometry = x.xdo("getwindowgeometry", "--shell", host.window)
        size = dict(line.split("=") for line in geometry.split("\n") if "=" in line)
        if int(size["WIDTH"]) > 1600 or int(size["HEIGHT"]) > 900:
            raise Failure("the window is %sx%s, larger than 1600x900" % (size["WIDTH"], size["HEIGHT"]))
        host.focus_to("Channel 32 / Record")
        host.press("space")
        host.wait_log(r"Channel32: record requested", "channel 32's record")
        x.shot(os.path.join(host.folder, "01-channel-32-recording.png"))
    finally:
        host.close()


def road_full_device(x, binary, out):
    # Channels 3 and 6 record on the small device; with 24 MiB free it is full
    # some 20 s after both started (long enough to start the second by
    # keyboard). Each channel hears of each event once, by name.
    host = Host(x, binary, os.path.join(out, "full-device"), "--channels", "6", "--small-device-free", "24")
    try:
        for channel in (3, 6):
            host.back_to_window()
            host.focus_to("Channel %d / Record" % channel)
            host.press("space")
            host.dialog("Record parameters")
            host.press("Return")
            host.wait_log(r"Channel%d: recording" % channel, "channel %d's record" % channel)
        host.wait_log(r"message Channel 6: .* is full", "channel 6's full device", 60)
        time.sleep(2)  # room for a repeat that must not come
        x.shot(os.path.join(host.folder, "01-full.png"))
        messages = sorted(line[len("message "):] for line in host.lines() if line.startswith("message "))
        expected = sorted("Channel %d: the recorder device Dev3 is %s" % (channel, event)
                          for channel in (3, 6) for event in ("almost full.", "full. The recording was stopped."))
        if messages != expected:
            raise Failure("the messages were %s, not once per event and channel" % messages)
    finally:
        host.close()


ROADS = {"keyboard": road_keyboard_record_and_replay, "channels32": road_32_channels, "full-device": road_full_device}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", required=True, help="the demo host program")
    parser.add_argument("--output", default=None, help="folder for logs and screenshots")
    parser.add_argument("roads", nargs="*", default=sorted(ROADS), help="roads to run (default: all)")
    args = parser.parse_args()
    missing = [tool for tool in ("Xvfb", "xdotool", "import") if not shutil.which(tool)]
    if missing:
        print("SKIPPED: no real window without %s (scripts/deps.sh installs them)" % ", ".join(missing))
        return SKIP
    out = args.output or tempfile.mkdtemp(prefix="xwindow-")
    failed = 0
    for name in args.roads:
        x = XServer()
        try:
            ROADS[name](x, args.host, out)
            print("== %s: ok" % name)
        except Failure as e:
            failed += 1
            print("== %s: FAILED: %s (logs and screenshots in %s)" % (name, e, out))
        finally:
            x.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
