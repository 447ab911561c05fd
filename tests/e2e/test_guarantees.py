"""What the program promises at its edges: a user's own song survives a failed re-download and the exit
clean-up; closing the window during a slow download or a slow answer ends the process as soon as Wine
ends our minimal window program, and leaves no partial song behind."""
import glob
import os
import statistics
import sys
import time
import unittest

import qiwa_user
from qiwa_user import DOWNLOAD_FAILED

SLACK = 0.5  # s the program may take to end beyond what our minimal window program takes


class UsersFileTest(qiwa_user.UserTestCase):
    def test_a_users_own_song_survives_a_failed_redownload_and_the_exit(self):
        own = b"the user's own recording of this song"

        def plant(run_dir):
            with open(os.path.join(run_dir, "晴天.mp3"), "wb") as f:
                f.write(own)
        program = self.launch(prepare=plant)
        self.wait_window()
        rows = self.search_for("音调")
        self.play_row(0, rows[0][3])  # a song this run downloads: the clean-up deletes it
        self.serve("song-html")  # from now on every song the service sends is a web page
        self.search_for("晴天")
        self.start_play(0)
        self.assert_box(DOWNLOAD_FAILED)
        self.driver("check", "选择框1")
        self.assertEqual(self.close_and_wait(15), 0)
        with open(os.path.join(program.run_dir, "晴天.mp3"), "rb") as f:
            self.assertEqual(f.read(), own, "the user's own file was touched")
        self.assertEqual(sorted(self.song_files()), ["晴天.mp3"], "this run's download was not deleted")


class PromptExitTest(qiwa_user.UserTestCase):
    service_delay = 30  # s the answer to the words "fault:delay" is held back

    def seconds_to_end(self, program):
        """From WM_CLOSE to the end of the process."""
        start = time.monotonic()
        self.driver("close")
        code = program.wait_exit(30)
        self.assertIsNotNone(code, "the process did not end within 30 s")
        return time.monotonic() - start

    def minimal_window_seconds(self):
        """What Wine needs to end our minimal window program after its window closes, in this run."""
        times = []
        for _ in range(3):
            program = self.launch("minimal_window.exe")
            self.wait_window()
            times.append(self.seconds_to_end(program))
            self.session.stop_program()
        return max(times), statistics.median(times)

    def assert_prompt(self, ours, what):
        worst, median = self.minimal
        print(f"\n{what}: QiwaMusic ended {ours:.2f} s after its window closed; the minimal window program "
              f"{median:.2f} s (at most {worst:.2f} s)", file=sys.stderr)
        self.assertLessEqual(ours, worst + SLACK, f"{what}: the exit took {ours:.2f} s")

    def setUp(self):
        super().setUp()
        if not hasattr(PromptExitTest, "minimal"):
            PromptExitTest.minimal = self.minimal_window_seconds()

    def test_closing_during_a_trickled_download(self):
        program = self.launch()
        self.wait_window()
        self.search_for("fault:song-slow")  # the song comes 8 KB every half second, for over a minute
        self.start_play(0)
        self.session.wait_for(lambda: glob.glob(os.path.join(program.run_dir, "*.part")), timeout=15,
                              what="the download to begin")
        time.sleep(1)
        self.assert_prompt(self.seconds_to_end(program), "closing 1 s into a trickled download")
        self.assertEqual(self.song_files(), {}, "a partial or whole song was left behind")

    def test_closing_while_a_search_answer_is_held_back(self):
        program = self.launch()
        self.wait_window()
        self.search_for("fault:delay", wait=False)
        self.service.wait_request(lambda r: r.api and r.form.get("name") == "fault:delay")
        self.assert_prompt(self.seconds_to_end(program), "closing while a search answer is held back")


if __name__ == "__main__":
    unittest.main()
