"""The keyboard: the media play/pause key does what 按钮4 does and is held only while a song is loaded,
Enter on a row of the list plays it as "播放并下载" does, and Tab goes through every control in reading
order (Shift+Tab back)."""
import unittest

from test_play import PLAYING, PlayCase

APPCOMMAND_MEDIA_PLAY_PAUSE = 14
VK_TAB = 0x09
PAUSE, RESUME = "暂停播放", "继续播放"
TAB_ORDER = ["编辑框1", "组合框1", "按钮1", "超级列表框1", "按钮3", "按钮2", "按钮4", "编辑框2", "选择框1"]


class KeysTest(PlayCase):
    def caption(self):
        return self.control(self.dump(), "按钮4")["text"]

    def test_the_media_key_pauses_and_continues_like_the_button(self):
        self.start()
        self.search("晴天", rows=1)
        self.play_and_wait("晴天")
        self.driver("appcommand", APPCOMMAND_MEDIA_PLAY_PAUSE)
        self.wait_for(lambda: self.caption() == RESUME, what="按钮4 to read 继续播放")
        self.driver("appcommand", APPCOMMAND_MEDIA_PLAY_PAUSE)
        self.wait_for(lambda: self.caption() == PAUSE, what="按钮4 to read 暂停播放")

    def test_the_media_key_is_left_to_other_players_while_no_song_is_loaded(self):
        self.start()
        self.assertTrue(self.driver("hotkey-free")["free"], "the key is taken with no song loaded")
        self.search("晴天", rows=1)
        self.play_and_wait("晴天")
        self.assertFalse(self.driver("hotkey-free")["free"], "another program could take the key from the song")
        self.search("fault:song-trickle-cut", rows=1)  # its sound starts, then the download breaks off
        self.play(0)
        self.assertEqual(self.driver("msgbox-ok", 30000)["msgbox"]["text"], "抱歉，当前歌曲下载失败！")
        self.assertTrue(self.driver("hotkey-free")["free"], "the key stays taken after the song stopped")

    def test_enter_on_a_row_plays_it(self):
        self.start()
        self.search("江南", rows=1)
        self.driver("select-row", 0)
        self.driver("enter", "超级列表框1")
        self.wait_title(PLAYING + "江南")
        urls = self.service.api_requests("url")
        self.assertEqual(len(urls), 1)
        self.assertEqual(urls[0].form.get("types"), "url")

    def test_tab_reaches_every_control_in_reading_order(self):
        self.start()
        reached = []
        for name in TAB_ORDER:  # Tab in each control in turn: the focus goes to the next one
            self.driver("key", name, VK_TAB)
            reached.append(self.wait_for(lambda: self.driver("focus")["focus"], what="a control with the focus"))
        self.assertEqual(reached, TAB_ORDER[1:] + TAB_ORDER[:1], "Tab does not go round in reading order")


if __name__ == "__main__":
    unittest.main()
