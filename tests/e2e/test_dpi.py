"""High DPI: at 144 DPI (Wine's LogPixels) the window, every control and the list's columns are 1.5 times
their 96-DPI size and the fonts lay text out 1.5 times as large; at 96 DPI the window is as the other
window tests see it. The prefix goes back to 96 DPI whatever happens."""
import subprocess
import unittest

import qiwa_e2e
from test_window import COLUMNS, CONTROLS

FONTS_KEY = r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"


class DpiTest(qiwa_e2e.ServiceTestCase):
    def set_dpi(self, dpi):
        self.session.bench.wine("reg", "add", FONTS_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f",
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def look(self, shot):
        """The window, the controls, the list's columns and the edit boxes' text metrics of a fresh start."""
        dump = self.start()
        self.driver("set-text", "编辑框1", "晴天晴天晴天")
        self.driver("set-text", "编辑框2", "第一行\r\n第二行\r\n")
        dump = self.dump()
        window = dump["window"]
        self.session.window_shot(shot, window["rect"])
        look = {"window": (window["rect"]["width"], window["rect"]["height"]),
                "controls": {c["name"]: c["rect"] for c in dump["controls"]},
                "columns": [c["width"] for c in self.control(dump, "超级列表框1")["columns"]],
                "search_text": self.driver("text-metrics", "编辑框1")["text_width"],
                "lyrics_line": self.driver("text-metrics", "编辑框2")["line_height"]}
        self.session.stop_program()
        return look

    def assert_scaled(self, big, small, what, factor=1.5, slack=1):
        self.assertLessEqual(abs(big - small * factor), slack, f"{what}: {big} at 144 DPI, {small} at 96")

    def test_at_144_dpi_everything_is_half_as_large_again(self):
        base = self.look("dpi-96.png")
        self.assertEqual(base["window"], (601, 760))
        for name, _, left, top, width, height, _ in CONTROLS:
            self.assertEqual(base["controls"][name], {"left": left, "top": top, "width": width, "height": height})
        self.assertEqual(base["columns"], [w for _, w in COLUMNS])
        self.set_dpi(144)
        try:
            big = self.look("dpi-144.png")
        finally:
            self.set_dpi(96)
        for k in (0, 1):
            self.assert_scaled(big["window"][k], base["window"][k], "the window")
        for name, rect in base["controls"].items():
            for key, value in rect.items():
                self.assert_scaled(big["controls"][name][key], value, f"{name} {key}")
        for k, (small, large) in enumerate(zip(base["columns"], big["columns"])):
            self.assert_scaled(large, small, f"column {k}")
        # Fonts: text laid out half as large again (a font's size only comes in whole pixels).
        self.assert_scaled(big["search_text"], base["search_text"], "text in 编辑框1", slack=base["search_text"] * 0.1)
        self.assert_scaled(big["lyrics_line"], base["lyrics_line"], "a line of 编辑框2", slack=2)


if __name__ == "__main__":
    unittest.main()
