"""Start-up: QiwaMusic.exe opens its main window under Wine and the driver can read it."""
import unittest

import qiwa_e2e


class StartTest(qiwa_e2e.ProgramTestCase):
    def test_window_opens_with_its_title(self):
        self.launch()
        window = self.wait_window()
        self.wait_for(lambda: self.driver("window")["window"]["visible"], what="the window to show")
        self.assertEqual(self.driver("wait-title", "Qiwa音乐", 5000, check=False).get("title"), "Qiwa音乐")
        self.assertTrue(window["hwnd"])
        self.session.screenshot("start.png")

    def test_closing_the_window_ends_the_program(self):
        program = self.launch()
        self.wait_window()
        self.driver("close")
        self.assertEqual(program.wait_exit(15), 0, "the program did not end after WM_CLOSE")


if __name__ == "__main__":
    unittest.main()
