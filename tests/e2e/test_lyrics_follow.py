"""Lyrics that follow the song: while a song plays, the line being sung is selected in 编辑框2, line after
line in the order of its time tags, never before its time has been heard and not long after, and the
text of the box stays exactly the lyrics' lines.

The bench's sound device takes sound at its real rate and tells when each sample was heard; the driver
watches the box's selection and prints each change as it sees it (every 5 ms), so each move of the mark
is set against the moment its line's first sample was heard."""
import sys
import time
import unittest

from test_play import PLAYING, PlayCase, lyrics_shown

# The cues of a demo song: 0 s title, 1 s first line, 2 s chorus, 2.8 s gap, 3 s last, 3.5 s chorus.
ORDER = [0, 1, 2, 3, 4, 2]
CUES = [0.0, 1.0, 2.0, 2.8, 3.0, 3.5]
# A mark may be seen this early (the position Wine reports runs ahead of the device's clock by up to a
# period of its buffer: 105 ms was seen on the CI machine), and must be seen within this long of its line
# being heard (the program looks every 100 ms; the watch's own delay on a busy machine).
EARLY, LATE = 0.15, 0.5


def line_at(text, position):
    """The 0-based CR LF line of the text that holds the UTF-16 position (text is BMP-only here)."""
    return text[:position].count("\r\n")


class LyricsFollowTest(PlayCase):
    def watch_marks(self, capture):
        """[(time.monotonic() it was seen, selection)] for each change of 编辑框2's selection, the first being
        how it was when the watch began, until the sound has been quiet for a second after it began."""
        heard = {"frames": 0, "since": time.monotonic()}

        def ended():
            frames, now = capture.frames(), time.monotonic()
            if frames != heard["frames"]:
                heard.update(frames=frames, since=now)
            return frames > 0 and now - heard["since"] >= 1

        lines = self.session.watch("watch-selection", "编辑框2", 60000, until=ended, timeout=60)
        return [(at, line["selection"]) for at, line in lines if "selection" in line]

    def test_the_line_being_sung_is_marked_in_order_as_it_is_heard(self):
        self.start()
        self.search("晴天", rows=1)
        song = self.service.song("晴天")
        capture = self.session.capture()
        self.play(0)
        seen = self.watch_marks(capture)
        self.wait_title(PLAYING + "晴天")
        text = self.control(self.dump(), "编辑框2")["text"]
        self.assertEqual(text, lyrics_shown(song), "the box's text changed")

        moves, last = [], None  # (seen at, line): where the mark moved to another line
        for i, (at, (begin, end)) in enumerate(seen):
            line = line_at(text, begin) if end > begin else None
            if line is not None and line != last:
                moves.append((at if i else None, line))  # the watch's first look times no move
                last = line
        lines = [line for _, line in moves]
        it = iter(ORDER)
        self.assertTrue(all(any(line == o for o in it) for line in lines), f"marks out of order: {lines}")
        self.assertGreaterEqual(len(set(lines)), 3, f"the mark did not follow the song: {lines}")
        self.assertEqual(lines[-1], 2, "the song ends on the chorus it last sings")

        rate, report, step = capture.format()["rate"], [], 0
        for at, line in moves:
            step = ORDER.index(line, step)
            heard = capture.heard_at(round(CUES[step] * rate))
            self.assertIsNotNone(heard, f"the sound ended before {CUES[step]} s of the song")
            if at is None or step == 0:
                continue  # the title is marked as the song starts, before its first sample is heard
            report.append(f"line {line} at {CUES[step]} s: {at - heard:+.3f} s")
            self.assertGreaterEqual(at, heard - EARLY, f"a line was marked before its time was heard: {report}")
            self.assertLessEqual(at, heard + LATE, f"a line was marked late: {report}")
        print("\nmarks seen after their lines were heard: " + ", ".join(report), file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
