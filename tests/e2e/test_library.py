"""The library's lists as a user meets them over two starts of the program: a damaged library file set
aside and said once, favourites made from the menu and by Ctrl+D and marked in their colour, a double
click that plays, 最近播放 and 本地歌曲 after a restart (the download and the user's own MP3), and
"从列表删除" of a local song that keeps its file on "否" and deletes it on "是"."""
import glob
import os
import re
import shutil

import qiwa_e2e
from test_play import PLAYING, PlayCase

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
LIBRARY = "QiwaMusic.library.txt"
TABS = ["搜索结果", "我的收藏", "最近播放", "本地歌曲"]
FAVOURITE_RGB = (0xD8, 0x2B, 0x5E)
VK_D = 0x44
IDYES, IDNO = 6, 7
SET_ASIDE = re.compile(r"^曲库文件有损坏，已读回能读的部分，原文件另存为 QiwaMusic\.library\.txt\.broken-\d{8}-\d{6}$")


class LibraryTest(PlayCase):
    def title(self):
        return self.driver("window")["window"]["title"]

    def list_control(self):
        return self.control(self.dump(), "超级列表框1")

    def titles(self):
        return [r[3] for r in self.rows()]

    def show_tab(self, name):
        """A click on the middle of the list's tab."""
        index = TABS.index(name)
        strip = self.driver("control", "lists")["control"]
        tab = strip["tabs"][index]
        self.driver("click-at", "lists", (tab["left"] + tab["width"] // 2) * 100 // strip["rect"]["width"])
        self.wait_for(lambda: self.driver("control", "lists")["control"]["tab"] == index, what=f"the tab {name}")

    def wait_titles(self, want, what):
        return self.wait_for(lambda: (lambda t: t if t == want else None)(self.titles()), what=what)

    def marked_rows(self):
        """The rows whose text is drawn in the favourites' colour, read from a screenshot of the list."""
        dump = self.dump()
        win, lst = dump["window"], self.control(dump, "超级列表框1")
        border = (win["rect"]["width"] - win["client"]["width"]) // 2
        client_left = win["rect"]["left"] + border
        client_top = win["rect"]["top"] + win["rect"]["height"] - win["client"]["height"] - border
        edge = 2  # WS_EX_CLIENTEDGE at 96 DPI
        list_left, list_top = client_left + lst["rect"]["left"] + edge, client_top + lst["rect"]["top"] + edge
        left = max(client_left, list_left)  # the ids' columns lie left of the window's client area
        width, height = list_left + lst["rect"]["width"] - 2 * edge - left, lst["rect"]["height"] - 2 * edge
        px = qiwa_e2e.pixels(self.session.screenshot("favourite-marks.png"), left, list_top, width, height)
        marked = []
        for i, row in enumerate(lst["rows"]):
            top, bottom = max(0, row["rect"]["top"]), min(height, row["rect"]["top"] + row["rect"]["height"])
            band = px[top * width:bottom * width]
            if sum(1 for p in band if qiwa_e2e.near(p, FAVOURITE_RGB)) >= 5:
                marked.append(i)
        return marked

    def remove_row(self, row, answer):
        """"从列表删除" on the row, answering the box that asks about the file."""
        self.driver("select-row", row)
        self.driver("rclick-list", row)
        self.driver("menu-choose", "从列表删除")
        box = self.driver("msgbox-press", answer)["msgbox"]
        self.assertIn("同时删除文件", box["text"])
        self.assertEqual(sorted(b["id"] for b in box["buttons"]), [2, 6, 7], "是, 否 and 取消")

    def test_favourites_history_and_local_songs_across_a_restart(self):
        kept = self.service.song("Let It Go")  # the one favourite the damaged file still holds
        damaged = ("QiwaMusic library 1\n"
                   "favourite\t1000\t0\tnetease\t" + "\t".join(qiwa_e2e.cells_of(kept)) + "\t\n"
                   "favourite\t\x01garbage\n").encode("utf-8")  # cut: no end line

        def prepare(run_dir):
            with open(os.path.join(run_dir, LIBRARY), "wb") as f:
                f.write(damaged)
            shutil.copy(os.path.join(DATA, "tone_low.mp3"), os.path.join(run_dir, "我的歌.mp3"))

        # The damaged file is set aside as it was, and the title says so.
        self.start(prepare=prepare)
        run_dir = self.session.program.run_dir
        self.wait_for(lambda: SET_ASIDE.match(self.title()), what="the title saying the library was set aside")
        aside = glob.glob(os.path.join(run_dir, LIBRARY + ".broken-*"))
        self.assertEqual(len(aside), 1, aside)
        with open(aside[0], "rb") as f:
            self.assertEqual(f.read(), damaged, "the damaged file is kept as it was")

        # Two favourites, from the menu and by Ctrl+D; 我的收藏 shows them newest first, all marked.
        self.search("", rows=20)
        found = self.titles()
        self.driver("select-row", 1)
        self.driver("rclick-list", 1)
        self.driver("menu-choose", "收藏\tCtrl+D")
        self.driver("select-row", 3)
        self.driver("ctrl-key", "超级列表框1", VK_D)
        favourites = [found[3], found[1], kept["title"]]
        self.show_tab("我的收藏")
        self.wait_titles(favourites, "the favourites, newest first")
        self.assertEqual(self.marked_rows(), [0, 1, 2], "every favourite is marked")
        self.show_tab("搜索结果")
        self.wait_titles(found, "the search's rows again")
        self.assertEqual(self.marked_rows(), [i for i, t in enumerate(found) if t in favourites],
                         "the favourites among the search's rows are marked, and only they")

        # A double click plays the row.
        self.driver("dblclick-list", 0)
        self.wait_title(PLAYING + found[0])
        self.wait_for(lambda: not glob.glob(os.path.join(run_dir, "*.part")), timeout=30, what="the download to end")
        downloaded = [f for f in os.listdir(run_dir) if f.endswith(".mp3") and f != "我的歌.mp3"]
        self.assertEqual(len(downloaded), 1, downloaded)
        self.driver("close")
        self.assertEqual(self.session.program.wait_exit(15), 0)

        # The next start: the message is not said again, and everything is there.
        self.launch(run_dir=run_dir)
        self.wait_window()
        self.show_tab("我的收藏")
        self.wait_titles(favourites, "the favourites after a restart")
        self.assertFalse(self.title().startswith("曲库"), "the damaged file is said once")
        self.assertEqual(len(glob.glob(os.path.join(run_dir, LIBRARY + ".broken-*"))), 1, "set aside once")
        self.show_tab("最近播放")
        played = self.wait_for(lambda: self.titles() or None, what="the songs played")
        self.assertEqual(played[0], found[0], "the song played is on top")
        self.show_tab("本地歌曲")
        local = self.wait_for(lambda: (lambda t: t if {"我的歌", found[0]} <= set(t) else None)(self.titles()),
                              what="the download and the user's own MP3 among the songs on disk")

        # "从列表删除": "否" keeps the file, "是" deletes it.
        self.remove_row(local.index("我的歌"), IDNO)
        self.wait_for(lambda: "我的歌" not in self.titles(), what="the user's song to leave the list")
        self.assertTrue(os.path.isfile(os.path.join(run_dir, "我的歌.mp3")), "否 deleted the user's file")
        self.remove_row(self.titles().index(found[0]), IDYES)
        self.wait_for(lambda: found[0] not in self.titles(), what="the downloaded song to leave the list")
        self.wait_for(lambda: not os.path.exists(os.path.join(run_dir, downloaded[0])), what="its file deleted")
        self.assertTrue(os.path.isfile(os.path.join(run_dir, "我的歌.mp3")))
        self.driver("close")
        self.assertEqual(self.session.program.wait_exit(15), 0)


if __name__ == "__main__":
    import unittest
    unittest.main()
