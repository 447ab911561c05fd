"""Our skin as the user sees it: the buttons, the track bars and the chosen list tab in the skin's
accent, the mark on the playing row, the system's look when the skin data is broken or no skin library
can be had, and the copy beside the program used when pf.dll cannot be written."""
import os
import shutil
import subprocess

import qiwa_e2e
from test_dpi import FONTS_KEY
from test_window import skin_library

# skin/default.skin
ACCENT = qiwa_e2e.hex_rgb("#2F6BEA")  # accent and button_face
CHANNEL = qiwa_e2e.hex_rgb("#CBD1DA")  # edit_border: a track bar's channel beyond its filled part
SELECTION = qiwa_e2e.hex_rgb("#DCE7FD")  # a selected row
VK_LEFT = 0x25


def set_dpi(bench, dpi):
    """The DPI the prefix's next program starts with (Wine's LogPixels)."""
    bench.wine("reg", "add", FONTS_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f",
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def client_origin(dump):
    """Where the main window's client area starts on the screen."""
    win = dump["window"]
    border = (win["rect"]["width"] - win["client"]["width"]) // 2
    return win["rect"]["left"] + border, win["rect"]["top"] + win["rect"]["height"] - win["client"]["height"] - border


def screen_rect(dump, control):
    """A control's (left, top, width, height) on the screen."""
    x, y = client_origin(dump)
    r = control["rect"]
    return x + r["left"], y + r["top"], r["width"], r["height"]


def bar_columns(shot, rect):
    """What each pixel column of a horizontal track bar shows: "accent" (the thumb, the part before it),
    "tint" (bluish, not the accent: what has arrived beyond the thumb), "channel" (the plain rest) or None;
    and how many of its pixels are in the accent."""
    left, top, w, h = rect
    px = qiwa_e2e.pixels(shot, left, top, w, h)
    kinds, counts = [], []
    for x in range(w):
        column = [px[y * w + x] for y in range(h)]
        counts.append(sum(qiwa_e2e.near(p, ACCENT) for p in column))
        if counts[-1]:
            kinds.append("accent")
        elif any(p[2] - p[0] >= 40 for p in column):
            kinds.append("tint")
        elif any(qiwa_e2e.near(p, CHANNEL, 12) for p in column):
            kinds.append("channel")
        else:
            kinds.append(None)
    return kinds, counts


def thumb_share(kinds, counts):
    """Where the thumb (the columns of the accent taller than the channel) stands along what is drawn, 0..1."""
    drawn = [x for x, k in enumerate(kinds) if k]
    thumb = [x for x, n in enumerate(counts) if n >= 0.6 * max(counts)]
    return ((thumb[0] + thumb[-1]) / 2 - drawn[0]) / (drawn[-1] - drawn[0])


def accent_share(shot, rect):
    """The share of a rectangle's pixels in the accent."""
    px = qiwa_e2e.pixels(shot, *rect)
    return sum(qiwa_e2e.near(p, ACCENT) for p in px) / len(px)


def tab_shares(shot, rect, tabs=4):
    """accent_share of each of the tab control's equal parts, one tab each."""
    left, top, w, h = rect
    return [accent_share(shot, (left + i * w // tabs, top, w // tabs, h)) for i in range(tabs)]


class SkinTest(qiwa_e2e.ProgramTestCase):
    def button_colour(self, name):
        """The mean colour of a strip inside 按钮1, left of its caption."""
        dump = self.driver("dump")
        left, top, _, height = screen_rect(dump, self.control(dump, "按钮1"))
        shot = self.session.screenshot(name)
        px = qiwa_e2e.pixels(shot, left + 6, top + height // 2 - 3, 8, 6)
        return tuple(sum(p[k] for p in px) // len(px) for k in range(3))

    def strip_shot(self, name):
        """A screenshot with the dump taken just before it."""
        dump = self.driver("dump")
        return dump, self.session.screenshot(name)

    def click_at(self, x, y):
        """A real mouse click at a point of the screen."""
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True,
                       env=self.session.bench.env())

    def open(self, exe="QiwaMusic.exe", prepare=None):
        if not os.path.exists(os.path.join(self.session.bench.build_dir, exe)):
            self.skipTest(f"{exe} is not built")
        program = self.launch(exe, prepare=prepare)
        self.wait_window()
        self.wait_for(lambda: self.driver("window")["window"]["visible"], what="the window to show")
        return program

    def assert_whole_window(self):
        names = [c["name"] for c in self.driver("dump")["controls"]]
        for name in ("编辑框1", "按钮1", "组合框1", "超级列表框1", "按钮2", "按钮3", "按钮4", "图片框1", "编辑框2", "选择框1"):
            self.assertIn(name, names)

    def test_the_skin_paints_the_buttons_in_its_accent(self):
        self.open()
        colour = self.button_colour("skinned.png")
        self.assertTrue(qiwa_e2e.near(colour, ACCENT), f"按钮1 is {colour}, not the skin's accent")

    def test_the_volume_bar_and_the_chosen_list_take_the_accent_and_follow_the_user(self):
        self.open()
        dump, shot = self.strip_shot("strip.png")
        volume, lists = self.control(dump, "volume"), self.control(dump, "lists")
        self.assertEqual((volume["position"], volume["range_max"], lists["tab"]), (100, 100, 0))
        kinds = [k for k in bar_columns(shot, screen_rect(dump, volume))[0] if k]
        self.assertGreater(kinds.count("accent") / len(kinds), 0.9, f"the full volume bar is not filled: {kinds}")
        shares = tab_shares(shot, screen_rect(dump, lists))
        self.assertGreater(shares[0], 0.3, f"the chosen tab is not filled with the accent: {shares}")
        self.assertLess(max(shares[1:]), 0.02, f"a tab not chosen is in the accent: {shares}")

        # They stay the standard controls: the bar takes its keys, the tabs a click, and the look follows.
        for _ in range(4):
            self.driver("key", "volume", VK_LEFT)
        left, top, width, height = screen_rect(dump, lists)
        self.click_at(left + width * 5 // 8, top + height // 2)

        def moved():
            d = self.driver("dump")
            return (self.control(d, "volume")["position"], self.control(d, "lists")["tab"]) == (80, 2)

        self.wait_for(moved, what="the volume at 80 and the third tab chosen")
        dump, shot = self.strip_shot("strip-moved.png")
        kinds, counts = bar_columns(shot, screen_rect(dump, self.control(dump, "volume")))
        self.assertAlmostEqual(thumb_share(kinds, counts), 0.8, delta=0.05, msg=f"the thumb is not at 80: {counts}")
        filled = max(x for x, k in enumerate(kinds) if k in ("accent", "tint"))
        self.assertGreater(kinds[filled + 1:].count("channel"), 0.1 * len(kinds), f"no plain rest: {kinds}")
        shares = tab_shares(shot, screen_rect(dump, lists))
        self.assertEqual(max(range(4), key=shares.__getitem__), 2, f"the accent did not follow the choice: {shares}")
        self.assertLess(shares[0], 0.02, f"the tab left is still in the accent: {shares}")

    def bar_sizes(self, name, height):
        """The full volume bar's thumb and channel heights in pixels (its tallest and its usual column in the
        accent), in a fresh start with the window `height` pixels tall at the screen's top."""

        def at_the_top(run_dir):  # the strip of a window 1.5 times as tall stays on the screen
            with open(os.path.join(run_dir, "QiwaMusic.ini"), "w", encoding="utf-8") as f:
                f.write(f"window.x=0\nwindow.y=0\nwindow.width={height * 601 // 760}\nwindow.height={height}\n")

        self.open(prepare=at_the_top)
        dump, shot = self.strip_shot(name)
        _, counts = bar_columns(shot, screen_rect(dump, self.control(dump, "volume")))
        self.session.stop_program()
        filled = sorted(n for n in counts if n)
        return max(counts), filled[len(filled) // 2]

    def test_at_144_dpi_the_track_bars_are_drawn_half_as_large_again(self):
        thumb, channel = self.bar_sizes("dpi-96.png", 760)
        set_dpi(self.session.bench, 144)
        try:
            big_thumb, big_channel = self.bar_sizes("dpi-144.png", 1140)
        finally:
            set_dpi(self.session.bench, 96)
        self.assertLessEqual(abs(big_thumb - 1.5 * thumb), 2, f"thumb: {big_thumb} px at 144 DPI, {thumb} at 96")
        self.assertLessEqual(abs(big_channel - 1.5 * channel), 1.5,
                             f"channel: {big_channel} px at 144 DPI, {channel} at 96")

    def test_broken_skin_data_leaves_the_systems_look_and_a_working_window(self):
        self.open("QiwaMusic_broken_skin.exe")
        colour = self.button_colour("unskinned.png")
        self.assertFalse(qiwa_e2e.near(colour, ACCENT), "broken skin data was applied")
        dump, shot = self.strip_shot("unskinned-strip.png")
        for name in ("volume", "seek"):
            kinds, _ = bar_columns(shot, screen_rect(dump, self.control(dump, name)))
            self.assertNotIn("accent", kinds, f"{name} is drawn by the skin")
        self.assertLess(max(tab_shares(shot, screen_rect(dump, self.control(dump, "lists")))), 0.02,
                        "the tabs are drawn by the skin")
        self.assert_whole_window()
        self.driver("type", "编辑框1", "晴天")
        self.assertEqual(self.driver("control", "编辑框1")["control"]["text"], "晴天")

    def test_unwritable_pf_dll_falls_back_to_the_copy_beside_the_program(self):
        image = skin_library(self.session.bench.build_dir)

        def beside(run_dir):
            os.mkdir(os.path.join(run_dir, "pf.dll"))  # a folder of that name: the file cannot be written
            shutil.copy2(image, os.path.join(run_dir, "SkinH_EL.dll"))

        self.open(prepare=beside)
        self.assertTrue(qiwa_e2e.near(self.button_colour("beside.png"), ACCENT), "the copy beside was not used")

    def test_no_usable_skin_library_still_shows_the_window(self):
        self.open(prepare=lambda run_dir: os.mkdir(os.path.join(run_dir, "pf.dll")))
        self.assertFalse(qiwa_e2e.near(self.button_colour("none.png"), ACCENT))
        self.assert_whole_window()


class SkinPlayingTest(qiwa_e2e.ServiceTestCase):
    # Songs come slowly, so that one plays on its row for a while and arrives part by part.
    service_throttle = 3000

    def test_the_seek_bar_shows_what_has_arrived_apart_from_the_rest(self):
        self.start()
        self.search("", rows=20)
        self.play(0)

        def arriving():
            seek = self.control(self.driver("dump"), "seek")
            return seek["range_max"] > 0 and 0 < seek["selection_end"] < seek["range_max"]

        self.wait_for(arriving, timeout=30, what="part of the song to have arrived")
        self.driver("click", "play_pause")  # the thumb holds still; the song goes on arriving
        for attempt in range(8):  # the dump and the picture must show the same state
            dump = self.driver("dump")
            shot = self.session.screenshot(f"seek-{attempt}.png")
            seek = self.control(dump, "seek")
            after = self.control(self.driver("dump"), "seek")
            state = [(s["position"], s["selection_end"], s["range_max"]) for s in (seek, after)]
            if state[0] == state[1] and seek["selection_end"] < seek["range_max"]:
                break
        else:
            self.fail("the seek bar did not hold still for a screenshot")
        kinds, counts = bar_columns(shot, screen_rect(dump, seek))
        self.assertAlmostEqual(thumb_share(kinds, counts), seek["position"] / seek["range_max"], delta=0.04,
                               msg=f"the thumb is not where the song is: {seek}, {counts}")
        drawn = [x for x, k in enumerate(kinds) if k]
        arrived = max(x for x, k in enumerate(kinds) if k in ("accent", "tint"))
        share = seek["selection_end"] / seek["range_max"]
        self.assertAlmostEqual((arrived - drawn[0]) / (drawn[-1] - drawn[0]), share, delta=0.06,
                               msg=f"{seek}: {kinds}")
        self.assertGreater(kinds[arrived + 1:].count("channel"), 0.5 * (drawn[-1] - arrived),
                           "what has not arrived is not drawn apart")

    def test_the_playing_row_keeps_its_mark_when_another_is_chosen(self):
        self.start()
        self.search("", rows=20)
        self.play(1)
        selected = lambda d: [r["selected"] for r in self.control(d, "超级列表框1")["rows"][:3]]
        self.wait_for(lambda: selected(self.driver("dump")) == [False, True, False], what="row 1 to be chosen")
        self.driver("select-row", 0)
        self.wait_for(lambda: selected(self.driver("dump")) == [True, False, False], what="row 0 to be chosen")
        dump = self.driver("dump")
        shot = self.session.screenshot("playing-row.png")
        listed = self.control(dump, "超级列表框1")
        x0, y0 = client_origin(dump)
        top, height = y0 + listed["rect"]["top"], listed["rect"]["height"]
        # The list reaches out past the window's left edge: the title column is the first one in sight,
        # and the last pixels of each cell hold no text, only the row's colour.
        edge = 2  # the list's client edge
        probe = x0 + listed["rect"]["left"] + edge + sum(c["width"] for c in listed["columns"][:4]) - 3
        column = qiwa_e2e.pixels(shot, probe, top, 1, height)
        chosen = [y for y, p in enumerate(column) if qiwa_e2e.near(p, SELECTION, 8)]
        self.assertTrue(chosen, "no selected row in sight")
        row_h = chosen[-1] - chosen[0] + 1
        self.assertGreater(row_h, 8)
        band = 24
        px = qiwa_e2e.pixels(shot, x0, top, band, height)
        marked = sorted({i // band for i, p in enumerate(px) if qiwa_e2e.near(p, ACCENT)})
        self.assertTrue(marked, "the playing row has no mark")
        self.assertGreater(marked[0], chosen[-1], "the mark is not below the chosen row 0")
        self.assertLessEqual(marked[-1], chosen[-1] + row_h + 2, "the mark reaches beyond row 1")
        tallest = max(sum(qiwa_e2e.near(px[y * band + x], ACCENT) for y in marked) for x in range(band))
        self.assertGreaterEqual(tallest, 0.4 * row_h, "no bar in the accent at the start of the playing row")


if __name__ == "__main__":
    import unittest

    unittest.main()
