""""下载选中": ten rows selected and downloaded at once from the demo service, without playing, each row
showing where its song stands; every file whole, tagged by the program, and in 本地歌曲; an exit in the
middle of them leaves no part file and the user's files as they were."""
import os
import re

import qiwa_e2e
import qiwa_user

STATE = re.compile(r"^\[(等待|完成|失败|\d{1,2}%)\] (.*)$")
TEN = range(3, 13)  # the rows selected


class DownloadCase(qiwa_user.UserTestCase):
    def start_beside_own_file(self):
        """The program started beside a user's file of one of the songs' names, "Tone" searched; the titles."""
        def own_file(run_dir):
            with open(os.path.join(run_dir, "Tone 4.mp3"), "wb") as f:
                f.write(b"the user's own")
        self.launch(prepare=own_file)
        self.wait_window()
        self.search_for("Tone")
        return [r[3] for r in self.rows()]

    def download_rows(self, rows):
        """Selects the rows and chooses "下载选中" from the list's menu."""
        for n, row in enumerate(rows):
            self.driver("select-row", row, *(["--add"] if n else []))
        menu = self.driver("rclick-list", rows[0])
        self.assertIn("下载选中", [i["text"] for i in menu["menu"]["items"]])
        self.driver("menu-choose", "下载选中")

    def states(self, titles):
        """What each row of `titles` shows of its download: {title: state}, None for a bare title."""
        shown = {}
        for cells, title in zip(self.rows(), titles):
            m = STATE.match(cells[3])
            self.assertTrue(cells[3] == title or (m and m.group(2) == title), f"row {title!r} shows {cells[3]!r}")
            shown[title] = m.group(1) if m else None
        return shown


class DownloadSelectedTest(DownloadCase):

    def test_ten_rows_download_at_once_whole_and_tagged_without_playing(self):
        titles = self.start_beside_own_file()
        chosen = [titles[i] for i in TEN]
        self.download_rows(list(TEN))
        def all_done():
            states = self.states(titles)
            return all(states[t] == "完成" for t in chosen)
        self.wait_for(all_done, timeout=60, what="every row selected to show 完成")
        self.assertTrue(all(states is None for t, states in self.states(titles).items() if t not in chosen))
        self.assertEqual(self.title(), qiwa_user.IDLE_TITLE, "a download played")
        run_dir = self.session.program.run_dir
        with open(os.path.join(run_dir, "Tone 4.mp3"), "rb") as f:
            self.assertEqual(f.read(), b"the user's own")
        self.assertEqual(self.partial_files(), [])
        for title in chosen:
            with self.subTest(title=title):
                name = "Tone 4 (2).mp3" if title == "Tone 4" else title + ".mp3"
                path = os.path.join(run_dir, name)
                with open(self.service.song_file(self.service.song(title)), "rb") as sent:
                    self.assertEqual(qiwa_e2e.saved_body(path), qiwa_e2e.song_audio(sent.read()), "the file is not the song served")
                frames = qiwa_e2e.id3_frames(path)
                self.assertEqual(frames.get("TIT2"), title)
                self.assertEqual(frames.get("TXXX:QIWA_SOURCE"), "netease")
        asked = [r.form.get("br") for r in self.service.api_requests("url")]
        self.assertEqual(asked, ["320"] * len(chosen))
        self.assertEqual(self.service.requests(lambda r: r.path.startswith("/cover/")), [], "a cover was fetched")
        # They are songs on disk of this run: in 本地歌曲, and gone at exit with 选择框1 ticked.
        tabs = []
        for percent in range(66, 100, 4):  # the last tab, however wide Wine draws the tabs before it
            self.driver("click-at", "lists", percent)
            tabs.append(self.driver("control", "lists")["control"]["tab"])
            if tabs[-1] == 3:
                break
        self.assertEqual(tabs[-1], 3, f"the tabs chosen: {tabs}")
        local = self.wait_for(lambda: [r[3] for r in self.rows()] or None, what="the songs on disk")
        # The user's own file of the folder is listed too, with no download of its own.
        self.assertEqual(sorted(local), sorted([f"[完成] {t}" for t in chosen] + ["Tone 4"]))
        self.driver("check", "选择框1")
        self.assertEqual(self.close_and_wait(15), 0)
        self.assertEqual(sorted(n for n in os.listdir(run_dir) if n.endswith((".mp3", ".part"))), ["Tone 4.mp3"])


class DownloadExitTest(DownloadCase):
    service_throttle = 4000  # bytes a second: a song takes a quarter of a minute, so the exit meets them running

    def test_an_exit_during_the_downloads_leaves_no_part_file(self):
        titles = self.start_beside_own_file()
        self.download_rows(list(TEN))
        self.wait_for(lambda: any(re.fullmatch(r"\d+%", s or "") for s in self.states(titles).values()),
                      timeout=30, what="a row to show its percent")
        states = self.states(titles)
        self.assertLessEqual(sum(1 for s in states.values() if s and s.endswith("%")), 2, f"more than two at once: {states}")
        self.assertGreaterEqual(list(states.values()).count("等待"), 8, f"the others do not wait: {states}")
        self.assertTrue(self.partial_files(), "no download was running")
        self.assertEqual(self.close_and_wait(15), 0)
        run_dir = self.session.program.run_dir
        left = sorted(n for n in os.listdir(run_dir) if n.endswith((".mp3", ".part")))
        self.assertEqual([n for n in left if n.endswith(".part")], [], "a part file was left")
        with open(os.path.join(run_dir, "Tone 4.mp3"), "rb") as f:
            self.assertEqual(f.read(), b"the user's own")
        for name in left:  # what was placed before the exit is whole
            if name != "Tone 4.mp3":
                with open(self.service.song_file(self.service.song(name[:-4].replace(" (2)", ""))), "rb") as sent:
                    self.assertEqual(qiwa_e2e.saved_body(os.path.join(run_dir, name)), qiwa_e2e.song_audio(sent.read()))
