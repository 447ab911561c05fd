#!/usr/bin/env python3
"""The Wine test bench: an Xvfb display of its own, the build folder's Wine prefix (32- or 64-bit,
as the build folder's programs are), a Chinese locale and a HOME whose ALSA default device is a sound
device with a clock (sink/clock_sink.c): it takes sound at the real rate and writes what it hears into a
capture file, with marks that tell when each sample was heard (Capture reads both).

Lanes: tests that run side by side each take a lane (ctest's resource group "lanes", or QIWA_LANE), and a
lane has its own prefix (a copy of lane 0's), HOME, display and demo-service port. Everything the bench
starts is stopped on every way out: the end, an exception, Ctrl+C, SIGTERM or SIGHUP, and the death of
the process that started it.

    bench.py run [--build-dir DIR] [--own-display] -- PROGRAM.exe [ARGS...]
        runs one Windows program in the bench and exits with its code (tools/wine-run uses this)
    bench.py prefix [--build-dir DIR] [--lanes N]
        creates the prefixes of lanes 0 to N-1 (default 1) that are not there yet
    bench.py describe [--build-dir DIR]
        says which program the build folder's tests run, and under which Wine
"""
import argparse
import atexit
import bisect
import ctypes
import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import threading
import time

PREFIX_VERSION = "7"  # bump to rebuild prefixes made by an older bench
SCREEN = "1280x1152x24"  # room for the window at 144 DPI

# Chinese faces a program may ask for, all served by WenQuanYi Micro Hei through fontconfig.
CHINESE_FACES = ["SimSun", "NSimSun", "宋体", "新宋体", "SimHei", "黑体", "Microsoft YaHei", "微软雅黑"]
LINKED_FACES = ["Tahoma", "Microsoft Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI", "Arial"]

HERE = os.path.dirname(os.path.abspath(__file__))
SINK_SOURCE = os.path.join(HERE, "sink", "clock_sink.c")
SINK_RATE, SINK_CHANNELS = 44100, 2  # what the device takes; ALSA's plug converts what a program plays

ASOUNDRC = """pcm_type.qiwa_clock {{
  lib "{lib}"
}}
pcm.qiwa_sink {{
  type qiwa_clock
  file "{path}"
  marks "{path}.marks"
  rate {rate}
  channels {channels}
}}
pcm.!default {{
  type asym
  playback.pcm {{
    type plug
    slave.pcm "qiwa_sink"
  }}
  capture.pcm "null"
}}
"""

LANE_PORT_STEP = 100  # lane n's demo service listens on the build's port + n * this


# -- what must not outlive the bench --------------------------------------------------------------
_LIVE = []  # started things with a stop(), stopped newest first at exit


def keep_until_exit(thing):
    """stop() of `thing` runs when this process ends, however it ends, unless released before."""
    _LIVE.append(thing)


def release(thing):
    if thing in _LIVE:
        _LIVE.remove(thing)


@atexit.register
def _stop_all():
    while _LIVE:
        try:
            _LIVE.pop().stop()
        except Exception as e:  # the next one is still stopped
            print(f"bench: clean-up failed: {e}", file=sys.stderr)


def _interrupt(signum, frame):
    raise KeyboardInterrupt(f"signal {signum}")


def stop_on_signals():
    """SIGTERM and SIGHUP end this process as Ctrl+C does, so that `finally`, `with` and the exit's
    clean-up run. A handler set by the program itself is kept."""
    if threading.current_thread() is not threading.main_thread():
        return
    for sig in (signal.SIGTERM, signal.SIGHUP):
        if signal.getsignal(sig) in (signal.SIG_DFL, None):
            signal.signal(sig, _interrupt)


stop_on_signals()

_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    # In the child between fork and exec: the kernel sends it SIGTERM when its parent dies, even by SIGKILL.
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def spawn(cmd, **kw):
    """subprocess.Popen of a process that ends when this one does, even when this one is killed."""
    return subprocess.Popen(cmd, preexec_fn=_die_with_parent, **kw)


def current_lane():
    """The lane of this process: ctest's resource group "lanes" (id:N), else QIWA_LANE, else 0."""
    group = os.environ.get("CTEST_RESOURCE_GROUP_0_LANES", "")
    m = re.search(r"id:(\d+)", group)
    return int(m.group(1)) if m else int(os.environ.get("QIWA_LANE") or 0)


def sink_library(build_dir, arch):
    """The clocked sound device's ALSA plugin for Wine of this bitness, built when missing or older
    than its source (gcc, the ALSA headers; -m32 for the 32-bit Wine)."""
    out = os.path.join(build_dir, "bench-sink", f"libasound_module_pcm_qiwa_clock_{arch}.so")
    if os.path.exists(out) and os.path.getmtime(out) >= os.path.getmtime(SINK_SOURCE):
        return out
    os.makedirs(os.path.dirname(out), exist_ok=True)
    part = f"{out}.{os.getpid()}"
    done = subprocess.run(["cc", *(["-m32"] if arch == "win32" else []), "-O2", "-Wall", "-Wextra", "-Werror",
                           "-shared", "-fPIC", "-o", part, SINK_SOURCE, "-l:libasound.so.2"],
                          capture_output=True, text=True)
    if done.returncode:
        raise RuntimeError(f"the bench's sound device did not build (libasound2-dev missing?):\n{done.stderr}")
    os.replace(part, out)  # atomic: another lane may load it meanwhile
    return out


class Capture:
    """What the bench's sound device heard, and when. The capture file holds the samples in the order
    they were heard (the device's format: 16-bit little-endian, `rate` Hz, `channels` channels); frame n
    was heard at heard_at(n), in seconds of time.monotonic(). A new opening of the device starts both
    files afresh."""

    def __init__(self, path):
        self.path = path
        self.marks_path = path + ".marks"

    def _lines(self):
        try:
            with open(self.marks_path) as f:
                return [line.split() for line in f if line.endswith("\n")]
        except OSError:
            return []

    def format(self):
        """{"rate", "channels", "sample_bytes"} of the capture."""
        lines = self._lines()
        head = dict(zip(lines[0][0::2], lines[0][1::2])) if lines and lines[0][0] == "rate" else {}
        return {"rate": int(head.get("rate", SINK_RATE)), "channels": int(head.get("channels", SINK_CHANNELS)),
                "sample_bytes": 2}

    @property
    def frame_bytes(self):
        f = self.format()
        return f["channels"] * f["sample_bytes"]

    def pcm(self):
        """The samples heard so far, whole frames only."""
        try:
            with open(self.path, "rb") as f:
                data = f.read()
        except OSError:
            return b""
        return data[:len(data) - len(data) % self.frame_bytes]

    def frames(self):
        try:
            return os.path.getsize(self.path) // self.frame_bytes
        except OSError:
            return 0

    def marks(self):
        """[(frame, seconds)]: where the sound started again (the device started, resumed, or was fed
        again after it ran dry), and when."""
        fb = self.frame_bytes
        return [(int(a) // fb, int(b) / 1e9) for a, b, *_ in self._lines() if a.isdigit()]

    def heard_at(self, frame):
        """When frame `frame` was heard (time.monotonic() seconds); None if it has not been heard yet."""
        marks = self.marks()
        if not marks or frame < 0 or frame >= self.frames():
            return None
        i = bisect.bisect_right([f for f, _ in marks], frame) - 1
        start, at = marks[max(i, 0)]
        return at + (frame - start) / self.format()["rate"]

    def frame_at(self, moment):
        """The frame being heard at `moment` (time.monotonic() seconds): a fraction while it played,
        the next frame to be heard in a gap, None before the first sound."""
        marks, rate = self.marks(), self.format()["rate"]
        i = bisect.bisect_right([t for _, t in marks], moment) - 1
        if i < 0:
            return None
        start, at = marks[i]
        end = marks[i + 1][0] if i + 1 < len(marks) else self.frames()
        return min(start + (moment - at) * rate, end)

    def gaps(self, least=0.005):
        """[(frame, seconds)]: the silences longer than `least` s inside the sound, each before the frame
        that ended it (a pause, a device that ran dry, a stop and start)."""
        marks, rate, out = self.marks(), self.format()["rate"], []
        for (f0, t0), (f1, t1) in zip(marks, marks[1:]):
            silence = t1 - (t0 + (f1 - f0) / rate)
            if silence > least:
                out.append((f1, silence))
        return out


def default_build_dir():
    here = os.path.dirname(os.path.abspath(__file__))
    return os.environ.get("QIWA_BUILD_DIR") or os.path.join(here, "..", "..", "build", "windows")


# The Wine loader of each prefix kind. Debian's "wine" runs 32-bit programs; wine64 is not on PATH there.
LOADERS = {"win32": ["wine"], "win64": ["wine64", "/usr/lib/wine/wine64", "/usr/lib64/wine/wine64"]}


def build_arch(build_dir):
    """"win32" or "win64": the bitness of a build folder's programs, from its CMakeCache.txt."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("QIWA_WINE_ARCH:"):
                    return line.split("=", 1)[1].strip() or "win32"
    except OSError:
        pass
    return "win32"


def loader(arch):
    """The command that runs Windows programs of that bitness."""
    for candidate in LOADERS[arch]:
        found = shutil.which(candidate)
        if found:
            return found
    raise RuntimeError(f"no Wine loader for {arch}: install " + ("wine32:i386" if arch == "win32" else "wine64"))


def describe(build_dir):
    """One line that says which program a run tests, e.g. for the logs of tools/test."""
    arch = build_arch(build_dir)
    bits = "32-bit" if arch == "win32" else "64-bit"
    return f"{bits} QiwaMusic.exe of {os.path.relpath(build_dir)} under {os.path.basename(loader(arch))}"


def registry_text():
    lines = ["Windows Registry Editor Version 5.00", "",
             r"[HKEY_CURRENT_USER\Software\Wine\Drivers]", '"Audio"="alsa"', "",
             # Xvfb runs no window manager: Wine then draws the title bars and frames itself.
             r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]", '"Decorated"="N"', "",
             r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]"]
    lines += [f'"{face}"="WenQuanYi Micro Hei"' for face in CHINESE_FACES]
    lines += ["", r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]"]
    lines += [f'"{face}"=hex(7):' + ",".join(f"{b:02x}" for b in "wqy-microhei.ttc,WenQuanYi Micro Hei\0\0"
                                                 .encode("utf-16-le")) for face in LINKED_FACES]
    return "\r\n".join(lines) + "\r\n"


class Bench:
    """One user of a lane's prefix at a time; start() takes the lock, stop() frees it."""

    def __init__(self, build_dir=None, own_display=True, lane=None):
        self.build_dir = os.path.abspath(build_dir or default_build_dir())
        self.arch = build_arch(self.build_dir)
        self.lane = current_lane() if lane is None else lane
        suffix = f"-lane{self.lane}" if self.lane else ""
        self.prefix = os.path.join(self.build_dir, "wine-prefix" + suffix)
        self.home = os.path.join(self.build_dir, "wine-home" + suffix)
        self.own_display = own_display or not os.environ.get("DISPLAY")
        self.display = None
        self.xvfb = None
        self.lock = None
        self.audio_path = os.path.join(self.home, "audio.raw")

    # -- environment --------------------------------------------------------------------------
    def env(self, **extra):
        env = dict(os.environ)
        # QIWA_WINEDEBUG passes Wine's debug channels through when looking into a failure.
        env.update(WINEPREFIX=self.prefix, WINEDEBUG=os.environ.get("QIWA_WINEDEBUG", "-all"), LANG="zh_CN.UTF-8", LC_ALL="zh_CN.UTF-8",
                   HOME=self.home, WINEARCH=self.arch, WINELOADER=loader(self.arch),
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        if self.display:
            env["DISPLAY"] = self.display
        env.update(extra)
        return env

    def command(self, *args):
        """The command line that runs a Windows program (and its arguments) in this bench."""
        return [loader(self.arch), *map(str, args)]

    def wine(self, *args, **kw):
        return subprocess.run(self.command(*args), env=self.env(), preexec_fn=_die_with_parent, **kw)

    def wineserver(self, *args):
        subprocess.run(["wineserver", *args], env=self.env(), check=False)

    def capture_audio_to(self, path):
        """Later openings of the sound device in this bench capture to `path` (and `path`.marks); an
        earlier capture there is removed, so that nothing is read from it before the device opens."""
        self.audio_path = os.path.abspath(path)
        for old in (self.audio_path, self.audio_path + ".marks"):
            if os.path.exists(old):
                os.remove(old)
        config = ASOUNDRC.format(lib=sink_library(self.build_dir, self.arch), path=self.audio_path, rate=SINK_RATE,
                                 channels=SINK_CHANNELS)
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write(config)

    def capture(self):
        """The Capture of what the device heard since it was last opened."""
        return Capture(self.audio_path)

    # -- life cycle ---------------------------------------------------------------------------
    def start(self):
        os.makedirs(self.home, exist_ok=True)
        self.lock = open(self.prefix + ".lock", "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        keep_until_exit(self)
        try:
            self.capture_audio_to(self.audio_path)
            self._start_display()
            self.ensure_prefix()
        except BaseException:
            self.stop()
            raise
        return self

    def _start_display(self):
        if not self.own_display:
            self.display = os.environ["DISPLAY"]
            return
        # Xvfb picks a free display itself and says which once it takes connections: two lanes starting
        # at once never pick the same.
        ready, told = os.pipe()
        try:
            self.xvfb = spawn(["Xvfb", "-displayfd", str(told), "-screen", "0", SCREEN, "-nolisten", "tcp"],
                              pass_fds=(told,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(told)
            told = None
            number, deadline = b"", time.monotonic() + 20
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                if select.select([ready], [], [], 0.2)[0]:
                    got = os.read(ready, 16)
                    if not got:
                        break
                    number += got
        finally:
            os.close(ready)
            if told is not None:
                os.close(told)
        if not number.strip().isdigit():
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def _current(self, prefix):
        try:
            with open(os.path.join(prefix, ".qiwa-bench")) as f:
                return f.read() == f"{PREFIX_VERSION} {self.arch}"
        except OSError:
            return False

    def _copy_first_lane(self):
        """Makes this lane's prefix a copy of lane 0's, if that one is ready: a second of copying instead of
        a minute of wineboot. Lane 0's lock is held meanwhile, so that no test changes it (a test may set
        another DPI for a while)."""
        first = os.path.join(self.build_dir, "wine-prefix")
        with open(first + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not self._current(first):
                return False
            shutil.copytree(first, self.prefix, symlinks=True)
            return True

    def ensure_prefix(self):
        if self._current(self.prefix):
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        if self.lane and self._copy_first_lane():
            return
        marker = os.path.join(self.prefix, ".qiwa-bench")
        self.wine("wineboot", "-i", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        reg = self.prefix + ".reg"
        with open(reg, "w", encoding="utf-16") as f:
            f.write(registry_text())
        self.wine("regedit", "/S", reg, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        # Wine's own Marlett draws the caption buttons; this Wine does not find it in its data folder.
        marlett = "/usr/share/wine/fonts/marlett.ttf"
        if os.path.exists(marlett):
            shutil.copy2(marlett, os.path.join(self.prefix, "drive_c", "windows", "Fonts"))
        # Fonts and drivers are read when the server starts.
        self.wineserver("-k")
        self.wineserver("-w")
        with open(marker, "w") as f:
            f.write(f"{PREFIX_VERSION} {self.arch}")

    def stop(self):
        release(self)
        if self.lock and os.path.isdir(self.prefix):
            self.wineserver("-k")
            self.wineserver("-w")
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        self.display = None
        if self.lock:
            self.lock.close()
            self.lock = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # -- observation --------------------------------------------------------------------------
    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def audio_bytes(self):
        try:
            return os.path.getsize(self.audio_path)
        except OSError:
            return 0

    def bench_files(self):
        """The names of the files the bench itself keeps in a run directory."""
        return {"wine.log", os.path.basename(self.audio_path), os.path.basename(self.audio_path) + ".marks"}


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("action", choices=["run", "prefix", "describe"])
    ap.add_argument("--build-dir")
    ap.add_argument("--own-display", action="store_true", help="use a new Xvfb even when $DISPLAY is set")
    ap.add_argument("--lanes", type=int, default=1, help="prefix: how many lanes to prepare")
    cut = argv.index("--") if "--" in argv else len(argv)
    a = ap.parse_args(argv[:cut])
    program = argv[cut + 1:]
    build_dir = a.build_dir
    if not build_dir and program and os.environ.get("QIWA_BUILD_DIR") is None:
        build_dir = os.path.dirname(os.path.abspath(program[0]))
    if a.action == "describe":
        print(describe(os.path.abspath(build_dir or default_build_dir())))
        return 0
    if a.action == "prefix":
        for lane in range(a.lanes):
            with Bench(build_dir, lane=lane):
                pass
        return 0
    with Bench(build_dir, own_display=a.own_display) as bench:
        if not program:
            ap.error("run needs a program")
        return bench.wine(*program).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
