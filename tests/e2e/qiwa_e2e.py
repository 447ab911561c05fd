"""Helpers for the end-to-end tests: the bench, the program in a fresh run directory, the driver.

    class StartTest(qiwa_e2e.ProgramTestCase):
        def test_title(self):
            self.launch()                       # QiwaMusic.exe copied into a new run directory
            window = self.wait_window()         # the driver's "window" object
            self.assertEqual(window["title"], "Qiwa音乐")
            dump = self.driver("dump")          # every control, the list's columns and rows

    class SearchTest(qiwa_e2e.ServiceTestCase):
        service_fault = None                    # or a --fault mode of tools/demo-service
        def test_form(self):
            ...                                 # drive a search, then
            post = self.service.wait_request(lambda r: r.form.get("types") == "search")
            self.assertEqual(post.form["source"], "netease")
            self.assertEqual(post.header("User-Agent"), ...)
"""
import json
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from bench import LANE_PORT_STEP, Bench, current_lane, keep_until_exit, release, spawn


BIT_RATE = re.compile(r" \[\d+k\]$")


def bare_title(title):
    """A playing title without the bit rate the service said it gave: "当前播放音乐:晴天 [320k]" is
    "当前播放音乐:晴天"; other titles as they are."""
    return BIT_RATE.sub("", title or "")


def pixels(png, left, top, width, height):
    """The (r, g, b) pixels of a part of a picture file, row by row."""
    raw = subprocess.run(["convert", png, "-crop", f"{width}x{height}+{left}+{top}", "+repage", "-depth", "8",
                          "rgb:-"], check=True, capture_output=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]


def hex_rgb(text):
    """(r, g, b) of "#rrggbb"."""
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


def near(a, b, tolerance=40):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


class DriverError(AssertionError):
    def __init__(self, args, answer, code):
        super().__init__(f"driver {' '.join(args)} -> exit {code}: {answer}")
        self.answer = answer
        self.code = code


class Program:
    """QiwaMusic.exe (or another exe of the build) running in its own run directory."""

    def __init__(self, bench, exe_name, run_dir, env=None, args=()):
        self.bench = bench
        self.run_dir = run_dir
        self.exe = os.path.join(run_dir, exe_name)
        shutil.copy2(os.path.join(bench.build_dir, exe_name), self.exe)
        bench.capture_audio_to(os.path.join(run_dir, "audio.raw"))
        self.log = open(os.path.join(run_dir, "wine.log"), "wb")
        self.process = spawn(bench.command(self.exe, *args), cwd=run_dir, env=bench.env(**(env or {})),
                             stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=10):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def files(self):
        """The run directory's files, but for the bench's own (wine.log, the captured sound)."""
        return sorted(set(os.listdir(self.run_dir)) - self.bench.bench_files())

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait()
        self.log.close()


class Session:
    """A started bench plus the driver; one program at a time."""

    def __init__(self, build_dir=None):
        self.bench = Bench(build_dir)
        self.program = None
        # A folder of its own per lane: a test that checks what appeared beside its run directory does
        # not see another lane's.
        self.runs_dir = os.path.join(self.bench.build_dir,
                                     "e2e-runs" + (f"-lane{self.bench.lane}" if self.bench.lane else ""))

    def start(self):
        for name in ("QiwaMusic.exe", "qiwa_driver.exe", "qiwa_probe.dll"):
            if not os.path.exists(os.path.join(self.bench.build_dir, name)):
                raise unittest.SkipTest(f"{name} is not built in {self.bench.build_dir}")
        self.bench.start()
        return self

    def launch(self, exe_name="QiwaMusic.exe", env=None, run_dir=None, prepare=None, args=None, plays_on=False):
        """Starts the exe in a new run directory (or again in run_dir); prepare(run_dir) runs first.
        Outside lane 0 the program is told its lane's service (--service), unless args are given. Unless
        plays_on, a new run directory's settings stop the sound with each song, as the tests of one play
        at a time expect; the queue's own tests let it play on."""
        os.makedirs(self.runs_dir, exist_ok=True)
        if not run_dir:
            run_dir = tempfile.mkdtemp(prefix="run-", dir=self.runs_dir)
            if not plays_on:
                with open(os.path.join(run_dir, "QiwaMusic.ini"), "w", encoding="utf-8") as f:
                    f.write("play.auto_next=0\n")
        if prepare:
            prepare(run_dir)
        if args is None:
            host, port = service_address(self.bench.build_dir, self.bench.lane)
            args = ["--service", f"{host}:{port}"] if self.bench.lane else []
        self.program = Program(self.bench, exe_name, run_dir, env, args)
        return self.program

    def driver(self, *args, check=True, timeout=60, env=None):
        """Runs one driver command (with env added to the bench's environment); returns its JSON answer
        (raises DriverError if not ok and check). A driver that printed nothing at all was not started
        by Wine (it happens about once in a few thousand starts on a busy machine): it runs once more."""
        exe = os.path.join(self.bench.build_dir, "qiwa_driver.exe")
        env = self.bench.env(QIWA_DRIVER_TARGET=os.path.basename(self.program.exe) if self.program else
                             "QiwaMusic.exe", **(env or {}))
        for attempt in range(2):
            code, text, errors = self._run_driver(exe, args, env, timeout)
            if text or attempt:
                break
            print(f"driver {' '.join(map(str, args))}: no output (exit {code}), once more; stderr: {errors[-300:]!r}",
                  file=sys.stderr)
        try:
            answer = json.loads(text[-1]) if text else {"ok": False, "error": "no output", "stderr": errors[-500:]}
        except json.JSONDecodeError:
            answer = {"ok": False, "error": "not JSON: " + text[-1]}
        if check and not answer.get("ok"):
            raise DriverError([str(a) for a in args], answer, code)
        return answer

    def _run_driver(self, exe, args, env, timeout):
        # Files, not pipes: Wine's helper processes may inherit a pipe and keep it open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(self.bench.command(exe, *args), env=env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return (done.returncode, out.read().decode("utf-8", "replace").strip().splitlines(),
                    err.read().decode("utf-8", "replace"))

    def watch(self, *args, until=lambda: False, timeout=60):
        """Runs a driver command that prints a JSON line at each change it sees (watch-selection) and
        returns [(time.monotonic() when the line came, line)], read as they come, until the driver ends,
        until() is true (looked at every 50 ms) or timeout s have passed; the driver is then ended."""
        exe = os.path.join(self.bench.build_dir, "qiwa_driver.exe")
        env = self.bench.env(QIWA_DRIVER_TARGET=os.path.basename(self.program.exe) if self.program else
                             "QiwaMusic.exe")
        process = spawn(self.bench.command(exe, *args), env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
        seen, pending, deadline = [], b"", time.monotonic() + timeout
        try:
            while time.monotonic() < deadline and not until():
                if not select.select([process.stdout], [], [], 0.05)[0]:
                    continue
                got = os.read(process.stdout.fileno(), 4096)
                at = time.monotonic()
                if not got:
                    break
                *lines, pending = (pending + got).split(b"\n")
                seen += [(at, json.loads(line)) for line in lines if line.strip()]
                if seen and "ok" in seen[-1][1]:
                    break  # the command's own last line
        finally:
            if process.poll() is None:
                process.kill()
            process.wait()
            process.stdout.close()
        return seen

    def wait_for(self, condition, timeout=10, interval=0.2, what="condition"):
        """Calls condition() until it returns a true value, which it returns; fails after timeout s."""
        deadline = time.time() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.time() > deadline:
                raise AssertionError(f"timed out after {timeout}s waiting for {what}")
            time.sleep(interval)

    def screenshot(self, name):
        path = os.path.join(self.program.run_dir if self.program else self.bench.build_dir, name)
        return self.bench.screenshot(path)

    def audio_bytes(self):
        return self.bench.audio_bytes()

    def capture(self):
        """The bench's Capture: the sound heard since the device was last opened, and when it was heard."""
        return self.bench.capture()

    def quiet_audio(self, timeout=60, quiet=2.0):
        """The captured sound's size once nothing has been heard for `quiet` s (the device takes sound at
        its real rate, so a playing song grows it every few ms); fails when it keeps growing."""
        last, since, deadline = self.audio_bytes(), time.monotonic(), time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(0.05)
            now = self.audio_bytes()
            if now != last:
                last, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return now
        raise AssertionError(f"the sound went on for {timeout} s")

    def window_shot(self, name, rect):
        """A screenshot cut to rect (the driver's {"left", "top", "width", "height"}, screen pixels)."""
        full = self.screenshot(name + ".full.png")
        out = os.path.join(os.path.dirname(full), name)
        w, h = rect["width"], rect["height"]
        subprocess.run(["convert", full, "-crop", f"{w}x{h}+{rect['left']}+{rect['top']}", "+repage", out],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.remove(full)
        return out

    def stop_program(self):
        if not self.program:
            return
        if self.program.running():
            self.driver("close", check=False)
            if self.program.wait_exit(5) is None:
                self.bench.wineserver("-k")
        self.program.kill()

    def stop(self):
        self.stop_program()
        self.bench.stop()


def id3_frames(path):
    """The text frames of a file's first ID3v2 tag as Debian's mid3v2 lists them: {"TIT2": "晴天",
    "TXXX:QIWA_SOURCE": "netease", ...}; {} when it has none."""
    out = subprocess.run(["mid3v2", "-l", path], capture_output=True, env=dict(os.environ, LANG="C.UTF-8"))
    frames = {}
    for line in out.stdout.decode("utf-8", "replace").splitlines()[1:]:
        key, _, value = line.partition("=")
        if key == "TXXX":
            description, _, value = value.partition("=")
            key = "TXXX:" + description
        frames.setdefault(key, value)
    return frames


def after_first_tag(data):
    """The bytes after the ID3v2 tag the data starts with (its size read from its own header): what a
    song file the program saved holds after the program's tag, the service's song as it came."""
    if len(data) < 10 or data[:3] != b"ID3":
        return data
    size = 10 + sum((b & 0x7F) << (7 * (3 - i)) for i, b in enumerate(data[6:10])) + (10 if data[5] & 0x10 else 0)
    return data[size:]


def song_audio(data):
    """A song's audio frames: without the ID3v2 tags it begins with and an ID3v1 tag at its end. The program
    puts its own tag in place of the service's once the song's cover and lyrics are known, so the song it
    saved and the song sent compare by these."""
    while data[:3] == b"ID3" and len(data) >= 10:
        data = after_first_tag(data)
    return data[:-128] if data[-128:-125] == b"TAG" else data


def saved_body(path):
    """The audio of a song the program saved (see song_audio); any other file whole, as it is."""
    with open(path, "rb") as f:
        data = f.read()
    return song_audio(data) if "TXXX:QIWA_SOURCE" in id3_frames(path) else data


def served_body(path):
    """The audio of a song file of the service's, to compare with saved_body."""
    with open(path, "rb") as f:
        return song_audio(f.read())


def cells_of(song, source="netease"):
    """The six cells a hit of a catalogue song gives in the list: its ids as their own characters (a null
    one empty), title, singers joined by "/", album (a null one empty; kugou leaves song 5's out)."""
    ids = song["ids"][source]
    album = "" if source == "kugou" and song["index"] == 5 else song["album"]
    return ["" if v is None else str(v) for v in (ids["url_id"], ids["pic_id"], ids["lyric_id"])] + \
        [song["title"], "/".join(song["artists"]), album or ""]


def service_address(build_dir, lane=0):
    """(host, port) of the demo service of a lane: the build's QIWA_SERVICE_HOST (from its CMakeCache.txt),
    whose port lane n moves by n * LANE_PORT_STEP."""
    value = "127.0.0.1:8765"
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8", errors="replace") as f:
            for line in f:
                m = re.match(r"QIWA_SERVICE_HOST(?::[A-Z]+)?=(.*)$", line.strip())
                if m:
                    value = m.group(1).strip()
                    break
    except OSError:
        pass
    host, _, port = value.rpartition(":") if ":" in value else (value, "", "80")
    return host, int(port) + lane * LANE_PORT_STEP


def free_port(host):
    """A port no one listens on now."""
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class Request:
    """One request the demo service received (a line of its log)."""

    def __init__(self, entry):
        self.entry = entry
        self.method = entry["method"]
        self.path = entry["path"]
        self.query = entry["query"]
        self.body = entry["body"]  # the raw form text, as sent
        self.fields = [tuple(kv) for kv in entry["form"]]  # decoded, in order, repeats kept
        self.form = {}
        for k, v in self.fields:
            self.form.setdefault(k, v)
        self.headers = [tuple(kv) for kv in entry["headers"]]
        self.scheme = entry.get("scheme", "http")  # "https": it came over the TLS listener

    def header(self, name, default=None):
        for k, v in self.headers:
            if k.lower() == name.lower():
                return v
        return default

    @property
    def api(self):
        return self.path == "/gqss/api.php"

    def __repr__(self):
        return f"<{self.method} {self.path}?{self.query} {self.body!r}>"


class DemoService:
    """tools/demo-service on the service address of the build and lane, with its request log in a file.
    It is stopped on every way out of this process (bench.keep_until_exit), and ends with it if killed."""

    def __init__(self, build_dir, fault=None, delay=None, throttle=None, lane=None, https=False, tone_seconds=None,
                 song_file=None):
        self.build_dir = build_dir
        self.served_file = song_file  # served for every song without a file fault
        self.tone_seconds = tone_seconds  # every tone song this long, in a catalogue of its own
        self.lane = current_lane() if lane is None else lane
        self.host, self.port = service_address(build_dir, self.lane)
        self.fault = fault
        self.delay = delay
        self.throttle = throttle  # bytes a second for every song
        self.https_port = free_port(self.host) if https else None  # its TLS listener, untrusted
        self.process = None
        self.log_path = None
        self.err = None

    def start(self):
        here = os.path.dirname(os.path.abspath(__file__))
        tool = os.path.join(here, "..", "..", "tools", "demo-service")
        folder = os.path.join(self.build_dir, "demo-service")
        os.makedirs(folder, exist_ok=True)
        self.log_path = os.path.join(folder, f"requests-{os.getpid()}-lane{self.lane}.jsonl")
        open(self.log_path, "w").close()
        if self._port_taken():
            raise AssertionError(f"{self.host}:{self.port} is already in use; configure the build with its own "
                                 "-DQIWA_SERVICE_HOST=127.0.0.1:<port>")
        cmd = [sys.executable, tool, "--host", self.host, "--port", str(self.port), "--log", self.log_path,
               "--catalogue", self.catalogue_dir]
        if self.tone_seconds:
            cmd += ["--tone-seconds", str(self.tone_seconds)]
        if self.served_file:
            cmd += ["--song-file", self.served_file]
        if self.fault:
            cmd += ["--fault", self.fault]
        if self.delay is not None:
            cmd += ["--delay", str(self.delay)]
        if self.throttle:
            cmd += ["--throttle", str(self.throttle)]
        if self.https_port:
            cmd += ["--https-port", str(self.https_port)]
        self.err = open(os.path.join(folder, f"service-lane{self.lane}.log"), "ab")
        self.process = spawn(cmd, stdin=subprocess.DEVNULL, stdout=self.err, stderr=self.err)
        keep_until_exit(self)
        deadline = time.time() + 300  # the first start makes the catalogue (sox, lame, convert)
        while not self._port_taken():
            if self.process.poll() is not None:
                code = self.process.returncode
                self.stop()
                raise AssertionError(f"demo-service ended with code {code}; see {self.err_path}")
            if time.time() > deadline:
                self.stop()
                raise AssertionError("demo-service did not start listening")
            time.sleep(0.1)
        return self

    def _port_taken(self):
        try:
            with socket.create_connection((self.host, self.port), timeout=0.5):
                return True
        except OSError:
            return False

    @property
    def err_path(self):
        return os.path.join(self.build_dir, "demo-service", f"service-lane{self.lane}.log")

    def stop(self):
        release(self)
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None
        if self.err:
            self.err.close()
            self.err = None

    def restart(self, fault=None, delay=None):
        """The service again with another --fault (None: none) and a fresh log."""
        self.stop()
        self.fault, self.delay = fault, delay
        return self.start()

    @property
    def url(self):
        return f"http://{self.host}:{self.port}"

    # -- the request log ----------------------------------------------------------------------
    def clear_log(self):
        open(self.log_path, "w").close()

    def requests(self, predicate=None):
        """Every request so far (oldest first) for which predicate(request) is true."""
        out = []
        with open(self.log_path, encoding="utf-8") as f:
            for line in f:
                if line.endswith("\n"):  # a line still being written is left for the next look
                    r = Request(json.loads(line))
                    if predicate is None or predicate(r):
                        out.append(r)
        return out

    def api_requests(self, types=None):
        """The api posts, optionally only those of one kind ("search", "url", "pic", "lyric")."""
        return self.requests(lambda r: r.api and (types is None or r.form.get("types") == types))

    def wait_request(self, predicate=None, timeout=15, count=1):
        """The count-th request matching predicate, waiting for it; fails after timeout s."""
        deadline = time.time() + timeout
        while True:
            found = self.requests(predicate)
            if len(found) >= count:
                return found[count - 1]
            if time.time() > deadline:
                raise AssertionError(f"the service saw {len(found)} of {count} wanted requests in {timeout}s: "
                                     f"{self.requests()[-5:]}")
            time.sleep(0.2)

    def catalogue(self):
        """The demo's songs as tools/demo-service --print-catalogue gives them."""
        if not hasattr(self, "_catalogue"):
            here = os.path.dirname(os.path.abspath(__file__))
            tool = os.path.join(here, "..", "..", "tools", "demo-service")
            out = subprocess.run([sys.executable, tool, "--print-catalogue"], check=True, capture_output=True)
            self._catalogue = json.loads(out.stdout.decode("utf-8"))
        return self._catalogue

    def song(self, title):
        for s in self.catalogue():
            if s["title"] == title:
                return s
        raise KeyError(title)

    @property
    def catalogue_dir(self):
        name = f"demo-catalogue-{self.tone_seconds}s" if self.tone_seconds else "demo-catalogue"
        return os.path.join(self.build_dir, name)

    def song_file(self, song):
        """The generated MP3 the service sends for a catalogue song."""
        return os.path.join(self.catalogue_dir, f"{song['index']}.mp3")


class ProgramTestCase(unittest.TestCase):
    """One bench per test class, one program per test. A test's run directory (wine.log,
    audio.raw, screenshots) is kept when the test fails, and removed when it passes."""

    session = None

    @classmethod
    def setUpClass(cls):
        cls.session = Session().start()

    @classmethod
    def tearDownClass(cls):
        if cls.session:
            cls.session.stop()

    def tearDown(self):
        program = self.session.program
        self.session.stop_program()
        self.session.program = None
        if program and self._passed():
            shutil.rmtree(program.run_dir, ignore_errors=True)
        elif program:
            print(f"\nkept run directory {program.run_dir}")

    def _passed(self):
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result is None:
            return True
        failed = {id(t) for t, _ in result.failures + result.errors}
        return id(self) not in failed and getattr(outcome, "success", True)

    # Shortcuts -------------------------------------------------------------------------------
    def launch(self, exe_name="QiwaMusic.exe", env=None, run_dir=None, prepare=None, args=None, plays_on=False):
        return self.session.launch(exe_name, env, run_dir, prepare, args, plays_on)

    def driver(self, *args, check=True, env=None):
        return self.session.driver(*args, check=check, env=env)

    def wait_window(self, timeout=20):
        """The main window once it exists; SkipTest when the program ends cleanly without one."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            answer = self.driver("window", check=False)
            if answer.get("ok"):
                return answer["window"]
            if not self.session.program.running():
                code = self.session.program.process.returncode
                if code == 0:
                    raise unittest.SkipTest("the program ended without opening a window")
                self.fail(f"the program ended with code {code} before its window opened")
            time.sleep(0.3)
        self.fail(f"no window within {timeout}s")

    def wait_for(self, condition, timeout=10, what="condition"):
        return self.session.wait_for(condition, timeout=timeout, what=what)

    def dump(self):
        return self.driver("dump")

    def control(self, dump, name):
        """The control called `name` ("按钮1", "#3", ...) in a dump."""
        for c in dump["controls"]:
            if c["name"] == name or f"#{c['index']}" == name:
                return c
        self.fail(f"no control {name} in the window")


class ServiceTestCase(ProgramTestCase):
    """ProgramTestCase with the demo service running for the whole class on the build's address.
    Set service_fault (a --fault mode), service_delay and service_throttle (bytes a second for every
    song) in a subclass; self.service is the DemoService (its request log: requests(), api_requests(),
    wait_request(), clear_log())."""

    service_fault = None
    service_delay = None
    service_throttle = None
    service_https = False  # a TLS listener too, with a certificate no one trusts
    service_tone_seconds = None  # tone songs of this length (short ones keep a test of many songs short)
    service = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.service = DemoService(cls.session.bench.build_dir, cls.service_fault, cls.service_delay,
                                      cls.service_throttle, lane=cls.session.bench.lane,
                                      https=cls.service_https, tone_seconds=cls.service_tone_seconds).start()
        except BaseException:
            cls.session.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            super().tearDownClass()
        finally:
            if cls.service:
                cls.service.stop()

    def setUp(self):
        super().setUp()
        self.service.clear_log()

    # What a user does with the service ----------------------------------------------------------
    SOURCES = ("netease", "kugou", "tencent")  # the items of 组合框1, in order

    def start(self, prepare=None, plays_on=False):
        """The program launched and its window shown; returns the dump of the window."""
        self.launch(prepare=prepare, plays_on=plays_on)
        self.wait_window()
        self.wait_for(lambda: self.driver("window")["window"]["visible"], what="the window to show")
        return self.dump()

    def rows(self):
        """The cells of every row of 超级列表框1."""
        return [r["cells"] for r in self.control(self.dump(), "超级列表框1")["rows"]]

    def wait_rows(self, count, timeout=15):
        """The rows, once there are `count` of them (and no more after a short settle)."""
        rows = self.wait_for(lambda: (lambda r: r if len(r) >= count else None)(self.rows()), timeout=timeout,
                             what=f"{count} rows in the list")
        self.assertEqual(len(rows), count, "more rows than expected")
        return rows

    def search(self, words, source=0, by="button", rows=None):
        """Types the words, picks the source (index of 组合框1) and starts a search, by the button
        or Enter; waits for the answer's rows when `rows` (their number) is given. The service's
        search post is returned."""
        before = len(self.service.api_requests("search"))
        self.driver("select-combo", source)
        self.driver("type", "编辑框1", words)
        if by == "enter":
            self.driver("enter", "编辑框1")
        else:
            self.driver("click", "按钮1")
        post = self.service.wait_request(lambda r: r.api and r.form.get("types") == "search", count=before + 1)
        if rows is not None:
            self.wait_rows(rows)
        return post

    def play(self, row, via="menu"):
        """Selects the row and chooses "播放并下载" from the list's menu (or presses 按钮3)."""
        self.driver("select-row", row)
        if via == "menu":
            menu = self.driver("rclick-list", row)
            self.assertIn("播放并下载", [i["text"] for i in menu["menu"]["items"]])
            self.driver("menu-choose", "播放并下载")
        else:
            self.driver("click", "按钮3")

    def wait_title(self, title, timeout=20, exact=False):
        """Waits for the window's title; unless exact, a playing title may end in the bit rate given."""
        if exact or not title.startswith("当前播放音乐:"):  # the driver's wait sees a passing title too
            answer = self.driver("wait-title", title, int(timeout * 1000), check=False)
            self.assertTrue(answer.get("ok"), f"the title stayed {answer.get('title')!r}, not {title!r} ({answer})")
            return answer
        seen = []

        def now():
            seen.append(self.driver("window", check=False).get("window", {}).get("title"))
            return bare_title(seen[-1]) == title
        try:
            self.wait_for(now, timeout=timeout, what=f"the title {title!r}")
        except AssertionError:
            self.fail(f"the title stayed {seen[-1]!r}, not {title!r}")
        return {"ok": True, "title": seen[-1]}
