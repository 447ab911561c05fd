"""The bench itself: what a program plays under Wine is heard by the bench's sound device at its real
rate and ends up in the captured audio file, each sample no earlier than the device says it was heard;
the program talks to the service it is told with --service."""
import os
import time
import unittest

import qiwa_e2e

BEEP_MS = 1500


class BenchTest(qiwa_e2e.ProgramTestCase):
    def test_a_tone_is_heard_at_its_real_rate_and_when_the_device_says(self):
        bench = self.session.bench
        bench.capture_audio_to(os.path.join(bench.home, "beep.raw"))
        capture = bench.capture()
        # The beep runs in the driver; meanwhile the capture's growth is watched on this process's clock.
        grew = []  # (time.monotonic() just after, frames in the file)

        def look():
            frames = capture.frames()
            grew.append((time.monotonic(), frames))
            return False

        answer = self.session.watch("beep", BEEP_MS, until=look, timeout=60)[-1][1]
        self.assertTrue(answer["done"])
        # 16-bit mono 44.1 kHz in, 16-bit stereo 44.1 kHz heard: every sample of the tone, none dropped.
        self.assertEqual(capture.format(), {"rate": 44100, "channels": 2, "sample_bytes": 2})
        # The last samples are heard when the clock reaches them, a moment after the driver's answer.
        self.session.wait_for(lambda: capture.frames() >= answer["bytes"] // 2, timeout=5,
                              what="every sample of the tone in the capture")
        # Heard at the real rate: the file took at least the tone's length to fill (a device without a
        # clock fills it as fast as it is given the sound).
        moving = [at for at, frames in grew if 0 < frames < answer["bytes"] // 2]
        self.assertTrue(moving, "the sound was never seen arriving")
        self.assertGreaterEqual(max(moving) - min(moving), BEEP_MS / 1000 * 0.9 - 0.1,
                                "the tone was taken faster than it plays")
        # A sample is in the file only once it has been heard, by the device's own account.
        for at, frames in grew:
            if frames:
                self.assertLessEqual(capture.heard_at(frames - 1), at + 0.001, f"frame {frames - 1} early")
        self.assertGreaterEqual(capture.heard_at(capture.frames() - 1) - capture.heard_at(0),
                                BEEP_MS / 1000 * 0.95)

    def test_driver_reports_a_missing_window(self):
        answer = self.driver("window", check=False)
        self.assertFalse(answer["ok"])
        self.assertIn("no window", answer["error"])


class ServiceOptionTest(qiwa_e2e.ProgramTestCase):
    def test_the_program_asks_the_service_it_is_told(self):
        # A lane number no ctest lane has: a port of its own, not the one compiled in.
        service = qiwa_e2e.DemoService(self.session.bench.build_dir, lane=9).start()
        try:
            self.launch(args=["--service", f"{service.host}:{service.port}"])
            self.wait_window()
            self.driver("type", "编辑框1", "晴天")
            self.driver("click", "按钮1")
            post = service.wait_request(lambda r: r.api and r.form.get("types") == "search", timeout=30)
            self.assertEqual(post.form["name"], "晴天")
        finally:
            service.stop()

    def test_a_malformed_service_is_refused_with_a_message_and_nothing_starts(self):
        program = self.launch(args=["--service", "host:99999"], plays_on=True)  # no settings of the tests
        box = self.driver("msgbox-ok", 30000, check=False)
        self.assertTrue(box.get("ok"), f"no message box for the malformed option: {box}")
        self.assertEqual(box["msgbox"]["text"], '--service needs HOST[:PORT], such as 127.0.0.1:8765; got "host:99999"')
        self.assertEqual(program.wait_exit(15), 2)
        self.assertEqual(program.files(), ["QiwaMusic.exe"])


if __name__ == "__main__":
    unittest.main()
