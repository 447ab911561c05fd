"""Our skin as the user sees it: the buttons in the skin's accent, the system's look when the skin
data is broken or no skin library can be had, and the copy beside the program used when pf.dll
cannot be written."""
import os
import shutil

import qiwa_e2e
from test_window import skin_library

ACCENT = qiwa_e2e.hex_rgb("#2F6BEA")  # skin/default.skin: button_face


class SkinTest(qiwa_e2e.ProgramTestCase):
    def button_colour(self, name):
        """The mean colour of a strip inside 按钮1, left of its caption."""
        dump = self.driver("dump")
        win, button = dump["window"], self.control(dump, "按钮1")["rect"]
        border = (win["rect"]["width"] - win["client"]["width"]) // 2
        left = win["rect"]["left"] + border + button["left"]
        top = win["rect"]["top"] + win["rect"]["height"] - win["client"]["height"] - border + button["top"]
        shot = self.session.screenshot(name)
        px = qiwa_e2e.pixels(shot, left + 6, top + button["height"] // 2 - 3, 8, 6)
        return tuple(sum(p[k] for p in px) // len(px) for k in range(3))

    def open(self, exe="QiwaMusic.exe", prepare=None):
        if not os.path.exists(os.path.join(self.session.bench.build_dir, exe)):
            self.skipTest(f"{exe} is not built")
        program = self.launch(exe, prepare=prepare)
        self.wait_window()
        self.wait_for(lambda: self.driver("window")["window"]["visible"], what="the window to show")
        return program

    def assert_whole_window(self):
        names = [c["name"] for c in self.driver("dump")["controls"]]
        for name in ("编辑框1", "按钮1", "组合框1", "超级列表框1", "按钮2", "按钮3", "按钮4", "图片框1", "编辑框2", "选择框1"):
            self.assertIn(name, names)

    def test_the_skin_paints_the_buttons_in_its_accent(self):
        self.open()
        colour = self.button_colour("skinned.png")
        self.assertTrue(qiwa_e2e.near(colour, ACCENT), f"按钮1 is {colour}, not the skin's accent")

    def test_broken_skin_data_leaves_the_systems_look_and_a_working_window(self):
        self.open("QiwaMusic_broken_skin.exe")
        colour = self.button_colour("unskinned.png")
        self.assertFalse(qiwa_e2e.near(colour, ACCENT), "broken skin data was applied")
        self.assert_whole_window()
        self.driver("type", "编辑框1", "晴天")
        self.assertEqual(self.driver("control", "编辑框1")["control"]["text"], "晴天")

    def test_unwritable_pf_dll_falls_back_to_the_copy_beside_the_program(self):
        image = skin_library(self.session.bench.build_dir)

        def beside(run_dir):
            os.mkdir(os.path.join(run_dir, "pf.dll"))  # a folder of that name: the file cannot be written
            shutil.copy2(image, os.path.join(run_dir, "SkinH_EL.dll"))

        self.open(prepare=beside)
        self.assertTrue(qiwa_e2e.near(self.button_colour("beside.png"), ACCENT), "the copy beside was not used")

    def test_no_usable_skin_library_still_shows_the_window(self):
        self.open(prepare=lambda run_dir: os.mkdir(os.path.join(run_dir, "pf.dll")))
        self.assertFalse(qiwa_e2e.near(self.button_colour("none.png"), ACCENT))
        self.assert_whole_window()


if __name__ == "__main__":
    import unittest

    unittest.main()
