#!/usr/bin/env python3
"""The Wine test bench: an Xvfb display of its own, the build folder's Wine prefix (32- or 64-bit,
as the build folder's programs are), a Chinese locale and a HOME whose ALSA configuration captures
everything played into a file.

    bench.py run [--build-dir DIR] [--own-display] -- PROGRAM.exe [ARGS...]
        runs one Windows program in the bench and exits with its code (tools/wine-run uses this)
    bench.py prefix [--build-dir DIR]
        creates the prefix if it is not there yet
    bench.py describe [--build-dir DIR]
        says which program the build folder's tests run, and under which Wine
"""
import argparse
import fcntl
import os
import shutil
import subprocess
import sys
import time

PREFIX_VERSION = "7"  # bump to rebuild prefixes made by an older bench
SCREEN = "1280x1152x24"  # room for the window at 144 DPI

# Chinese faces a program may ask for, all served by WenQuanYi Micro Hei through fontconfig.
CHINESE_FACES = ["SimSun", "NSimSun", "宋体", "新宋体", "SimHei", "黑体", "Microsoft YaHei", "微软雅黑"]
LINKED_FACES = ["Tahoma", "Microsoft Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI", "Arial"]

ASOUNDRC = """pcm.!default {{
  type file
  slave.pcm "null"
  file "{path}"
  format "raw"
}}
"""


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


def free_display():
    for n in range(100, 400):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            return n
    raise RuntimeError("no free X display number")


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
    """One user of the build folder's prefix at a time; start() takes the lock, stop() frees it."""

    def __init__(self, build_dir=None, own_display=True):
        self.build_dir = os.path.abspath(build_dir or default_build_dir())
        self.arch = build_arch(self.build_dir)
        self.prefix = os.path.join(self.build_dir, "wine-prefix")
        self.home = os.path.join(self.build_dir, "wine-home")
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
        return subprocess.run(self.command(*args), env=self.env(), **kw)

    def wineserver(self, *args):
        subprocess.run(["wineserver", *args], env=self.env(), check=False)

    def capture_audio_to(self, path):
        """Later ALSA opens in this bench write their raw PCM to `path`."""
        self.audio_path = os.path.abspath(path)
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write(ASOUNDRC.format(path=self.audio_path))

    # -- life cycle ---------------------------------------------------------------------------
    def start(self):
        os.makedirs(self.home, exist_ok=True)
        self.lock = open(self.prefix + ".lock", "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
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
        for _ in range(5):
            n = free_display()
            self.xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", SCREEN, "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 10
            while time.time() < deadline and self.xvfb.poll() is None:
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    self.display = f":{n}"
                    return
                time.sleep(0.05)
            self.xvfb.kill()
            self.xvfb.wait()
            self.xvfb = None
        raise RuntimeError("Xvfb did not start")

    def ensure_prefix(self):
        marker = os.path.join(self.prefix, ".qiwa-bench")
        if os.path.exists(marker):
            with open(marker) as f:
                if f.read() == f"{PREFIX_VERSION} {self.arch}":
                    return
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.wine("wineboot", "-i", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        reg = os.path.join(self.build_dir, "wine-bench.reg")
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


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("action", choices=["run", "prefix", "describe"])
    ap.add_argument("--build-dir")
    ap.add_argument("--own-display", action="store_true", help="use a new Xvfb even when $DISPLAY is set")
    cut = argv.index("--") if "--" in argv else len(argv)
    a = ap.parse_args(argv[:cut])
    program = argv[cut + 1:]
    build_dir = a.build_dir
    if not build_dir and program and os.environ.get("QIWA_BUILD_DIR") is None:
        build_dir = os.path.dirname(os.path.abspath(program[0]))
    if a.action == "describe":
        print(describe(os.path.abspath(build_dir or default_build_dir())))
        return 0
    with Bench(build_dir, own_display=a.own_display) as bench:
        if a.action == "prefix":
            return 0
        if not program:
            ap.error("run needs a program")
        return bench.wine(*program).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
