"""A long session: 200 searches, 100 "加载更多" and 30 plays with pauses between them, then the exit.
What the program holds afterwards (handles, threads, memory) stays near what it held after its first
play, and it still ends at once with code 0."""
import time
import unittest

import qiwa_user
from qiwa_user import PAUSE, RESUME

SEARCHES, LOAD_MORES, PLAYS = 200, 100, 30
# Each search's rows differ from the one before, so a wait sees the new rows, not the old ones.
# "" lists the whole catalogue: 20 rows, then 40 and 45 with two "加载更多".
QUERIES = ("", "音调", "周杰伦", "tone")
SONG_SECONDS = 4  # the demo's songs

# How far a figure may grow from its value after the first play (under Wine it moved by one handle
# and about 1 MB). A leak of a handle or a thread per action, or of a decoded song (700 KB) or a
# cover bitmap (170 KB) per play, goes past these.
BOUNDS = {"handles": 10, "threads": 2, "private_bytes": 2 << 20, "working_set": 4 << 20}


class SoakTest(qiwa_user.UserTestCase):
    def settled_stats(self):
        """The figures once the last song has ended (nothing heard for 2 s; the bench's device plays in
        real time): the smallest of a few looks a second apart."""
        self.session.quiet_audio(timeout=SONG_SECONDS + 60)
        looks = []
        for _ in range(3):
            looks.append(self.stats())
            time.sleep(1)
        return {k: min(s[k] for s in looks) for k in BOUNDS}

    def toggle_pause(self, want):
        self.driver("click", "按钮4")
        self.session.wait_for(lambda: self.caption("按钮4") == want, what=f"按钮4 to read {want}")

    def test_a_long_session_leaks_nothing_and_ends_cleanly(self):
        program = self.open_window()
        rows = self.search_for("音调")
        self.play_row(0, rows[0][3])
        self.toggle_pause(RESUME)
        self.toggle_pause(PAUSE)
        first = self.settled_stats()

        # The searches after which a song is played: every third or so of the "音调" and "tone" ones.
        candidates = [i for i in range(SEARCHES) if QUERIES[i % len(QUERIES)] in ("音调", "tone")]
        plays_after = {candidates[round(k * len(candidates) / PLAYS)] for k in range(PLAYS)}
        counts = {"search": 0, "more": 0, "play": 0}
        playing, paused = rows[0][3], False
        songs = {playing}  # a song played again plays from its file: the service is asked once a song
        for i in range(SEARCHES):
            words = QUERIES[i % len(QUERIES)]
            rows = self.search_for(words)
            counts["search"] += 1
            if words == "":
                for page in (2, 3):
                    rows = self.load_more(rows, words, page)
                    counts["more"] += 1
            if paused:
                self.toggle_pause(PAUSE)
                paused = False
            if i in plays_after:
                row = counts["play"] % len(rows)
                if rows[row][3] == playing:  # the title must change for the wait to see this play
                    row = (row + 1) % len(rows)
                playing = rows[row][3]
                songs.add(playing)
                self.play_row(row, playing)
                counts["play"] += 1
                self.toggle_pause(RESUME)
                paused = True
        self.assertEqual(counts, {"search": SEARCHES, "more": LOAD_MORES, "play": PLAYS})
        searches = self.service.api_requests("search")
        self.assertEqual(len(searches), 1 + SEARCHES + LOAD_MORES)
        pages = [r.form.get("pages") for r in searches]
        self.assertEqual((pages.count("2"), pages.count("3")), (LOAD_MORES // 2, LOAD_MORES // 2))
        self.assertEqual(len(self.service.api_requests("url")), len(songs))
        self.assert_alive()

        last = self.settled_stats()
        print(f"\nafter the first play: {first}\nafter the soak:       {last}")
        for key, bound in BOUNDS.items():
            self.assertLessEqual(last[key] - first[key], bound,
                                 f"{key} grew from {first[key]} to {last[key]} over the soak")

        self.assertTrue(self.driver("check", "选择框1")["checked"])
        self.assertEqual(self.close_and_wait(10), 0, "the program did not end cleanly after the soak")
        self.assertFalse(program.running())
        self.assert_files({}, "after the exit with 选择框1 ticked")  # every song of the session gone


if __name__ == "__main__":
    unittest.main()
