#!/usr/bin/python3
"""The tags the program writes, read by Debian's mutagen (its mid3v2 and its library) and the audio decoded
by ffmpeg before and after: the independent check of the ID3v2.3 writer and the retag.
    tag_check.py QIWA_TAG_TOOL SONG.mp3
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from mutagen.id3 import APIC, ID3, TALB, TIT2, TPE1, USLT

TOOL, SONG = sys.argv[1], sys.argv[2]
LINES = ["晴天 - 周杰伦", "故事的小黄花", "从出生那年就飘着"]


def pcm_digest(path):
    """The decoded audio, as ffmpeg hears it."""
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-"],
                         check=True, capture_output=True).stdout
    return hashlib.sha256(out).hexdigest(), len(out)


def audio_bytes(path):
    """The file's bytes after its ID3v2 tag, without an ID3v1 tag at the end."""
    data = open(path, "rb").read()
    size = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]) if data[:3] == b"ID3" else 0
    if data[size:size + 3] == b"ID3":
        raise AssertionError("a second ID3v2 tag after the first")
    end = len(data) - 128 if data[-128:-125] == b"TAG" else len(data)
    return data[size:end]


class TagCheck(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.song = os.path.join(self.dir, "song.mp3")
        shutil.copy(SONG, self.song)
        self.cover = os.path.join(self.dir, "cover.jpg")

    def service_tags(self):
        """The song as a service may send it: an ID3v2.4 tag with a picture of its own, and an ID3v1 tag."""
        tags = ID3()
        tags.add(TIT2(encoding=3, text="service title"))
        tags.add(TPE1(encoding=3, text="service singer"))
        tags.add(APIC(encoding=3, mime="image/png", type=3, desc="", data=b"\x89PNG\r\n\x1a\n" + b"old" * 100))
        tags.save(self.song, v2_version=4, v1=2)
        self.assertEqual(open(self.song, "rb").read()[-128:-125], b"TAG")

    def tag(self, cover):
        with open(self.cover, "wb") as f:
            f.write(cover)
        before = pcm_digest(self.song), audio_bytes(self.song)
        subprocess.run([TOOL, self.song, self.cover], check=True)
        self.assertEqual((pcm_digest(self.song), audio_bytes(self.song)), before, "the audio is not the same")
        return ID3(self.song)

    def test_every_frame_reads_back_and_the_service_tags_are_gone(self):
        self.service_tags()
        cover = subprocess.run(["convert", "-size", "64x48", "gradient:red-blue", "jpg:-"], check=True,
                               capture_output=True).stdout
        tags = self.tag(cover)
        self.assertEqual(tags.version, (2, 3, 0))
        self.assertEqual(tags["TIT2"].text, ["晴天"])
        self.assertEqual(tags["TPE1"].text, ["周杰伦 / 杨瑞代"])
        self.assertEqual(tags["TALB"].text, ["叶惠美"])
        pictures = tags.getall("APIC")
        self.assertEqual(len(pictures), 1)
        self.assertEqual((pictures[0].mime, pictures[0].type, pictures[0].data), ("image/jpeg", 3, cover))
        lyrics = tags.getall("USLT")
        self.assertEqual(len(lyrics), 1)
        self.assertEqual((lyrics[0].lang, lyrics[0].text), ("XXX", "\r\n".join(LINES) + "\r\n"))
        synced = tags.getall("SYLT")[0]
        self.assertEqual((synced.format, synced.type), (2, 1))
        self.assertEqual(synced.text, [(LINES[0], 0), (LINES[1], 29260), (LINES[2], 62500)])
        self.assertEqual(tags["TXXX:QIWA_SOURCE"].text, ["netease"])
        self.assertEqual(tags["TXXX:QIWA_ID"].text, ["186016"])
        self.assertEqual(tags["TXXX:REPLAYGAIN_TRACK_GAIN"].text, ["-6.52 dB"])
        self.assertEqual(tags["TXXX:REPLAYGAIN_TRACK_PEAK"].text, ["0.988553"])
        self.assertNotEqual(open(self.song, "rb").read()[-128:-125], b"TAG", "the ID3v1 tag is dropped")
        # mid3v2, the command line of the same library, lists the texts.
        listing = subprocess.run(["mid3v2", "-l", self.song], check=True, capture_output=True,
                                 env=dict(os.environ, LANG="C.UTF-8")).stdout.decode()
        self.assertIn("TIT2=晴天", listing)
        self.assertIn("REPLAYGAIN_TRACK_GAIN", listing)
        with open(self.song + ".lrc", "rb") as f:
            self.assertEqual(f.read().decode("utf-8"),
                             "\ufeff[00:00.00]晴天 - 周杰伦\r\n[00:29.26]故事的小黄花\r\n[01:02.50]从出生那年就飘着\r\n")

    def test_a_large_cover_and_a_second_retag(self):
        cover = b"\xff\xd8\xff\xe0" + os.urandom(3 << 20)
        self.tag(b"\x89PNG\r\n\x1a\n" + os.urandom(1000))
        tags = self.tag(cover)  # the program's own tag replaced, not doubled
        pictures = tags.getall("APIC")
        self.assertEqual([(p.mime, p.data == cover) for p in pictures], [("image/jpeg", True)])
        self.assertEqual(len(tags.getall("USLT")), 1)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
