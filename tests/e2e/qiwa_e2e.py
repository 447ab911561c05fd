"""Helpers for the end-to-end tests: the bench, the program in a fresh run directory, the driver.

    class StartTest(qiwa_e2e.ProgramTestCase):
        def test_title(self):
            self.launch()                       # QiwaMusic.exe copied into a new run directory
            window = self.wait_window()         # the driver's "window" object
            self.assertEqual(window["title"], "Qiwa音乐")
            dump = self.driver("dump")          # every control, the list's columns and rows
"""
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from bench import Bench


class DriverError(AssertionError):
    def __init__(self, args, answer, code):
        super().__init__(f"driver {' '.join(args)} -> exit {code}: {answer}")
        self.answer = answer
        self.code = code


class Program:
    """QiwaMusic.exe (or another exe of the build) running in its own run directory."""

    def __init__(self, bench, exe_name, run_dir, env=None):
        self.bench = bench
        self.run_dir = run_dir
        self.exe = os.path.join(run_dir, exe_name)
        shutil.copy2(os.path.join(bench.build_dir, exe_name), self.exe)
        bench.capture_audio_to(os.path.join(run_dir, "audio.raw"))
        self.log = open(os.path.join(run_dir, "wine.log"), "wb")
        self.process = subprocess.Popen(["wine", self.exe], cwd=run_dir, env=bench.env(**(env or {})),
                                        stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=10):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def files(self):
        return sorted(os.listdir(self.run_dir))

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
        self.runs_dir = os.path.join(self.bench.build_dir, "e2e-runs")

    def start(self):
        for name in ("QiwaMusic.exe", "qiwa_driver.exe", "qiwa_probe.dll"):
            if not os.path.exists(os.path.join(self.bench.build_dir, name)):
                raise unittest.SkipTest(f"{name} is not built in {self.bench.build_dir}")
        self.bench.start()
        return self

    def launch(self, exe_name="QiwaMusic.exe", env=None):
        os.makedirs(self.runs_dir, exist_ok=True)
        run_dir = tempfile.mkdtemp(prefix="run-", dir=self.runs_dir)
        self.program = Program(self.bench, exe_name, run_dir, env)
        return self.program

    def driver(self, *args, check=True, timeout=60):
        """Runs one driver command; returns its JSON answer (raises DriverError if not ok and check)."""
        exe = os.path.join(self.bench.build_dir, "qiwa_driver.exe")
        env = self.bench.env(QIWA_DRIVER_TARGET=os.path.basename(self.program.exe) if self.program else
                             "QiwaMusic.exe")
        # A file, not a pipe: Wine's helper processes may inherit the pipe and keep it open.
        with tempfile.TemporaryFile() as out:
            done = subprocess.run(["wine", exe, *map(str, args)], env=env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            text = out.read().decode("utf-8", "replace").strip().splitlines()
        try:
            answer = json.loads(text[-1]) if text else {"ok": False, "error": "no output"}
        except json.JSONDecodeError:
            answer = {"ok": False, "error": "not JSON: " + text[-1]}
        if check and not answer.get("ok"):
            raise DriverError([str(a) for a in args], answer, done.returncode)
        return answer

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
    def launch(self, exe_name="QiwaMusic.exe", env=None):
        return self.session.launch(exe_name, env)

    def driver(self, *args, check=True):
        return self.session.driver(*args, check=check)

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

    def control(self, dump, name):
        """The control called `name` ("按钮1", "#3", ...) in a dump."""
        for c in dump["controls"]:
            if c["name"] == name or f"#{c['index']}" == name:
                return c
        self.fail(f"no control {name} in the window")
