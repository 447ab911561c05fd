"""What a user hears: a played song comes out of the sound device as its tone, the pause button holds
the sound and lets it go on, a new song takes over from the one playing, and closing the window while a
song plays ends the program and deletes that song too (when asked to, by 选择框1).

The bench captures the sound device into the run directory's audio.raw, afresh at every opening of the
device (the player opens it once per song)."""
import array
import math
import os
import time
import unittest

import qiwa_e2e

PLAYING = "当前播放音乐:"
PAUSE, RESUME = "暂停播放", "继续播放"  # the captions of 按钮4
SONG_PCM = 4 * 44100 * 4  # a demo song: 4 s of 16-bit stereo at 44.1 kHz
BIG = "fault:song-big"  # one long song (the demo song repeated for 50 MB)


def left_channel(raw):
    samples = array.array("h")
    samples.frombytes(raw[:len(raw) // 4 * 4])
    return samples[0::2]


def loudness(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) / 32768 if samples else 0.0


def frequency(samples, rate=44100, level=2000):
    """The tone's frequency from its rises through zero; the codec's faint noise at the edges, where
    the sound stays below `level`, is not counted."""
    rises, low = 0, False
    for s in samples:
        if s < -level:
            low = True
        elif s > level and low:
            rises += 1
            low = False
    return rises * rate / len(samples) if samples else 0.0


class PlayAudioTest(qiwa_e2e.ServiceTestCase):
    def captured(self):
        return self.session.audio_bytes()

    def audio(self):
        with open(self.session.bench.audio_path, "rb") as f:
            return f.read()

    def quiet_size(self, timeout=60):
        return self.session.quiet_audio(timeout)

    def wait_growth(self, past, by=100000, timeout=30):
        self.wait_for(lambda: self.captured() >= past + by, timeout=timeout,
                      what=f"{by} more bytes of sound after {past}")

    def play_title(self, words, title):
        self.search(words, rows=1)
        self.play(0)
        self.wait_title(PLAYING + title, timeout=60)

    def caption(self):
        return self.control(self.dump(), "按钮4")["text"]

    def test_a_played_song_is_heard_as_its_tone(self):
        self.start()
        song = self.service.song("晴天")
        self.play_title("晴天", "晴天")
        size = self.quiet_size()
        self.assertGreaterEqual(size, SONG_PCM * 0.9, "less sound than the song holds")
        self.assertLess(size, SONG_PCM * 2, "the song was played more than once")
        samples = left_channel(self.audio())
        self.assertGreater(loudness(samples), 0.1, "silence, not the song")
        self.assertAlmostEqual(frequency(samples), song["freq"], delta=song["freq"] * 0.05)
        self.assertEqual(self.caption(), PAUSE)

    def test_the_pause_button_holds_the_sound_and_lets_it_go_on(self):
        self.start()
        self.play_title(BIG, "故障 song-big")
        self.wait_growth(0)
        self.driver("click", "按钮4")
        self.assertEqual(self.caption(), RESUME)
        held = self.quiet_size()
        time.sleep(1)
        self.assertEqual(self.captured(), held, "sound while paused")
        self.driver("click", "按钮4")
        self.assertEqual(self.caption(), PAUSE)
        self.wait_growth(held)
        samples = left_channel(self.audio()[held:])
        self.assertGreater(loudness(samples), 0.1, "silence after resuming")

    def test_a_new_song_takes_over_from_the_one_playing(self):
        self.start()
        self.play_title(BIG, "故障 song-big")
        self.wait_growth(0)
        song = self.service.song("江南")
        self.play_title("江南", "江南")
        # The long song would go on for minutes: the sound ends with the new, short one. The device stays
        # open from song to song, so the capture holds the long song's start before it.
        taken_over = self.captured()
        size = self.quiet_size()
        self.assertLess(size - taken_over, SONG_PCM * 1.5, "the long song went on")
        tail = self.audio()[max(taken_over, size - int(SONG_PCM * 0.5)):size]
        self.assertAlmostEqual(frequency(left_channel(tail)), song["freq"], delta=song["freq"] * 0.05)

    def test_closing_the_window_while_a_song_plays_deletes_it(self):
        self.start()
        self.play_title(BIG, "故障 song-big")
        self.wait_growth(0)
        program = self.session.program
        self.wait_for(lambda: "故障 song-big.mp3" in program.files(), timeout=30, what="the song in place")
        self.driver("check", "选择框1")  # the user asks for this run's songs to go at exit
        self.driver("close")
        self.assertEqual(program.wait_exit(15), 0, "the program did not end")
        self.assertEqual([f for f in program.files() if f.lower().endswith(".mp3")], [],
                         "the playing song was left behind")


if __name__ == "__main__":
    unittest.main()
