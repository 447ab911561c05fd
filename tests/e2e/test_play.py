"""Playing a song as a user does: from the list's menu, the titles, the file in the run directory,
lyrics and cover; QQ音乐's quality rewrite; the failure boxes; titles that are bad file names; and
what an exit leaves behind."""
import glob
import os
import time
import unittest

import qiwa_e2e

BUFFERING, BUFFERED, PLAYING = "歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:"
PARSE_FAILED, DOWNLOAD_FAILED = "抱歉，当前歌曲解析失败！", "抱歉，当前歌曲下载失败！"


def lyrics_shown(song):
    """What the lyrics box holds for a demo song: every line without its time tags, each ending in
    CR LF, the tag-only gap an empty line, the metadata lines nothing, character references read."""
    return song["lyric_shown"]


class PlayCase(qiwa_e2e.ServiceTestCase):
    def play_and_wait(self, title, row=0):
        """Plays the row and waits for its title, and for its download to end (the sound starts before)."""
        self.play(row)
        self.wait_title(PLAYING + title)
        run_dir = self.session.program.run_dir
        self.wait_for(lambda: not [f for f in self.songs_in(run_dir) if f.endswith(".part")],
                      timeout=30, what="the download to end")

    def songs_in(self, folder):
        return sorted(f for f in os.listdir(folder) if f.lower().endswith((".mp3", ".part")))

    def picture_box_colour(self, name):
        """The colour at the middle of 图片框1 in a screenshot."""
        dump = self.dump()
        win, box = dump["window"], self.control(dump, "图片框1")["rect"]
        border = (win["rect"]["width"] - win["client"]["width"]) // 2
        left = win["rect"]["left"] + border
        top = win["rect"]["top"] + win["rect"]["height"] - win["client"]["height"] - border
        shot = self.session.screenshot(name)
        x, y = left + box["left"] + box["width"] // 2 - 10, top + box["top"] + box["height"] // 2 - 10
        px = qiwa_e2e.pixels(shot, x, y, 20, 20)
        return tuple(sum(p[k] for p in px) // len(px) for k in range(3))


class PlayTest(PlayCase):
    def test_play_from_the_menu_downloads_shows_lyrics_and_cover(self):
        def older_file(run_dir):  # a file of the song's name that is not this song: it stays as it is
            with open(os.path.join(run_dir, "晴天.mp3"), "wb") as f:
                f.write(b"an older file")
        self.start(prepare=older_file)
        self.search("晴天", rows=1)
        song = self.service.song("晴天")
        self.play_and_wait("晴天")
        run_dir = self.session.program.run_dir
        with open(self.service.song_file(song), "rb") as g:
            self.assertEqual(qiwa_e2e.saved_body(os.path.join(run_dir, "晴天 (2).mp3")),
                             qiwa_e2e.song_audio(g.read()),
                             "the file is not the song the service sent")
        with open(os.path.join(run_dir, "晴天.mp3"), "rb") as f:
            self.assertEqual(f.read(), b"an older file")
        self.assertEqual(self.songs_in(run_dir), ["晴天 (2).mp3", "晴天.mp3"])
        self.assertEqual(self.control(self.dump(), "编辑框2")["text"], lyrics_shown(song))
        colour = self.picture_box_colour("cover.png")
        self.assertTrue(qiwa_e2e.near(colour, qiwa_e2e.hex_rgb(song["rgb"])),
                        f"the picture box shows {colour}, not the {song['colour']} cover")
        # The three service posts, and the cover fetched as a plain GET.
        posts = self.service.api_requests()
        ids = song["ids"]["netease"]
        self.assertEqual([r.fields for r in posts[1:]], [
            [("types", "url"), ("id", str(ids["url_id"])), ("source", "netease"), ("br", "320")],
            [("types", "pic"), ("id", ids["pic_id"]), ("source", "netease")],
            [("types", "lyric"), ("id", str(ids["lyric_id"])), ("source", "netease")]])
        cover = self.service.requests(lambda r: r.path.startswith("/cover/"))
        self.assertEqual([r.method for r in cover], ["GET"])
        self.assertIsNone(cover[0].header("Content-Type"))

    def test_a_second_play_clears_the_lyrics_and_shows_the_new_song(self):
        self.start()
        self.search("Let", rows=1)  # the PNG cover
        self.play_and_wait("Let It Go")
        self.search("江南", rows=1)
        self.play_and_wait("江南", row=0)
        song = self.service.song("江南")
        self.assertEqual(self.control(self.dump(), "编辑框2")["text"], lyrics_shown(song))
        self.assertTrue(qiwa_e2e.near(self.picture_box_colour("cover2.png"), qiwa_e2e.hex_rgb(song["rgb"])))
        self.assertEqual(self.songs_in(self.session.program.run_dir), ["Let It Go.mp3", "江南.mp3"])

    def test_the_quality_chosen_is_asked_and_the_bit_rate_given_is_in_the_title(self):
        """The settings' quality goes in the address request as "br"; the title shows what the service
        gave; QQ音乐's file is its "M500" one below 320 kbps, else the "M800" one the service names."""
        def quality(kbps):
            def prepare(run_dir):
                with open(os.path.join(run_dir, "QiwaMusic.ini"), "a", encoding="utf-8") as f:
                    f.write(f"quality_kbps={kbps}\n")
            return prepare
        mid = self.service.song("Hello")["ids"]["tencent"]["url_id"]
        for kbps, source, path in ((192, 0, None), (128, 2, f"/music/tencent/M500{mid}.mp3"),
                                   (320, 2, f"/music/tencent/M800{mid}.mp3")):
            with self.subTest(kbps=kbps, source=source):
                self.service.clear_log()
                self.start(prepare=quality(kbps))
                self.search("Hello", source=source, rows=1)
                self.play(0)
                self.wait_title(f"{PLAYING}Hello [{kbps}k]", exact=True)
                post = self.service.wait_request(lambda r: r.form.get("types") == "url")
                self.assertEqual(post.form["br"], str(kbps))
                if path:
                    got = self.service.requests(lambda r: r.path.startswith("/music/"))
                    self.assertEqual([r.path for r in got], [path])
                self.session.stop_program()

    def test_titles_that_are_bad_file_names_stay_in_the_run_directory(self):
        runs = self.session.runs_dir
        watched = [runs, os.path.dirname(runs), os.path.dirname(os.path.dirname(runs))]
        before = {d: set(os.listdir(d)) for d in watched if os.path.isdir(d)}
        self.start()
        expected = {"..\\..\\escape": ".._.._escape.mp3", "a/b:c*d?e\"f<g>h|i": "a_b_c_d_e_f_g_h_i.mp3",
                    "CON": "_CON.mp3", "  trailing dots... ": "trailing dots.mp3", "表\\示": "表_示.mp3"}
        self.search("Hostile", rows=len(expected))
        titles = [r[3] for r in self.rows()]
        self.assertEqual(sorted(titles), sorted(expected))
        for row, title in enumerate(titles):
            with self.subTest(title=title):
                self.play_and_wait(title, row)
        run_dir = self.session.program.run_dir
        self.assertEqual(self.songs_in(run_dir), sorted(expected.values()))
        for d, names in before.items():
            new = set(os.listdir(d)) - names - {os.path.basename(run_dir)}
            self.assertEqual(new, set(), f"written outside the run directory, in {d}")

    def test_exit_with_the_box_ticked_deletes_exactly_this_runs_downloads(self):
        def plant(run_dir):
            for name in ("mine.mp3", "notes.txt"):
                with open(os.path.join(run_dir, name), "w") as f:
                    f.write(name)
            os.mkdir(os.path.join(run_dir, "x.mp3"))
        self.start(prepare=plant)
        self.search("周杰伦", rows=2)
        self.play_and_wait("晴天", 0)
        self.play_and_wait("不能说的秘密", 1)
        program = self.session.program
        self.assertEqual(self.songs_in(program.run_dir), ["mine.mp3", "x.mp3", "不能说的秘密.mp3", "晴天.mp3"])
        self.driver("check", "选择框1")
        self.driver("close")
        self.assertEqual(program.wait_exit(15), 0)
        left = [f for f in program.files() if f not in ("wine.log", "audio.raw")]  # the bench's own
        # The settings and the library stay beside the program, with the user's files.
        self.assertEqual(left, ["QiwaMusic.exe", "QiwaMusic.ini", "QiwaMusic.library.txt", "mine.mp3", "notes.txt",
                                "pf.dll", "x.mp3"])


class FailureTest(PlayCase):
    def play_fault(self, mode):
        self.search(f"fault:{mode}", rows=1)
        self.play(0)
        box = self.driver("msgbox", 20000)["msgbox"]
        self.assertEqual([b["id"] for b in box["buttons"]], [1], "one OK button")
        return box["text"]

    def assert_nothing_left(self):
        self.assertEqual(self.driver("window")["window"]["title"], "Qiwa音乐")
        self.assertEqual(self.songs_in(self.session.program.run_dir), [])
        lyrics = self.control(self.dump(), "编辑框2")["text"]
        self.assertEqual(lyrics, "")

    def test_a_song_without_an_address_gives_the_parse_failure_box(self):
        self.start()
        self.assertEqual(self.play_fault("unavailable"), PARSE_FAILED)
        self.assertEqual(self.service.requests(lambda r: r.path.startswith("/music/")), [])
        self.assert_nothing_left()
        self.assertTrue(self.driver("msgbox-ok")["msgbox"])
        self.assert_nothing_left()

    def test_playing_with_no_row_selected_gives_the_parse_failure_box(self):
        self.start()
        menu = self.driver("rclick-list", "empty")
        self.assertEqual(menu["menu"]["items"][0]["text"], "播放并下载")
        self.driver("menu-choose", "播放并下载")
        self.assertEqual(self.driver("msgbox", 20000)["msgbox"]["text"], PARSE_FAILED)
        post = self.service.wait_request(lambda r: r.form.get("types") == "url")
        self.assertEqual(post.fields, [("types", "url"), ("id", ""), ("source", ""), ("br", "320")])
        self.assertTrue(self.driver("msgbox-ok")["closed"])
        self.assert_nothing_left()

    def test_a_failed_download_gives_the_download_failure_box_and_leaves_no_file(self):
        self.start()
        for mode in ("song-missing", "song-empty", "song-truncated", "song-html", "song-cut-nolength"):
            with self.subTest(mode=mode):
                self.assertEqual(self.play_fault(mode), DOWNLOAD_FAILED)
                self.assertTrue(self.service.requests(lambda r: r.path.startswith("/music/")))
                self.assert_nothing_left()
                self.assertTrue(self.driver("msgbox-ok")["closed"])
                self.service.clear_log()

    def test_exit_during_a_slow_download_ends_cleanly(self):
        program = self.launch()
        self.wait_window()
        self.search("fault:song-slow", rows=1)
        self.play(0)
        self.wait_title(BUFFERING)
        self.wait_for(lambda: glob.glob(os.path.join(program.run_dir, "*.part")), what="the download to begin")
        self.driver("close")
        self.assertEqual(program.wait_exit(15), 0, "the program did not end cleanly during a download")
        self.assertEqual(self.songs_in(program.run_dir), [], "a partial song was left behind")


class TitlesTest(PlayCase):
    service_fault = "delay"  # every answer of the service takes a second: each title lasts a while
    service_delay = 1

    def test_the_three_titles_in_order(self):
        # The song trickles in, so the first title lasts until a second of it is there.
        self.start()
        self.search("fault:song-trickle", rows=1)
        self.play(0)
        for title in (BUFFERING, BUFFERED, PLAYING + "故障 song-trickle"):
            self.wait_title(title)
        self.wait_for(lambda: self.songs_in(self.session.program.run_dir) == ["故障 song-trickle.mp3"], timeout=30,
                      what="the song whole in the run directory")


if __name__ == "__main__":
    unittest.main()
