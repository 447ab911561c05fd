"""The lyrics on the desktop: turned on from the list's menu, a topmost window over the desktop that shows
the line being sung (its window text, as a screen reader reads it), follows the song, is empty between
songs, and is there again at the next start. Earlier/later (offered only while a song's lines show) move the
desktop line and the lyrics box's mark together, at once, also while paused."""
import os
import unittest

from test_play import PlayCase

DESKTOP = "QiwaDesktopLyrics"
MENU_ITEM = "桌面歌词\tCtrl+Alt+L"
EARLIER, LATER = "歌词提前 0.5 秒", "歌词推后 0.5 秒"
WS_EX_TOPMOST, WS_EX_LAYERED = 0x8, 0x80000
SUNG = ["晴天", "first line of 晴天", "chorus 0", "last line 0"]  # the demo song's lines, in time order


class DesktopLyricsTest(PlayCase):
    def desktop(self, wait_ms=0):
        answer = self.driver("top", DESKTOP, wait_ms, check=False)
        return answer["window"] if answer.get("ok") else None

    def menu(self):
        """The list's menu items, {text: enabled}, the menu closed again."""
        items = self.driver("rclick-list", 0)["menu"]["items"]
        self.driver("click", "编辑框1", "--mouse")  # dismissed: nothing happens
        self.wait_for(lambda: not self.driver("menu", check=False).get("ok"), what="the menu to close")
        return {i["text"]: i["enabled"] for i in items if i["text"]}

    def choose(self, item):
        self.driver("rclick-list", 0)
        self.driver("menu-choose", item)

    def shown(self):
        """The desktop's line, and the line marked in 编辑框2: the same, as both follow the song."""
        box = self.control(self.dump(), "编辑框2")
        begin, end = box["selection"]
        return self.desktop()["title"], box["text"][begin:end].strip()

    def test_the_line_follows_the_song_and_the_choice_is_kept(self):
        self.start()
        self.search("晴天", rows=1)
        self.assertIsNone(self.desktop(), "the desktop lyrics show before they were asked for")
        menu = self.menu()
        self.assertFalse(menu[EARLIER] or menu[LATER], "earlier/later offered with no song's lines showing")
        self.driver("rclick-list", 0)
        self.driver("menu-choose", MENU_ITEM)
        window = self.desktop(5000)
        self.assertIsNotNone(window, "no desktop lyrics window after the menu's item")
        self.assertEqual(window["exstyle"] & (WS_EX_TOPMOST | WS_EX_LAYERED), WS_EX_TOPMOST | WS_EX_LAYERED)
        self.assertEqual(window["title"], "", "between songs the desktop shows nothing")

        self.play(0)
        self.wait_for(lambda: (self.desktop() or {}).get("title"), what="a line on the desktop")
        self.driver("click", "按钮4")  # paused: the line holds while it is moved
        self.wait_for(lambda: self.driver("control", "按钮4")["control"]["text"] == "继续播放", what="the pause")
        self.driver("key", "按钮4", 0x25)  # Left: 5 s back, to the song's start
        start = (SUNG[0], SUNG[0])
        self.wait_for(lambda: self.shown() == start, what="the song's first line on the desktop and in the box")
        for _ in range(2):
            self.choose(EARLIER)
        self.assertEqual(self.shown(), (SUNG[1], SUNG[1]), "a second sooner did not show the line of 1 s in both")
        for _ in range(2):
            self.choose(LATER)
        self.assertEqual(self.shown(), start, "later by as much did not bring the first line back")
        self.driver("click", "按钮4")
        self.wait_for(lambda: (self.desktop() or {}).get("title") == "", timeout=20,
                      what="the desktop to be empty after the song")
        self.driver("close")
        self.assertEqual(self.session.program.wait_exit(15), 0)
        with open(os.path.join(self.session.program.run_dir, "QiwaMusic.ini"), encoding="utf-8") as f:
            self.assertIn("desktop_lyrics.on=1", f.read())
        self.launch(run_dir=self.session.program.run_dir)
        self.wait_window()
        self.assertIsNotNone(self.desktop(10000), "the desktop lyrics were not back at the next start")


if __name__ == "__main__":
    unittest.main()
