"""What a user does with the program against the demo service, for the fault and soak tests.

    class FaultTest(qiwa_user.UserTestCase):
        def test_x(self):
            self.open_window()
            self.search_for("音调")                    # types, clicks 搜索, waits for the expected rows
            self.play_row(0, "音调 1")                 # 按钮3, waits for the playing title and the file
            self.assert_box("抱歉，当前歌曲下载失败！")  # the program's message, closed with OK
"""
import os
import subprocess

import qiwa_e2e

IDLE_TITLE = "Qiwa音乐"
PLAYING = "当前播放音乐:"
PARSE_FAILED = "抱歉，当前歌曲解析失败！"
DOWNLOAD_FAILED = "抱歉，当前歌曲下载失败！"
PAUSE, RESUME = "暂停播放", "继续播放"  # the captions of 按钮4
CRASH_SIGNS = ("Unhandled exception", "page fault on", "Unhandled page fault", "backtrace:")


class UserTestCase(qiwa_e2e.ServiceTestCase):
    """A ServiceTestCase that drives searches and plays and knows what the service answers."""

    def tearDown(self):
        try:
            super().tearDown()
        finally:
            if self.service.fault or self.service.delay is not None:
                self.service.restart()  # the next test meets a healthy service

    # The service ------------------------------------------------------------------------------
    def serve(self, fault=None, delay=None):
        """The service again with a --fault mode for every request of its kind (None: healthy)."""
        self.service.restart(fault, delay)

    def expected_hits(self, words, page=1):
        """The catalogue songs the service lists for words on a page, as the demo service picks them."""
        words = words.strip().lower()
        if words.startswith("fault:"):
            found = [s for s in self.service.catalogue() if s["fault"] == words[6:]]
        else:
            found = [s for s in self.service.catalogue() if s["fault"] is None and
                     all(w in " ".join([s["title"], s["album"] or ""] + s["artists"]).lower() for w in words.split())]
        return found[(page - 1) * 20:page * 20]

    @staticmethod
    def row_of(song, source="netease"):
        """The six cells a netease hit of this song fills: uid, pid, lid, title, singer, album."""
        return qiwa_e2e.cells_of(song, source)

    # The window -------------------------------------------------------------------------------
    def open_window(self):
        program = self.launch()
        self.wait_window()
        self.wait_for(lambda: self.driver("window")["window"]["visible"], what="the window to show")
        return program

    def title(self):
        """The window's title, without the bit rate a playing title ends in."""
        return qiwa_e2e.bare_title(self.driver("window")["window"]["title"])

    def caption(self, name):
        return self.driver("control", name)["control"]["text"]

    def list_rows(self):
        return [r["cells"] for r in self.driver("control", "超级列表框1")["control"]["rows"]]

    def wait_rows(self, rows, timeout=15, what="the rows"):
        """Waits until the list holds exactly `rows` (lists of cells)."""
        seen = []

        def same():
            seen[:] = self.list_rows()
            return seen == rows

        try:
            self.wait_for(same, timeout=timeout, what=what)
        except AssertionError:
            self.fail(f"{what}: the list holds {len(seen)} rows {[r[3:4] for r in seen][:5]}..., "
                      f"not {len(rows)} {[r[3:4] for r in rows][:5]}...")

    def search_for(self, words, wait=True):
        """Types the words into 编辑框1 and clicks 搜索; waits for the service's page 1 rows when wait."""
        self.driver("type", "编辑框1", words)
        self.driver("click", "按钮1")
        expected = [self.row_of(s) for s in self.expected_hits(words)]
        if wait:
            self.wait_rows(expected, what=f"the rows of a search for {words!r}")
        return expected

    def load_more(self, rows_before, words, page):
        """Clicks 加载更多 and waits for page `page` below the rows already shown."""
        self.driver("click", "按钮2")
        rows = rows_before + [self.row_of(s) for s in self.expected_hits(words, page)]
        self.wait_rows(rows, what=f"page {page} of {words!r} appended")
        return rows

    def start_play(self, row):
        self.driver("select-row", row)
        self.driver("click", "按钮3")

    def play_row(self, row, song_title, timeout=30):
        """Plays a row of the list by 按钮3 and waits until its song plays, whole in the run directory."""
        self.start_play(row)
        self.wait_playing(song_title, timeout)

    def wait_playing(self, song_title, timeout=30):
        try:
            self.wait_title(PLAYING + song_title, timeout)
        except AssertionError as e:
            self.fail(f"{song_title} is not playing: {e}{self.box_note()}")
        song = self.service.song(song_title)
        path = os.path.join(self.session.program.run_dir, song_title + ".mp3")
        # The sound starts before the download ends: the file is in place once the last byte is.
        self.session.wait_for(lambda: os.path.isfile(path) and not self.partial_files(), timeout=timeout,
                              what=f"{song_title}.mp3 whole in the run directory")
        if not song["fault"]:
            self.assertEqual(qiwa_e2e.saved_body(path), qiwa_e2e.served_body(self.service.song_file(song)),
                             f"{song_title}.mp3 is not the song the service sent")

    def box_note(self):
        box = self.driver("msgbox", check=False)
        return f" (a message box is open: {box['msgbox']})" if box.get("ok") else ""

    def assert_box(self, text, timeout=15):
        """The program's message box with this text, closed with its OK button."""
        box = self.driver("msgbox-ok", int(timeout * 1000), check=False)
        self.assertTrue(box.get("ok"), f"no message box {text!r} within {timeout}s; the title is {self.title()!r}")
        self.assertEqual(box["msgbox"]["text"], text)
        self.assertEqual(len(box["msgbox"]["buttons"]), 1, f"the box has one button, OK: {box['msgbox']}")
        self.assertTrue(box["closed"], "the box did not close on OK")

    def assert_no_box(self):
        box = self.driver("msgbox", check=False)
        self.assertFalse(box.get("ok"), f"unexpected message box: {box.get('msgbox')}")

    # What is left and whether it lives -----------------------------------------------------------
    def song_files(self):
        """The song files (and any partial download) in the run directory: {name: size}, a song the
        program saved counted by its audio (qiwa_e2e.song_audio)."""
        run_dir = self.session.program.run_dir
        return {n: len(qiwa_e2e.saved_body(os.path.join(run_dir, n))) if n.lower().endswith(".mp3") else
                os.path.getsize(os.path.join(run_dir, n)) for n in os.listdir(run_dir)
                if n.lower().endswith((".mp3", ".part")) and os.path.isfile(os.path.join(run_dir, n))}

    def partial_files(self):
        return [n for n in self.song_files() if n.lower().endswith(".part")]

    def assert_files(self, expected, what):
        """The run directory's songs are exactly `expected` ({name: size}): nothing empty or partial."""
        self.assertEqual(self.song_files(), expected, f"songs in the run directory {what}")

    def assert_alive(self):
        """The process runs, its window answers, and Wine saw no crash of it."""
        program = self.session.program
        self.assertTrue(program.running(), f"the program ended with code {program.process.returncode}")
        self.assertTrue(self.driver("window", check=False).get("ok"), "the window does not answer")
        program.log.flush()
        with open(os.path.join(program.run_dir, "wine.log"), "rb") as f:
            log = f.read().decode("utf-8", "replace")
        for sign in CRASH_SIGNS:
            self.assertNotIn(sign, log, "Wine reports a crash in wine.log")

    def stats(self):
        return self.driver("stats")

    def close_and_wait(self, timeout=10):
        """Closes the window as the user does; the exit code (None if it did not end in time)."""
        self.driver("close")
        return self.session.program.wait_exit(timeout)

    # Screenshots ----------------------------------------------------------------------------------
    def colour_pixels(self, name, rgb, fuzz=12):
        """How many pixels of a screenshot are within fuzz % of the colour "#rrggbb"."""
        shot = self.session.screenshot(name)
        out = subprocess.run(["convert", shot, "-fuzz", f"{fuzz}%", "-fill", "black", "+opaque", rgb,
                              "-fill", "white", "-opaque", rgb, "-format", "%[fx:mean*w*h]", "info:"],
                             check=True, capture_output=True, text=True).stdout
        os.remove(shot)
        return int(float(out.strip() or 0))
