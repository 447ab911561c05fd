"""Lyrics that follow the song: while a song plays, the line being sung is selected in 编辑框2, line after
line in the order of its time tags, and the text of the box stays exactly the lyrics' lines.

The bench's sound device takes sound faster than real time (it has no clock of its own), so the song
runs through in about a quarter of its length here; the marks are read against the captured sound, the
position the program follows."""
import sys
import time
import unittest

from test_play import PLAYING, PlayCase, lyrics_shown

SECOND = 44100 * 4


def line_at(text, position):
    """The 0-based CR LF line of the text that holds the UTF-16 position (text is BMP-only here)."""
    return text[:position].count("\r\n")


class LyricsFollowTest(PlayCase):
    def marks(self, seconds):
        """(captured sound in seconds, marked line) each time the mark is seen to move, for `seconds`."""
        seen, last, deadline = [], None, time.time() + seconds
        while time.time() < deadline:
            box = self.control(self.dump(), "编辑框2")
            start, end = box["selection"]
            line = line_at(box["text"], start) if box["text"] and end > start else None
            if line is not None and line != last:
                seen.append((self.session.audio_bytes() / SECOND, line))
                last = line
        return seen

    def test_the_line_being_sung_is_marked_in_order(self):
        self.start()
        self.search("晴天", rows=1)
        song = self.service.song("晴天")
        self.play(0)
        self.wait_title(PLAYING + "晴天")
        seen = self.marks(6)
        box = self.control(self.dump(), "编辑框2")
        self.assertEqual(box["text"], lyrics_shown(song), "the box's text changed")
        lines = [line for _, line in seen]
        # The cues of a demo song: 0 s title, 1 s first line, 2 s chorus, 2.8 s gap, 3 s last, 3.5 s chorus.
        order = [0, 1, 2, 3, 4, 2]
        it = iter(order)
        self.assertTrue(all(any(line == o for o in it) for line in lines), f"marks out of order: {seen}")
        self.assertGreaterEqual(len(set(lines)), 3, f"the mark did not follow the song: {seen}")
        self.assertEqual(lines[-1], 2, "the song ends on the chorus it last sings")
        cue = {0: 0.0, 1: 1.0, 2: 2.0, 3: 2.8, 4: 3.0}
        # How far the captured sound had gone past each line's time when its mark was seen (the driver
        # looks every tenth of a second or so, and the bench's device runs ahead of real time).
        lags = [round(heard - cue[line], 2) for heard, line in seen]
        print(f"\nmarks seen at these seconds of sound past their lines' times: {lags}", file=sys.stderr)
        for heard, line in seen:  # never ahead of the sound: a line is marked once its time has been heard
            self.assertGreaterEqual(heard + 0.3, cue[line], f"line {line} marked at {heard:.2f} s of sound: {seen}")


if __name__ == "__main__":
    unittest.main()
