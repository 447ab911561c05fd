#!/usr/bin/env python3
"""Runs QiwaMusic.exe under Wine for tools/demo, in the bench prefix of the build it was copied from.

With a display the program simply runs there until its window is closed. Without one it runs on
Xvfb: it searches for "晴天", plays the first hit, saves a screenshot of the window as
build/demo-window.png, prints the path and closes the program.

    demo-session.py BUILD_DIR RUN_DIR/QiwaMusic.exe
"""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from bench import Bench, spawn  # noqa: E402  (its import makes SIGTERM unwind like Ctrl+C)



def driver(bench, *args):
    with tempfile.TemporaryFile() as out:
        subprocess.run(bench.command(os.path.join(bench.build_dir, "qiwa_driver.exe"), *args), stdout=out,
                       stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=bench.env(), timeout=60)
        out.seek(0)
        lines = out.read().decode("utf-8", "replace").strip().splitlines()
    return lines[-1] if lines else ""


def headless_tour(bench, program):
    driver(bench, "wait-window", 30000)
    driver(bench, "type", "编辑框1", "晴天")
    driver(bench, "click", "按钮1")
    deadline = time.time() + 20
    while time.time() < deadline and '"rows":[{' not in driver(bench, "dump").replace(" ", ""):
        time.sleep(0.5)
    driver(bench, "select-row", 0)
    driver(bench, "rclick-list", 0)
    driver(bench, "menu-choose", "播放并下载")
    time.sleep(6)  # download, cover and lyrics
    shot = os.path.join(ROOT, "build", "demo-window.png")
    bench.screenshot(shot)
    print(f"no display: the program ran on Xvfb; its window is in {shot}")
    driver(bench, "close")
    program.wait(15)


def main():
    build, exe = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    headless = not os.environ.get("DISPLAY")
    with Bench(build, own_display=headless) as bench:
        program = spawn(bench.command(exe), cwd=os.path.dirname(exe), env=bench.env(),
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            if headless:
                headless_tour(bench, program)
            else:
                print("QiwaMusic is running; close its window to end the demo")
                program.wait()
        finally:
            if program.poll() is None:
                program.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
