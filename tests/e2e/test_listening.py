"""What a listener hears of the list, on the clocked device: songs follow each other with no more silence at
the join than the two files hold; each play mode's order over a list of five short songs (in order stops
after the last, repeat list wraps, shuffle plays each once before any repeats); the volume bar at 50
lowers what is heard by 6 dB. Repeat one and the mode button's cycle are test_queue's."""
import array
import itertools
import math
import re
import os
import subprocess
import tempfile
import time
import wave

from test_play import PLAYING, PlayCase

SONG_SECONDS = 1.5   # the demo's tone songs, made this long for these tests
FIVE = "音调 2"       # the words that find five songs: 音调 21, 23, 25, 27, 29
LOUD = 1000          # a sample louder than this is sound (the tones peak at 16 384)
DEVICE_PERIOD = 0.010  # Wine's shared-mode period: the smallest step in which the device is fed
VK_PRIOR = 0x21      # Page Up: a track bar's page (the volume's 10) toward its left end
APPCOMMAND_MEDIA_STOP = 13


def left(pcm, channels):
    samples = array.array("h")
    samples.frombytes(pcm[:len(pcm) // (2 * channels) * 2 * channels])
    return samples[0::channels]


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


def edges(samples):
    """(leading, trailing): the quiet samples before the first loud one and after the last."""
    loud = [i for i, s in enumerate(samples) if abs(s) > LOUD]
    return (loud[0], len(samples) - 1 - loud[-1]) if loud else (len(samples), len(samples))


def longest_quiet_inside(samples):
    """The longest run of quiet samples between the first loud sample and the last."""
    longest, run, started = 0, 0, False
    for s in samples:
        if abs(s) > LOUD:
            longest = max(longest, run) if started else longest
            run, started = 0, True
        else:
            run += 1
    return longest


def decoded(mp3):
    """The song's left channel as Debian's lame decodes it (its encoder delay and padding left out)."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "song.wav")
        subprocess.run(["lame", "--quiet", "--decode", mp3, out], check=True)
        with wave.open(out) as w:
            return left(w.readframes(w.getnframes()), w.getnchannels()), w.getframerate()


class ListeningTest(PlayCase):
    service_tone_seconds = SONG_SECONDS

    def strip(self, name):
        return self.driver("control", name)["control"]

    def set_mode(self, name):
        while self.strip("mode")["text"] != name:
            self.driver("click", "mode")

    def fresh_capture(self):
        """Stops what plays and starts the capture afresh for what comes next."""
        self.driver("appcommand", APPCOMMAND_MEDIA_STOP)
        self.session.quiet_audio(quiet=0.5)
        if os.path.exists(self.session.bench.audio_path):
            os.remove(self.session.bench.audio_path)

    def played(self, row, songs):
        """Plays the row and returns the titles shown, in order, until `songs` songs' worth was heard."""
        capture = self.session.capture()
        known = {r[3] for r in self.rows()}  # a title read while it changed is not taken for a song
        self.play(row)
        enough = songs * SONG_SECONDS * 44100
        lines = self.session.watch("watch-title", 120000, timeout=60,
                                   until=lambda: capture.frames() >= enough)
        titles = []
        for _, line in lines:
            title = re.sub(r" \[\d+k\]$", "", line.get("title", ""))  # the bit rate given, when said
            if title.startswith(PLAYING) and title[len(PLAYING):] in known and \
                    (not titles or titles[-1] != title[len(PLAYING):]):
                titles.append(title[len(PLAYING):])
        return titles

    def test_each_mode_plays_the_list_in_its_order_and_the_songs_join_without_a_gap(self):
        self.start(plays_on=True)
        self.search(FIVE, rows=5)
        titles = [r[3] for r in self.rows()]
        self.assertEqual(sorted(titles), ["音调 21", "音调 23", "音调 25", "音调 27", "音调 29"])
        self.assertEqual(self.strip("mode")["text"], "顺序播放")

        # In order: the five from the first row, then silence.
        self.fresh_capture()
        self.assertEqual(self.played(0, 4.6), titles)
        capture = self.session.capture()
        self.session.quiet_audio(quiet=1.0)
        self.assertLess(capture.frames(), 5.5 * SONG_SECONDS * 44100, "sound after the last row")

        # The joins: the capture's longest silence inside the sound is no longer than the longest the
        # files hold at a join (the end of one and the start of the next), within one device period; and
        # the device was fed on through each join.
        fmt = capture.format()
        heard = left(capture.pcm(), fmt["channels"])
        files = [decoded(self.service.song_file(self.service.song(t))) for t in titles]
        self.assertTrue(all(rate == fmt["rate"] for _, rate in files), "no conversion of rate")
        self.assertGreaterEqual(len(heard), sum(len(s) for s, _ in files) * 0.98, "less heard than the songs hold")
        own = max(edges(a)[1] + edges(b)[0] for (a, _), (b, _) in zip(files, files[1:]))
        self.assertLessEqual(longest_quiet_inside(heard), own + DEVICE_PERIOD * fmt["rate"],
                             f"a gap between songs (the files hold {own} quiet samples at a join)")
        joins = list(itertools.accumulate(len(s) for s, _ in files[:-1]))
        at_joins = [(f, t) for f, t in capture.gaps(DEVICE_PERIOD) if any(abs(f - j) < 0.1 * fmt["rate"] for j in joins)]
        self.assertEqual(at_joins, [], "the device ran dry between songs")

        # Repeat list: from the fourth row on, round past the end to the top.
        self.fresh_capture()
        self.set_mode("列表循环")
        self.assertEqual(self.played(3, 3.4)[:4], titles[3:] + titles[:2])

        # Shuffle: the five once each, in some order, and then on to another round.
        self.fresh_capture()
        self.set_mode("随机播放")
        order = self.played(0, 5.4)
        self.assertGreaterEqual(len(order), 6, "shuffle stopped after one round")
        self.assertEqual(order[0], titles[0], "the row clicked plays first")
        self.assertEqual(sorted(order[:5]), sorted(titles), "a song came twice before every song had come")

    def test_the_volume_bar_at_half_lowers_what_is_heard_by_six_decibels(self):
        self.start(plays_on=True)
        self.search(FIVE, rows=5)
        self.set_mode("单曲循环")  # one tone, on and on
        self.fresh_capture()
        capture = self.session.capture()
        self.play(0)
        self.wait_for(lambda: capture.frames() > 0.8 * 44100, what="the song's first 0.8 s")
        rate, channels = capture.format()["rate"], capture.format()["channels"]

        def loudness(from_frame):  # 0.4 s heard from the frame on, once it was heard
            self.wait_for(lambda: capture.frames() >= from_frame + 0.4 * rate, what="0.4 s more sound")
            pcm = capture.pcm()[int(from_frame) * 2 * channels:int(from_frame + 0.4 * rate) * 2 * channels]
            return rms(left(pcm, channels))

        full = loudness(capture.frame_at(time.monotonic()) - 0.5 * rate)
        for _ in range(5):
            self.driver("key", "volume", VK_PRIOR)
        self.wait_for(lambda: self.strip("volume")["position"] == 50, what="the volume bar at 50")
        # What the device held before the change is still heard for a moment.
        half = loudness(capture.frame_at(time.monotonic()) + 0.2 * rate)
        self.assertAlmostEqual(20 * math.log10(half / full), -6.02, delta=1.0)
        self.assertEqual(re.sub(r" \[\d+k\]$", "", self.driver("window")["window"]["title"]), PLAYING + self.rows()[0][3],
                         "repeat one left the song")


if __name__ == "__main__":
    import unittest
    unittest.main()
