"""Whatever ends a tool or a test that started the demo service (its end, an exception, Ctrl+C, SIGTERM,
even SIGKILL), the service ends with it and its port is free for the next run. The tools (tools/figures,
the e2e tests, tools/demo-session.py) all start it through qiwa_e2e.DemoService, as the script here does."""
import os
import signal
import socket
import subprocess
import sys
import time
import unittest

import qiwa_e2e
from bench import current_lane

HERE = os.path.dirname(os.path.abspath(__file__))
# A tool in short: the service started, its process id told, then whatever `how` says.
TOOL = """
import sys, time
sys.path.insert(0, {here!r})
import qiwa_e2e
service = qiwa_e2e.DemoService({build!r}, lane={lane}).start()
print(service.process.pid, flush=True)
if {how!r} == "exception":
    raise RuntimeError("a failure in the middle of the run")
if {how!r} == "end":
    sys.exit(0)
time.sleep(600)
"""


def gone(pid):
    """True once the process has ended (a zombie no one reaped counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


def port_taken(host, port):
    try:
        with socket.create_connection((host, port), timeout=0.5):
            return True
    except OSError:
        return False


class CleanupTest(unittest.TestCase):
    def run_tool(self, how, ending=None):
        """Runs the tool until its service answers, ends it by the signal `ending` (or lets it end by
        itself), and returns the service's process id, address and the tool's exit code."""
        build = os.environ.get("QIWA_BUILD_DIR") or os.path.join(HERE, "..", "..", "build", "windows")
        lane = current_lane()
        # Ctrl+C as in a terminal, even where this test runs with SIGINT ignored (a background job).
        tool = subprocess.Popen([sys.executable, "-c", TOOL.format(here=HERE, build=build, lane=lane, how=how)],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        try:
            pid = int(tool.stdout.readline() or 0)
            if not pid:
                self.fail(f"the tool did not start the service: {tool.stderr.read()[-500:]}")
            address = qiwa_e2e.service_address(build, lane)
            if ending is not None:
                tool.send_signal(ending)
            code = tool.wait(30)
        finally:
            if tool.poll() is None:
                tool.kill()
                tool.wait()
            tool.stdout.close()
            tool.stderr.close()
        return pid, address, code

    def assert_service_ends(self, pid, address):
        deadline = time.monotonic() + 15
        while not gone(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertTrue(gone(pid), "the demo service outlived the tool that started it")
        self.assertFalse(port_taken(*address), f"{address} is still taken")

    def test_the_service_ends_with_the_tool_however_it_ends(self):
        for how, ending in (("end", None), ("exception", None), ("wait", signal.SIGINT), ("wait", signal.SIGTERM),
                            ("wait", signal.SIGHUP), ("wait", signal.SIGKILL)):
            with self.subTest(how=how, ending=ending):
                pid, address, code = self.run_tool(how, ending)
                self.assert_service_ends(pid, address)
                if ending in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP) or how == "exception":
                    self.assertNotEqual(code, 0, "an interrupted or failed run must not look like a success")


if __name__ == "__main__":
    unittest.main()
