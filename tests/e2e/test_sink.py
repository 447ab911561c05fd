"""The bench's sound device (sink/clock_sink.c) by itself, through ALSA as Wine uses it, without Wine: it
takes sound no faster than its rate, keeps exactly what was heard, drops what a stop cut off, and its marks
place every sample in time, a device that ran dry included; Capture reads it back. Each case runs in a
process of its own, whose HOME holds the bench's ALSA configuration."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

import bench

RATE = 44100
# A player in short: opens the default device (S16, stereo, 44.1 kHz, 50 ms of buffer) and plays the
# steps: ["tone", seconds], ["pause", seconds] (the device runs dry), ["drop"] or ["drain"]; without steps
# it only opens and closes the device, as a program probing the devices does.
PLAYER = r"""
import ctypes, json, math, struct, sys, time
alsa = ctypes.CDLL("libasound.so.2")
pcm = ctypes.c_void_p()
assert alsa.snd_pcm_open(ctypes.byref(pcm), b"default", 0, 0) == 0, "no device"
if sys.argv[1] == "[]":
    alsa.snd_pcm_close(pcm)
    print("{}")
    sys.exit(0)
assert alsa.snd_pcm_set_params(pcm, 2, 3, 2, 44100, 1, 50000) == 0, "no parameters"
times = {"opened": time.monotonic()}
for step in json.loads(sys.argv[1]):
    if step[0] == "tone":
        frames = int(step[1] * 44100)
        data = b"".join(struct.pack("<hh", v, v) for v in
                        (int(8000 * math.sin(2 * math.pi * 440 * i / 44100)) for i in range(frames)))
        done = 0
        while done < frames:
            n = alsa.snd_pcm_writei(pcm, data[done * 4:], frames - done)
            assert n > 0, f"write failed: {n}"
            done += n
    elif step[0] == "pause":
        time.sleep(step[1])
    else:
        getattr(alsa, "snd_pcm_" + step[0])(pcm)
    times[step[0]] = time.monotonic()
alsa.snd_pcm_close(pcm)
print(json.dumps(times))
"""


class SinkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.mkdtemp(prefix="sink-test-")
        build = os.environ.get("QIWA_BUILD_DIR") or os.path.join(bench.HERE, "..", "..", "build", "windows64")
        cls.lib = bench.sink_library(os.path.abspath(build), "win64")
        cls.capture = bench.Capture(os.path.join(cls.home, "audio.raw"))
        with open(os.path.join(cls.home, ".asoundrc"), "w") as f:
            f.write(bench.ASOUNDRC.format(lib=cls.lib, path=cls.capture.path, rate=RATE, channels=2))

    def play(self, *steps):
        out = subprocess.run([sys.executable, "-c", PLAYER, json.dumps(steps)], capture_output=True, text=True,
                             env=dict(os.environ, HOME=self.home), timeout=60)
        self.assertEqual(out.returncode, 0, out.stderr[-800:])
        return json.loads(out.stdout)

    def test_sound_is_taken_at_its_rate_and_heard_whole(self):
        times = self.play(["tone", 0.6], ["drain"])
        c = self.capture
        self.assertEqual(c.format(), {"rate": RATE, "channels": 2, "sample_bytes": 2})
        self.assertEqual(c.frames(), int(0.6 * RATE), "a sample was lost or made up")
        self.assertEqual(c.gaps(), [])
        # No faster than the rate: the drain returned once the last sample had been heard, and that was
        # 0.6 s after the first.
        first, last = c.heard_at(0), c.heard_at(c.frames() - 1)
        self.assertAlmostEqual(last - first, (c.frames() - 1) / RATE, places=6)
        self.assertGreaterEqual(times["drain"], last)
        self.assertGreaterEqual(times["drain"] - times["opened"], 0.6)
        self.assertLess(c.frame_at(first + 0.3) - 0.3 * RATE, 2)

    def test_a_device_that_runs_dry_marks_the_gap_and_goes_on(self):
        self.play(["tone", 0.2], ["pause", 0.4], ["tone", 0.2], ["drain"])
        c = self.capture
        self.assertEqual(c.frames(), 2 * int(0.2 * RATE), "a sample was lost or made up")
        gaps = c.gaps(0.05)
        self.assertEqual(len(gaps), 1, f"one gap, not {c.marks()}")
        at, silence = gaps[0]
        self.assertEqual(at, int(0.2 * RATE), "the gap is where the first tone ended")
        # The 0.4 s pause less what the buffer held: silence heard, placed by the marks.
        self.assertGreater(silence, 0.2)
        self.assertAlmostEqual(c.heard_at(at) - c.heard_at(at - 1), silence + 1 / RATE, places=6)
        self.assertEqual(c.frame_at(c.heard_at(at) - silence / 2), at, "in the gap: the next sample to be heard")

    def test_a_stop_drops_what_was_not_heard_yet(self):
        self.play(["tone", 0.3], ["drop"])
        # Written: 0.3 s; heard: what the 50 ms buffer had played by then, at most.
        self.assertLess(self.capture.frames(), 0.3 * RATE)
        self.assertEqual(len(self.capture.pcm()), self.capture.frames() * 4)

    def test_an_opening_that_does_not_play_keeps_the_last_capture(self):
        self.play(["tone", 0.1], ["drain"])
        heard, marks = self.capture.pcm(), self.capture.marks()
        self.play()
        self.assertEqual(self.capture.pcm(), heard)
        self.assertEqual(self.capture.marks(), marks)
        self.play(["tone", 0.05], ["drain"])
        self.assertEqual(self.capture.frames(), int(0.05 * RATE), "a playing opening starts afresh")


if __name__ == "__main__":
    unittest.main()
