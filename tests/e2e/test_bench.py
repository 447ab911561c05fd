"""The bench itself: what a program plays under Wine ends up in the captured audio file."""
import os
import unittest

import qiwa_e2e


class BenchTest(qiwa_e2e.ProgramTestCase):
    def test_waveout_is_captured(self):
        self.session.bench.capture_audio_to(os.path.join(self.session.bench.home, "beep.raw"))
        if os.path.exists(self.session.bench.audio_path):
            os.remove(self.session.bench.audio_path)
        answer = self.driver("beep", 300)
        self.assertTrue(answer["done"])
        # 16-bit mono 44.1 kHz; the device may pad or convert, never drop.
        self.assertGreaterEqual(self.session.audio_bytes(), answer["bytes"])

    def test_driver_reports_a_missing_window(self):
        answer = self.driver("window", check=False)
        self.assertFalse(answer["ok"])
        self.assertIn("no window", answer["error"])


if __name__ == "__main__":
    unittest.main()
