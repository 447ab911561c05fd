"""Every script a catalogue holds, as the service sends it: Korean, Thai, Vietnamese and emoji in the
rows, the window title, the lyrics box and the file name, also on a system whose ANSI code page is a
Western one. Two titles that differ only in characters no Chinese code page has are two files."""
import os
import unittest

import qiwa_e2e
import qiwa_user
from test_play import lyrics_shown

WESTERN = {"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}  # Wine gives such a process code page 1252


class ScriptsTest(qiwa_user.UserTestCase):
    def assert_played(self, title):
        """The song plays under its own title, with its lyrics whole and its file named as sent."""
        self.wait_playing(title)
        self.assertEqual(self.title(), qiwa_user.PLAYING + title)
        lyrics = self.driver("control", "编辑框2")["control"]["text"]
        self.assertEqual(lyrics, lyrics_shown(self.service.song(title)))

    def test_rows_titles_lyrics_and_files_in_every_script(self):
        self.open_window()
        for words in ("아이유", "นักร้องไทย", "Ca sĩ", "Star Band"):
            with self.subTest(words=words):
                rows = self.search_for(words)  # the cells exactly as the catalogue has them
                self.assertEqual(len(rows), 1)
                self.play_row(0, rows[0][3])
                self.assert_played(rows[0][3])
        self.assertEqual(sorted(self.song_files()),
                         sorted(t + ".mp3" for t in ("별빛 🎵 Star", "ดาวเคราะห์", "Người ơi 🌙", "星星🌟")))

    def test_titles_that_differ_only_outside_chinese_code_pages_are_two_files(self):
        self.open_window()
        rows = self.search_for("세계의 노래")
        self.assertEqual([r[3] for r in rows], ["사랑", "이별"])
        for row, title in enumerate(("사랑", "이별")):
            self.play_row(row, title)
            self.assert_played(title)
        sizes = {t + ".mp3": len(qiwa_e2e.served_body(self.service.song_file(self.service.song(t))))
                 for t in ("사랑", "이별")}
        self.assert_files(sizes, "after playing both")

    def test_the_window_reads_right_on_a_western_code_page(self):
        self.assertEqual(self.driver("locale", env=WESTERN)["acp"], 1252, "the bench did not give code page 1252")
        self.launch(env=WESTERN)
        self.wait_window()
        self.assertEqual(self.title(), qiwa_user.IDLE_TITLE)
        self.assertEqual(self.caption("按钮3"), "播放并下载")
        rows = self.search_for("아이유")
        self.play_row(0, rows[0][3])
        self.assert_played("별빛 🎵 Star")


if __name__ == "__main__":
    unittest.main()
