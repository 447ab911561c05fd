"""The desktop lyrics, the tray and the global keys as a user meets them, with real mouse clicks and key
presses: unlocked, the line takes a click (it is dragged, it shows its bar); locked by its bar, a click
goes through it to the window below, and the tray's menu unlocks it. The tray's icon (in Wine's own tray
window: the bench's X screen has no notification area) tips the song playing, and its menu's items do
what they say; a left click and "显示窗口" show the window closed to the tray, "退出" ends the program
and takes the icon away. Ctrl+Alt+Space and Ctrl+Alt+L work while a window of another program has the
focus; a key another program held first is left to it, and the settings say so."""
import json
import os
import subprocess
import time
import unittest

import qiwa_e2e
from test_desktop_lyrics import DESKTOP, MENU_ITEM
from test_play import PLAYING, PlayCase

WS_EX_TRANSPARENT = 0x20
LOCK_ITEM = "锁定桌面歌词"
PAUSE, RESUME = "暂停播放", "继续播放"
VK_SPACE, VK_DOWN, VK_L = 0x20, 0x28, 0x4C
BAR_COLOUR = (0x1F, 0x23, 0x29)  # the hover bar's buttons (kBarColour)
CELL, BAR_TOP, BAR_HEIGHT, LINE_TOP = 40, 4, 26, 32  # the bar's cells and the current line, at 96 DPI


def settings_file(*lines):
    def prepare(run_dir):
        with open(os.path.join(run_dir, "QiwaMusic.ini"), "a", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in lines))
    return prepare


class DesktopInputTest(PlayCase):
    service_tone_seconds = 20  # songs long enough to be paused and clicked about while they play

    def desktop(self):
        answer = self.driver("top", DESKTOP, 0, check=False)
        return answer["window"] if answer.get("ok") else None

    def caption(self):
        return self.driver("control", "按钮4")["control"]["text"]

    def tray_menu(self):
        """The tray icon's menu, opened with the right button: {text: checked}."""
        items = self.driver("tray-click", 0, "--right")["menu"]["items"]
        return {i["text"]: i["checked"] for i in items if i["text"]}

    def tray_choose(self, item):
        self.tray_menu()
        self.driver("menu-choose", item)

    def wait_heard_again(self, quiet_size):
        """The sound goes on after a pause: the capture grows again, or starts anew when the device was
        opened again."""
        self.wait_for(lambda: self.session.audio_bytes() != quiet_size, timeout=15, what="the sound to come back")

    def icons(self):
        return self.driver("tray")["icons"]

    def playing_with_lyrics(self, prepare):
        self.start(prepare=prepare)
        self.search("晴天", rows=1)
        self.play_and_wait("晴天")
        return self.wait_for(lambda: (lambda d: d if d and d["title"] else None)(self.desktop()),
                             what="a line on the desktop")

    def click_below(self, rect, point):
        """A window of the driver's under the desktop lyrics, a real click at a point: the clicks it got."""
        r = rect
        return self.driver("click-below", r["left"], r["top"], r["width"], r["height"], *point)["clicks"]

    def test_unlocked_the_line_takes_the_mouse_locked_a_click_goes_through(self):
        window = self.playing_with_lyrics(settings_file("desktop_lyrics.on=1", "close_to_tray=1"))
        self.driver("click", "按钮4")  # paused: the line holds while the mouse is about
        self.wait_for(lambda: self.caption() == RESUME, what="the pause")
        rect = window["rect"]
        on_line = (rect["left"] + rect["width"] // 2, rect["top"] + LINE_TOP + 20)

        # The mouse over it shows the bar; its first button locks it.
        self.driver("hover", *on_line)
        lock = (rect["left"] + (rect["width"] - 6 * CELL) // 2 + CELL // 2, rect["top"] + BAR_TOP + BAR_HEIGHT // 2)
        shot = self.session.screenshot("hovered.png")
        bar = qiwa_e2e.pixels(shot, lock[0] - CELL // 2 + 2, lock[1] - 8, 1, 1)[0]
        self.assertTrue(qiwa_e2e.near(bar, BAR_COLOUR, 12), f"no bar over the hovered line: {bar}")
        self.driver("hover", *lock)  # the button lights up under the mouse, as a user sees before a click
        self.driver("mouse", *lock)
        self.wait_for(lambda: self.desktop()["exstyle"] & WS_EX_TRANSPARENT, what="the lock")
        self.assertEqual(self.click_below(rect, on_line), 1, "the locked line did not let the click through")
        self.assertTrue(self.tray_menu()[LOCK_ITEM], "the tray's menu does not show the lock")
        self.driver("menu-choose", LOCK_ITEM)
        self.wait_for(lambda: not self.desktop()["exstyle"] & WS_EX_TRANSPARENT, what="the tray to unlock it")
        self.assertEqual(self.click_below(rect, on_line), 0, "unlocked, the line let a click through")

        # Dragged by its line, it moves with the mouse and keeps the place.
        self.driver("drag", *on_line, -100, -80)
        want = (rect["left"] - 100, rect["top"] - 80)
        moved = self.wait_for(lambda: (lambda r: r if (r["left"], r["top"]) == want else None)(self.desktop()["rect"]),
                              what=f"the desktop lyrics dragged to {want}")

        self.driver("close")  # to the tray; the tray's 退出 ends it and keeps the place
        self.tray_choose("退出")
        self.assertEqual(self.session.program.wait_exit(15), 0)
        with open(os.path.join(self.session.program.run_dir, "QiwaMusic.ini"), encoding="utf-8") as f:
            kept = f.read()
        self.assertIn(f"desktop_lyrics.x={moved['left']}\n", kept)
        self.assertIn("desktop_lyrics.locked=0\n", kept)

    def test_the_tray_tips_the_song_and_its_menu_works(self):
        self.start(prepare=settings_file("close_to_tray=1"))
        self.assertEqual(len(self.icons()), 1, "no icon in the tray")
        self.assertEqual(self.driver("tray-tip")["tip"], "Qiwa音乐")
        self.search("Tone", rows=20)
        titles = [r[3] for r in self.rows()]
        self.play_and_wait(titles[0])
        # Paused from the tray, heard to stop and go on.
        menu = self.tray_menu()
        self.driver("menu-choose", "暂停")
        self.assertEqual(list(menu), ["暂停", "上一首", "下一首", MENU_ITEM, LOCK_ITEM, "显示窗口", "退出"])
        self.wait_for(lambda: self.caption() == RESUME, what="the tray's 暂停 to pause")
        heard = self.session.quiet_audio()
        tip = self.driver("tray-tip")["tip"]
        self.assertEqual(qiwa_e2e.bare_title(tip), PLAYING + titles[0], "the tip is not the song playing")
        self.assertIn("播放", self.tray_menu(), "paused, the tray's menu does not offer 播放")
        self.driver("menu-choose", "播放")
        self.wait_for(lambda: self.caption() == PAUSE, what="the tray's 播放 to go on")
        self.wait_heard_again(heard)
        self.tray_choose("下一首")
        self.wait_title(PLAYING + titles[1])

        self.tray_choose(MENU_ITEM)
        self.wait_for(self.desktop, what="the desktop lyrics to show")
        self.assertTrue(self.tray_menu()[MENU_ITEM], "the tray's menu does not tick the desktop lyrics")
        self.driver("menu-choose", MENU_ITEM)
        self.wait_for(lambda: self.desktop() is None, what="the desktop lyrics to go")

        # Closed, it lives on in the tray: a left click on the icon, or 显示窗口, shows it again.
        for show in (lambda: self.driver("tray-click", 0), lambda: self.tray_choose("显示窗口")):
            self.driver("close")
            self.wait_for(lambda: not self.driver("window")["window"]["visible"], what="the window to hide")
            self.assertTrue(self.session.program.running(), "closing ended the program")
            show()
            self.wait_for(lambda: self.driver("window")["window"]["visible"], what="the window to show again")
        self.tray_choose("退出")
        self.assertEqual(self.session.program.wait_exit(15), 0)
        self.wait_for(lambda: not self.icons(), what="the icon to go")

    def hold_key(self, vk):
        """The driver holds Ctrl+Alt with a key as another program would, until the test ends."""
        exe = os.path.join(self.session.bench.build_dir, "qiwa_driver.exe")
        holder = qiwa_e2e.spawn(self.session.bench.command(exe, "hold-key", vk, 600000), env=self.session.bench.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (holder.kill(), holder.wait(), holder.stdout.close()))
        self.assertEqual(json.loads(holder.stdout.readline()), {"held": True}, "the driver could not hold the key")

    def test_global_keys_work_while_another_window_has_the_focus(self):
        self.hold_key(VK_DOWN)
        self.start()
        self.search("晴天", rows=1)
        self.play_and_wait("晴天")
        for want in (RESUME, PAUSE):
            pressed = self.driver("global-key", VK_SPACE)
            self.assertTrue(pressed["focused"], f"the driver's window did not have the focus: {pressed}")
            self.wait_for(lambda: self.caption() == want, what=f"Ctrl+Alt+Space to make 按钮4 read {want}")
            if want == RESUME:
                heard = self.session.quiet_audio()
        self.wait_heard_again(heard)
        self.driver("global-key", VK_L)
        self.wait_for(self.desktop, what="Ctrl+Alt+L to show the desktop lyrics")
        self.driver("global-key", VK_L)
        self.wait_for(lambda: self.desktop() is None, what="Ctrl+Alt+L to hide them")

        # The key the driver held first is left to it, and the settings say so.
        self.driver("rclick-list", 0)
        self.driver("menu-choose", "设置…")
        note = self.driver("msgbox", 5000)["msgbox"]["text"]
        self.driver("msgbox-press", 2)
        self.assertIn("已被其他程序占用", note)
        self.assertIn("Ctrl+Alt+↓", note)
        self.assertNotIn("Ctrl+Alt+空格", note)


if __name__ == "__main__":
    unittest.main()
