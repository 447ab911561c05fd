"""Listening through the list with the strip: the queue plays on from row to row by itself and marks the
row playing, repeat-one plays the song again from its file, next and previous walk the list, the mode
button cycles the modes, the volume follows its bar and the keys, the seek bar spans the song, the tabs
show the songs played; volume and mode are there at the next start."""
import os

import qiwa_e2e
from test_play import PLAYING, PlayCase

MODES = ["顺序播放", "列表循环", "单曲循环", "随机播放"]
VK_LEFT, VK_DOWN = 0x25, 0x28


class QueueTest(PlayCase):
    def title(self):
        """The window's title, without the bit rate a playing title ends in."""
        return qiwa_e2e.bare_title(self.driver("window")["window"]["title"])

    def strip(self, name):
        return self.driver("control", name)["control"]

    def titles_of(self, rows):
        return [r[3] for r in rows]

    def url_requests(self, song_id):
        return [r for r in self.service.api_requests("url") if r.form.get("id") == song_id]

    def test_the_queue_plays_on_and_the_strip_walks_it(self):
        self.start(plays_on=True)
        self.search("Tone", rows=20)
        rows = self.rows()
        titles = self.titles_of(rows)
        self.play(0)
        self.wait_title(PLAYING + titles[0])
        # The song ends and the next row follows by itself, marked in the list.
        self.wait_title(PLAYING + titles[1], timeout=40)
        marked = [i for i, r in enumerate(self.control(self.dump(), "超级列表框1")["rows"]) if r["selected"]]
        self.assertIn(marked, ([1], [2]), "the row playing is marked")

        # Repeat-one: the song plays again from its file, with no second request for it.
        while self.strip("mode")["text"] != "单曲循环":
            self.driver("click", "mode")
        self.driver("click", "next")
        playing = self.wait_for(lambda: next((t for t in titles[2:] if self.title() == PLAYING + t), None),
                                timeout=30, what="the next row to play")
        song_id = rows[titles.index(playing)][0]
        heard = self.session.audio_bytes()
        self.wait_for(lambda: self.session.audio_bytes() > heard + 44100 * 4 * 6, timeout=60,
                      what="more than one round of the song")
        self.assertEqual(self.title(), PLAYING + playing, "repeat-one left the song")
        self.assertEqual(len(self.url_requests(song_id)), 1, "the song was fetched again")
        self.driver("click", "previous")
        before = titles[titles.index(playing) - 1]
        self.wait_title(PLAYING + before)
        # Paused, so that the song is still the one played last when the list of songs played is read,
        # however slowly the steps below go on a busy machine.
        self.driver("click", "按钮4")
        self.wait_for(lambda: self.driver("control", "按钮4")["control"]["text"] == "继续播放", what="the pause")

        # The seek bar spans the song and the time shows it.
        seek = self.wait_for(lambda: (lambda c: c if c["range_max"] > 0 else None)(self.strip("seek")),
                             what="the seek bar's range")
        self.assertLessEqual(seek["range_max"], 30, "the range is the song's seconds")
        self.assertRegex(self.strip("time")["text"], r"^\d+:\d\d / \d+:\d\d$")

        # The volume: its own keys, and Down where the focus is on a button; kept for the next start.
        self.driver("key", "volume", VK_LEFT)
        self.wait_for(lambda: self.strip("volume")["position"] == 95, what="the volume bar at 95")
        self.driver("key", "按钮4", VK_DOWN)
        self.wait_for(lambda: self.strip("volume")["position"] == 90, what="the volume at 90 by the key")

        # The mode cycles through the four modes, by name.
        seen = []
        for _ in range(4):
            self.driver("click", "mode")
            self.wait_for(lambda: self.strip("mode")["text"] != (seen[-1] if seen else "单曲循环"),
                          what="the next mode")
            seen.append(self.strip("mode")["text"])
        self.assertEqual(seen, ["随机播放", "顺序播放", "列表循环", "单曲循环"])

        # 最近播放: the songs played, newest first; 搜索结果 brings the search's rows back.
        self.driver("click-at", "lists", 62)
        self.wait_for(lambda: self.strip("lists")["tab"] == 2, what="the tab of the songs played")
        played = self.wait_for(lambda: self.titles_of(self.rows()) or None, what="the songs played")
        self.assertEqual(played[0], before)
        self.assertLessEqual(set(played), set(titles))
        self.driver("click-at", "lists", 12)
        self.wait_for(lambda: self.titles_of(self.rows()) == titles, what="the search's rows again")

        run_dir = self.session.program.run_dir
        self.assertEqual(self.close_and_wait(), 0)
        with open(os.path.join(run_dir, "QiwaMusic.ini"), encoding="utf-8") as f:
            kept = f.read()
        self.assertIn("volume=90", kept)
        program = self.launch(run_dir=run_dir)
        self.wait_window()
        self.wait_for(lambda: self.strip("volume")["position"] == 90, what="the volume put back")
        self.assertEqual(self.strip("mode")["text"], "单曲循环")
        # The song playing at exit is back, paused: nothing plays by itself.
        self.wait_for(lambda: self.driver("control", "按钮4")["control"]["text"] == "继续播放",
                      what="the song put back paused")
        self.assertTrue(program.running())

    def close_and_wait(self, timeout=15):
        self.driver("close")
        return self.session.program.wait_exit(timeout)


if __name__ == "__main__":
    import unittest
    unittest.main()
