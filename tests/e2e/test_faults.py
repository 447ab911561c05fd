"""What the outside world may send, and what the user then sees: a search answer that is cut, too
short, binary, an error page, a 500 or too big; a track answer that is any of these or comes too late;
a song that is a web page, empty, cut off, missing or 50 MB; a cover that is not a picture. After each
the program still runs and answers, shows its message where one is due, keeps no empty or partial song,
and the next search and play work."""
import os
import time
import unittest

import qiwa_e2e
import qiwa_user
from qiwa_user import DOWNLOAD_FAILED, IDLE_TITLE, PARSE_FAILED, PAUSE, RESUME

SETTLE = 1.5  # s after the faulty answer was asked for: a search takes well under that here
BIG_SONG_BYTES = 50 * 1000 * 1000


class FaultTestCase(qiwa_user.UserTestCase):
    def setUp(self):
        super().setUp()
        self.played = {}  # {file name: size} of the songs this run downloaded whole

    def song_size(self, title):
        return len(qiwa_e2e.served_body(self.service.song_file(self.service.song(title))))

    def assert_file_intact(self, title):
        self.assertEqual(qiwa_e2e.saved_body(os.path.join(self.session.program.run_dir, title + ".mp3")),
                         qiwa_e2e.served_body(self.service.song_file(self.service.song(title))),
                         f"the earlier {title}.mp3 was touched")

    def unplayed_row(self, first):
        """The first row of the list from `first` on whose song this run has not saved."""
        rows = self.list_rows()
        return next(r for r in range(first, len(rows)) if rows[r][3] + ".mp3" not in self.played)

    def play_next(self, words, row):
        """The next search and play: a search for words, then its row `row` played to the end title."""
        rows = self.search_for(words)
        title = rows[row][3]
        self.play_row(row, title)
        self.played[title + ".mp3"] = self.song_size(title)
        self.assert_files(self.played, f"after playing {title}")
        self.assert_alive()


class SearchAnswerFaultTest(FaultTestCase):
    def test_a_bad_search_answer_adds_no_broken_rows_and_says_nothing(self):
        self.open_window()
        for i, mode in enumerate(("cut", "binary", "html", "status500", "huge", "truncated")):
            with self.subTest(mode=mode):
                self.search_for("fault:" + mode, wait=False)
                self.service.wait_request(lambda r: r.api and r.form.get("name") == "fault:" + mode)
                page = [self.row_of(s) for s in self.expected_hits("")]
                if mode == "truncated":  # half an honest answer: its whole hits, none cut short
                    self.session.wait_for(lambda: (lambda r: r and r == page[:len(r)])(self.list_rows()),
                                          what="the first rows of the page from half an answer")
                time.sleep(SETTLE)
                rows = self.list_rows()
                if mode == "truncated":
                    self.assertTrue(0 < len(rows) < len(page), f"{len(rows)} rows of a half answer")
                    self.assertEqual(rows, page[:len(rows)])
                else:
                    self.assertEqual(rows, [], "a failed search answer gave rows")
                self.assert_no_box()  # a failed search is silent
                self.assert_alive()
                self.play_next("tone", i)


class TrackAnswerFaultTest(FaultTestCase):
    def test_a_bad_track_answer_gives_the_parse_failure_box_and_nothing_else(self):
        self.open_window()
        self.play_next("音调", 0)
        for i, mode in enumerate(("cut", "truncated", "binary", "html", "status500", "huge")):
            with self.subTest(mode=mode):
                self.serve(mode)  # every answer of the service now fails this way
                title = self.title()
                self.start_play(self.unplayed_row(i + 1))  # a song saved before would play from its file
                self.service.wait_request(lambda r: r.api and r.form.get("types") == "url")
                self.assert_box(PARSE_FAILED)
                self.assertEqual(self.title(), title, "the title changed for a song that was not found")
                self.assert_files(self.played, f"after a {mode} track answer")
                self.assert_alive()
                self.serve(None)
                self.play_next(("tone", "音调")[i % 2], i + 1)


class DelayedAnswerTest(FaultTestCase):
    def test_a_track_answer_later_than_the_time_out_is_given_up(self):
        self.open_window()
        self.search_for("音调")
        self.serve("delay", delay=60)  # past the program's 15 s: the box below comes from its time-out
        self.start_play(0)
        self.service.wait_request(lambda r: r.api and r.form.get("types") == "url")
        # The window keeps working while the request hangs.
        self.assert_alive()
        self.driver("click", "按钮4")
        self.session.wait_for(lambda: self.caption("按钮4") == RESUME, what="按钮4 to read 继续播放")
        self.driver("click", "按钮4")
        self.session.wait_for(lambda: self.caption("按钮4") == PAUSE, what="按钮4 to read 暂停播放")
        self.assert_box(PARSE_FAILED, timeout=45)
        self.assertEqual(self.title(), IDLE_TITLE)
        self.assert_files({}, "after a track answer that never came")
        self.assert_alive()
        self.serve(None)
        self.play_next("tone", 1)


class SongFileFaultTest(FaultTestCase):
    def test_a_song_that_cannot_be_had_leaves_nothing_and_says_so(self):
        self.open_window()
        self.play_next("tone", 0)
        for i, mode in enumerate(("song-html", "song-empty", "song-truncated", "song-missing", "song-cut-nolength",
                                  "unavailable")):
            with self.subTest(mode=mode):
                rows = self.search_for("fault:" + mode)
                self.assertEqual(len(rows), 1)
                title = self.title()
                self.start_play(0)
                if mode == "unavailable":  # the service has no address for it
                    self.assert_box(PARSE_FAILED)
                    self.assertEqual(self.title(), title)
                else:
                    self.assert_box(DOWNLOAD_FAILED)
                    self.assertEqual(self.title(), IDLE_TITLE)
                self.assert_files(self.played, f"after a {mode} song")
                self.assert_alive()
                self.play_next("tone", i + 1)

    def test_a_song_already_here_plays_from_its_file_whatever_the_service_sends(self):
        self.open_window()
        self.play_next("音调", 0)
        title = self.list_rows()[0][3]
        for mode in ("song-html", "song-empty", "song-truncated", "song-missing", "unavailable"):
            with self.subTest(mode=mode):
                self.serve(mode)  # every song the service sends now fails this way (a fresh log)
                self.session.quiet_audio()  # the last play's sound is over: the capture begins afresh
                if os.path.exists(self.session.bench.audio_path):
                    os.remove(self.session.bench.audio_path)
                self.start_play(0)
                self.session.wait_for(lambda: self.session.audio_bytes() > 44100 * 4, timeout=15,
                                      what="a second of the song played again")  # cover and lyrics: its tag
                self.wait_playing(title)
                self.assert_no_box()
                self.assertEqual(self.service.requests(lambda r: r.path.startswith("/music/") or
                                                       r.form.get("types") == "url"), [],
                                 "the song was asked for or downloaded again")
                self.assert_files(self.played, f"after a {mode} service played {title}")
                self.assert_file_intact(title)
                self.assert_alive()
        self.serve(None)
        self.play_next("tone", 1)

    def test_a_download_overtaken_by_another_play_leaves_no_part_file(self):
        self.open_window()
        self.search_for("fault:song-slow")
        self.start_play(0)  # about 80 s at this pace
        self.session.wait_for(lambda: any(n.endswith(".part") for n in self.song_files()), timeout=15,
                              what="the slow download to begin")
        self.play_next("tone", 0)
        self.session.wait_for(lambda: self.song_files() == self.played, timeout=10,
                              what=f"only {sorted(self.played)} in the run directory, not {self.song_files()}")
        self.assert_no_box()

    def test_a_cover_that_is_not_a_picture_leaves_the_box_empty_and_the_song_plays(self):
        self.open_window()
        self.play_next("tone", 0)
        shown = self.service.song(self.list_rows()[0][3])["rgb"]
        before = self.colour_pixels("before.png", shown)
        rows = self.search_for("fault:cover-notimage")
        self.start_play(0)
        self.wait_playing(rows[0][3])
        self.played[rows[0][3] + ".mp3"] = self.song_size(rows[0][3])
        after = self.colour_pixels("after.png", shown)
        self.assertGreater(before - after, 20000, f"the last cover stays ({before} -> {after} pixels of {shown})")
        self.assertIn("first line of " + rows[0][3], self.caption("编辑框2"), "the lyrics did not arrive")
        self.assert_no_box()
        self.assert_alive()
        self.play_next("tone", 1)

    def test_a_50_mb_song_plays_and_goes_with_the_exit_clean_up(self):
        self.open_window()
        rows = self.search_for("fault:song-big")
        self.start_play(0)
        self.wait_playing(rows[0][3], timeout=120)
        self.played[rows[0][3] + ".mp3"] = BIG_SONG_BYTES
        self.assert_files(self.played, "after the 50 MB song")
        self.assert_alive()
        self.play_next("tone", 0)  # replaces the player's file, the big one stays until the exit
        self.assertTrue(self.driver("check", "选择框1")["checked"])
        self.assertEqual(self.close_and_wait(), 0, "the program did not exit cleanly")
        self.assert_files({}, "after the exit with 选择框1 ticked")


if __name__ == "__main__":
    unittest.main()
