"""A kept song's tag as Debian's mutagen reads it: title, singer, album, the cover's bytes as the
service served them and the lyrics; the ".lrc" beside the song when the setting asks for one."""
import base64
import json
import os
import subprocess
import urllib.request
import unittest

import qiwa_e2e
from test_play import PlayCase

# Debian's python3-mutagen, run by Debian's python (the tests' own python may lack it).
READ_TAG = r"""
import base64, json, sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
text = lambda k: str(t[k]) if k in t else None
print(json.dumps({"version": list(t.version), "title": text("TIT2"), "singer": text("TPE1"), "album": text("TALB"),
                  "covers": [base64.b64encode(f.data).decode() for f in t.getall("APIC")],
                  "lyrics": [f.text for f in t.getall("USLT")],
                  "source": [f.text[0] for f in t.getall("TXXX") if f.desc == "QIWA_SOURCE"]}))
"""


def mutagen_tag(path):
    out = subprocess.run(["/usr/bin/python3", "-c", READ_TAG, path], check=True, capture_output=True)
    return json.loads(out.stdout)


class TagsTest(PlayCase):
    def play_kept(self, lrc):
        """晴天 played with the ".lrc" setting on or off, until its tag carries the lyrics."""
        def settings(run_dir):
            with open(os.path.join(run_dir, "QiwaMusic.ini"), "a", encoding="utf-8") as f:
                f.write(f"save_lrc={1 if lrc else 0}\n")
        self.start(prepare=settings)
        self.search("晴天", rows=1)
        self.play_and_wait("晴天")
        path = os.path.join(self.session.program.run_dir, "晴天.mp3")
        # The whole tag follows the cover's and lyrics' fetches, on a worker.
        self.wait_for(lambda: mutagen_tag(path)["lyrics"], timeout=20, what="the lyrics in the song's tag")
        return path

    def test_the_kept_song_carries_its_whole_tag_and_its_lrc(self):
        path = self.play_kept(lrc=True)
        song = self.service.song("晴天")
        tag = mutagen_tag(path)
        self.assertEqual(tag["version"][:2], [2, 3])
        self.assertEqual((tag["title"], tag["singer"], tag["album"]), ("晴天", "周杰伦", "叶惠美"))
        self.assertEqual(tag["source"], ["netease"])
        cover_path = self.service.requests(lambda r: r.path.startswith("/cover/"))[0].path
        with urllib.request.urlopen(self.service.url + cover_path) as answer:
            served = answer.read()
        self.assertEqual([base64.b64decode(c) for c in tag["covers"]], [served])
        self.assertEqual(tag["lyrics"], [song["lyric_shown"]])
        with open(self.service.song_file(song), "rb") as g:
            audio = qiwa_e2e.song_audio(g.read())  # the service's ID3v1 tag goes with its ID3v2 tag
        self.assertEqual(qiwa_e2e.saved_body(path), audio, "the audio is not the song the service sent, byte for byte")
        with open(os.path.join(os.path.dirname(path), "晴天.lrc"), "rb") as f:
            lrc = f.read()
        self.assertTrue(lrc.startswith(b"\xef\xbb\xbf"), lrc[:20])
        lines = lrc[3:].decode("utf-8").split("\r\n")
        self.assertEqual(lines[-1], "", "CR LF ended")
        for shown in filter(None, song["lyric_shown"].split("\r\n")):
            self.assertTrue(any(line.startswith("[") and line.endswith("]" + shown) for line in lines),
                            f"{shown!r} is not a timed line of the .lrc")

    def test_no_lrc_without_the_setting(self):
        path = self.play_kept(lrc=False)
        self.assertEqual(self.songs_in(os.path.dirname(path)), ["晴天.mp3"])
        self.assertFalse(os.path.exists(os.path.join(os.path.dirname(path), "晴天.lrc")))


if __name__ == "__main__":
    unittest.main()
