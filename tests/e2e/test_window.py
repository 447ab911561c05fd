"""The main window as the user finds it: its controls, the list, the source choices, the skin
library written at start, the list's menu and what an exit leaves in the run directory."""
import filecmp
import os
import shutil
import unittest

import qiwa_e2e

# (name, class, left, top, width, height, text), in the order the window keeps its controls.
CONTROLS = [
    ("选择框1", "Button", 472, 0, 120, 45, "软件退出后删除目录所有下载的音乐"),
    ("编辑框2", "Edit", 368, 248, 224, 424, ""),
    ("图片框1", "Static", 368, 48, 224, 192, ""),
    ("按钮4", "Button", 136, 637, 80, 32, "暂停播放"),
    ("按钮3", "Button", 1, 637, 103, 32, "播放并下载"),
    ("按钮2", "Button", 280, 637, 80, 32, "加载更多"),
    ("超级列表框1", "SysListView32", -150, 56, 510, 576, ""),
    ("组合框1", "ComboBox", 371, 14, 100, 20, "网易云"),
    ("按钮1", "Button", 278, 16, 80, 32, "搜索"),
    ("编辑框1", "Edit", 6, 12, 264, 40, ""),
]
COLUMNS = [("uid", 50), ("pid", 50), ("lid", 50), ("歌名", 150), ("歌手", 100), ("专辑", 100)]

# Window and control styles (winuser.h, commctrl.h).
WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU, WS_THICKFRAME, WS_CAPTION = 0x10000, 0x20000, 0x80000, 0x40000, 0xC00000
WS_VSCROLL, WS_DISABLED = 0x200000, 0x8000000
ES_MULTILINE, ES_READONLY = 0x4, 0x800
BS_TYPEMASK, BS_AUTOCHECKBOX = 0xF, 0x3
CBS_DROPDOWNLIST, CBS_SORT, CBS_TYPEMASK = 0x3, 0x100, 0x3
LVS_REPORT, LVS_TYPEMASK, LVS_SINGLESEL, LVS_SORTASCENDING, LVS_SORTDESCENDING = 0x1, 0x3, 0x4, 0x10, 0x20


def skin_library(build_dir):
    """The skin library DLL the build made and embedded in the program."""
    for root, dirs, files in os.walk(build_dir):
        dirs[:] = [d for d in dirs if not d.startswith(("wine-prefix", "wine-home", "e2e-runs", "demo-catalogue"))]
        if "QiwaSkin.dll" in files:
            return os.path.join(root, "QiwaSkin.dll")
    raise unittest.SkipTest("the skin library is not built")


# The strip below them: previous, play/pause, next, the mode, the lists, the volume, the seek bar and
# its time; all within the window's grown bottom.
STRIP = [
    ("previous", "Button", 4, 702, 56, 26, "上一首"),
    ("play_pause", "Button", 62, 702, 56, 26, "播放"),
    ("next", "Button", 120, 702, 56, 26, "下一首"),
    ("mode", "Button", 178, 702, 70, 26, "顺序播放"),
    ("lists", "SysTabControl32", 252, 702, 222, 26, ""),
    ("volume", "msctls_trackbar32", 478, 702, 114, 26, "音量"),
    ("seek", "msctls_trackbar32", 2, 676, 458, 24, "进度"),
    ("time", "Static", 462, 680, 130, 18, "0:00 / --:--"),
]


class MainWindowTest(qiwa_e2e.ServiceTestCase):
    def test_controls_in_order_with_their_places_texts_and_states(self):
        dump = self.start()
        controls = dump["controls"]
        self.assertEqual(len(controls), len(CONTROLS) + len(STRIP), [c["class"] for c in controls])
        for c, (name, cls, left, top, width, height, text) in zip(controls, CONTROLS + STRIP):
            with self.subTest(control=name):
                self.assertEqual(c["name"], name)
                self.assertEqual(c["class"].lower(), cls.lower())
                self.assertEqual(c["rect"], {"left": left, "top": top, "width": width, "height": height})
                self.assertEqual(c["text"], text)
                self.assertTrue(c["visible"])
                self.assertTrue(c["enabled"])
        by = {c["name"]: c for c in controls}
        self.assertEqual(by["选择框1"]["style"] & BS_TYPEMASK, BS_AUTOCHECKBOX)
        self.assertIs(by["选择框1"]["checked"], False, "the box starts unticked")
        lyrics = by["编辑框2"]["style"]
        self.assertTrue(lyrics & ES_MULTILINE and lyrics & ES_READONLY and lyrics & WS_VSCROLL, hex(lyrics))
        self.assertFalse(by["编辑框1"]["style"] & (ES_MULTILINE | ES_READONLY))
        combo = by["组合框1"]
        self.assertEqual(combo["style"] & CBS_TYPEMASK, CBS_DROPDOWNLIST, "not editable")
        self.assertFalse(combo["style"] & CBS_SORT, "not sorted")
        self.assertEqual(combo["items"], ["网易云", "酷狗音乐", "QQ音乐"])
        self.assertEqual(combo["selected"], 0)

    def test_list_has_six_columns_and_no_rows_and_hides_the_ids(self):
        dump = self.start()
        lst = self.control(dump, "超级列表框1")
        self.assertEqual([(c["text"], c["width"]) for c in lst["columns"]], COLUMNS)
        self.assertEqual(lst["rows"], [])
        style = lst["style"]
        self.assertEqual(style & LVS_TYPEMASK, LVS_REPORT)
        self.assertFalse(style & (LVS_SINGLESEL | LVS_SORTASCENDING | LVS_SORTDESCENDING), hex(style))
        # The three id columns (150 px) lie left of the client area: "歌名" starts at its left edge.
        self.assertEqual(lst["rect"]["left"] + sum(w for _, w in COLUMNS[:3]), 0)

    def test_title_and_frame(self):
        window = self.start()["window"]
        self.assertEqual(window["title"], "Qiwa音乐")
        self.assertEqual((window["rect"]["width"], window["rect"]["height"]), (601, 760))
        style = window["style"]
        self.assertTrue(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU and style & WS_MINIMIZEBOX)
        self.assertFalse(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), "the frame is fixed, with no maximize")

    def test_skin_library_written_at_every_start(self):
        image = skin_library(self.session.bench.build_dir)
        program = self.launch()
        self.wait_window()
        pf = os.path.join(program.run_dir, "pf.dll")
        self.wait_for(lambda: os.path.exists(pf), what="pf.dll")
        self.assertTrue(filecmp.cmp(pf, image, shallow=False), "pf.dll is not the embedded skin library")
        self.driver("close")
        self.assertEqual(program.wait_exit(15), 0)
        with open(pf, "wb") as f:
            f.write(b"not a library")
        program = self.launch(run_dir=program.run_dir)
        self.wait_window()
        self.assertTrue(filecmp.cmp(pf, image, shallow=False), "pf.dll was not rewritten at the next start")

    def test_pause_button_toggles_its_caption_with_no_song(self):
        self.start()
        for caption in ("继续播放", "暂停播放", "继续播放"):
            self.driver("click", "按钮4")
            self.wait_for(lambda: self.driver("control", "按钮4")["control"]["text"] == caption,
                          what=f"the caption {caption}")
        self.assertEqual(self.service.requests(), [], "the pause button asked the service")

    def test_right_click_on_the_list_shows_the_play_menu(self):
        dump = self.start()
        self.search("Tone", rows=20)
        for where in ("1", "empty"):
            with self.subTest(where=where):
                answer = self.driver("rclick-list", where)
                items = [(i["text"], i["enabled"], i["separator"]) for i in answer["menu"]["items"]]
                # The design's item first; then those of the rows (for a row only) and the settings.
                self.assertEqual(items[0], ("播放并下载", True, False))
                self.assertEqual(items[1], ("下载选中", where == "1", False))
                self.assertEqual(items[3], ("收藏\tCtrl+D", where == "1", False))
                self.assertEqual(items[-1], ("设置…", True, False))
                point, rect = answer["point"], answer["menu"]["rect"]
                self.assertLessEqual(abs(rect["left"] - point["x"]), 4, "the menu opens at the cursor")
                self.assertLessEqual(abs(rect["top"] - point["y"]), 4, "the menu opens at the cursor")
                self.driver("click", "编辑框1", "--mouse")  # dismissed: nothing happens
                self.wait_for(lambda: not self.driver("menu", check=False).get("ok"), what="the menu to close")
        self.assertEqual(self.service.api_requests("url"), [], "dismissing the menu played something")
        self.assertEqual(self.driver("window")["window"]["title"], "Qiwa音乐")


def plant(run_dir):
    """Files a user keeps next to the program, which no exit may delete."""
    for name, data in (("mine.mp3", b"my own song"), ("notes.txt", b"notes")):
        with open(os.path.join(run_dir, name), "wb") as f:
            f.write(data)
    os.mkdir(os.path.join(run_dir, "x.mp3"))
    with open(os.path.join(run_dir, "x.mp3", "inside.mp3"), "wb") as f:
        f.write(b"inside")


class ExitTest(qiwa_e2e.ServiceTestCase):
    KEPT = ["mine.mp3", "notes.txt", "x.mp3"]

    def play_one(self):
        self.search("Hello", rows=1)
        self.play(0)
        self.wait_title("当前播放音乐:Hello")
        path = os.path.join(self.session.program.run_dir, "Hello.mp3")
        self.assertTrue(os.path.isfile(path))
        return path

    def exit(self):
        program = self.session.program
        self.driver("close")
        self.assertEqual(program.wait_exit(15), 0)
        return program

    def assert_kept(self, run_dir):
        for name in self.KEPT:
            self.assertTrue(os.path.exists(os.path.join(run_dir, name)), f"{name} was deleted")
        self.assertTrue(os.path.isdir(os.path.join(run_dir, "x.mp3")))
        self.assertTrue(os.path.isfile(os.path.join(run_dir, "x.mp3", "inside.mp3")))
        with open(os.path.join(run_dir, "mine.mp3"), "rb") as f:
            self.assertEqual(f.read(), b"my own song")

    def test_unticked_box_deletes_nothing(self):
        self.start(prepare=plant)
        song = self.play_one()
        program = self.exit()
        self.assert_kept(program.run_dir)
        self.assertTrue(os.path.isfile(song), "the download was deleted with the box unticked")

    def test_ticked_box_spares_files_the_program_did_not_download(self):
        self.start(prepare=plant)
        self.assertTrue(self.driver("check", "选择框1")["checked"])
        program = self.exit()
        self.assert_kept(program.run_dir)


class ScreenshotTest(qiwa_e2e.ServiceTestCase):
    def test_window_with_rows_cover_and_lyrics(self):
        """Leaves docs/window.png: the window after a search and a play."""
        self.start()
        self.search("周杰伦", rows=2)
        self.play(0)
        self.wait_title("当前播放音乐:晴天")
        self.wait_for(lambda: self.control(self.dump(), "编辑框2")["text"].endswith("\r\n"), what="the lyrics")
        window = self.driver("window")["window"]
        shot = self.session.window_shot("window.png", window["rect"])
        docs = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")
        if os.environ.get("QIWA_UPDATE_SCREENSHOT"):
            os.makedirs(docs, exist_ok=True)
            shutil.copyfile(shot, os.path.join(docs, "window.png"))


if __name__ == "__main__":
    unittest.main()
