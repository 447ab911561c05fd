"""Loudness levelling as a user meets it: a kept song's file carries REPLAYGAIN_TRACK_GAIN and _PEAK as
Debian's mutagen reads them, the gain being -18 LUFS less ffmpeg's ebur128 figure of the same file; with
音量均衡 ticked the next play is heard quieter or louder by that gain, and unticked as loud as before."""
import math
import os
import subprocess
import tempfile

from test_listening import LOUD, left, rms
from test_play import PlayCase

READ_GAIN = r"""
import json, sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
print(json.dumps({f.desc: f.text[0] for f in t.getall("TXXX") if f.desc.startswith("REPLAYGAIN_")}))
"""


def replay_gain(path):
    """The file's REPLAYGAIN_* texts as Debian's mutagen reads them."""
    import json
    out = subprocess.run(["/usr/bin/python3", "-c", READ_GAIN, path], check=True, capture_output=True)
    return json.loads(out.stdout)


def ffmpeg_lufs(path):
    """The file's integrated loudness by ffmpeg's ebur128 filter, to its full precision."""
    with tempfile.TemporaryDirectory() as tmp:
        log = os.path.join(tmp, "r128.log")
        subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", path, "-af",
                        f"ebur128=metadata=1,ametadata=mode=print:file={log}", "-f", "null", "-"], check=True)
        with open(log, encoding="utf-8") as f:
            values = [line.split("=", 1)[1] for line in f if line.startswith("lavfi.r128.I=")]
    return float(values[-1])


class LevellingTest(PlayCase):
    def heard_level(self):
        """Plays the first row and gives the level (dB of the left channel's RMS) of 1 s of its tone as
        heard, from half a second after its first sound."""
        self.session.quiet_audio(quiet=0.5)
        if os.path.exists(self.session.bench.audio_path):
            os.remove(self.session.bench.audio_path)
        capture = self.session.capture()
        self.play(0)
        channels = 2

        def sound():
            samples = left(capture.pcm(), channels)
            loud = next((i for i, s in enumerate(samples) if abs(s) > LOUD / 4), None)
            return samples[loud + 22050:loud + 66150] if loud is not None and len(samples) > loud + 66150 else None
        samples = self.wait_for(sound, timeout=30, what="1.5 s of the song heard")
        return 20 * math.log10(rms(samples))

    def relaunch(self, level):
        """The program closed, and started again in the same run directory with 音量均衡 as given."""
        run_dir = self.session.program.run_dir
        self.session.stop_program()
        with open(os.path.join(run_dir, "QiwaMusic.ini"), "a", encoding="utf-8") as f:
            f.write(f"level_loudness={1 if level else 0}\n")
        self.launch(run_dir=run_dir)
        self.wait_window()
        self.search("晴天", rows=1)

    def test_the_kept_song_carries_its_gain_and_plays_levelled_only_when_ticked(self):
        self.start()
        self.search("晴天", rows=1)
        first = self.heard_level()  # the song's first play, from its download
        path = os.path.join(self.session.program.run_dir, "晴天.mp3")
        tag = self.wait_for(lambda: os.path.exists(path) and
                            (lambda g: g if "REPLAYGAIN_TRACK_GAIN" in g else None)(replay_gain(path)),
                            timeout=30, what="the replay gain in the song's tag")
        self.assertRegex(tag["REPLAYGAIN_TRACK_GAIN"], r"^[+-]\d+\.\d\d dB$")
        gain = float(tag["REPLAYGAIN_TRACK_GAIN"].split()[0])
        self.assertAlmostEqual(gain, -18 - ffmpeg_lufs(path), delta=0.1)
        peak = float(tag["REPLAYGAIN_TRACK_PEAK"])
        self.assertTrue(0 < peak <= 1, peak)

        self.relaunch(level=True)
        levelled = self.heard_level()
        expected = min(gain, -20 * math.log10(peak))  # never above full scale
        self.assertAlmostEqual(levelled - first, expected, delta=1.0)
        self.relaunch(level=False)
        self.assertAlmostEqual(self.heard_level(), first, delta=0.2, msg="unticked, the song is as it was")
        self.assertEqual(replay_gain(path), tag, "measured once")

if __name__ == "__main__":
    import unittest
    unittest.main()
