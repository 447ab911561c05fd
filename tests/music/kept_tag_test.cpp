// A kept song's whole tag and its ".lrc": only the program's own files are rewritten, nothing twice, and
// a file of the user's is never written over.
#include "music/kept_tag.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_files.hpp"
#include "fakes/test_song.hpp"
#include "music/lrc.hpp"
#include "runtime/mp3_frames.hpp"

namespace qiwa {
namespace {

const Text kSong = "C:\\Qiwa\\晴天.mp3", kLrc = "C:\\Qiwa\\晴天.lrc";
const Track kTrack{"晴天", "1000", "p1000", "1000", "netease", "周杰伦", "叶惠美"};

SongExtras extras() {
  return {{0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}, read_lyrics("[00:01.00]故事的小黄花\n[00:02.50]从出生那年就飘着\n"), {}};
}

// The program's file gets cover, lyrics and timed lines, keeps the replay gain it had and its audio; a
// second time there is nothing to write.
TEST(KeptTag, TheProgramsFileGetsItsWholeTagOnce) {
  fakes::FakeFiles files;
  SongTag first = song_tag(kTrack);
  first.gain_db = -4.5;
  first.peak = 0.5;
  const Text song = fakes::test_song();
  const Text audio = song.substr(id3v2_size(reinterpret_cast<const unsigned char*>(song.data()), song.size()));
  files.put(kSong, fakes::tag_text(first) + song);
  ASSERT_EQ(tag_kept_song(files, kSong, kTrack, extras()), KeptTag::tagged);
  const SongTag now = kept_tag(kTrack, extras(), first);
  EXPECT_TRUE(files.read(kSong) == fakes::tag_text(now) + audio);
  EXPECT_EQ(now.lyrics, "故事的小黄花\r\n从出生那年就飘着\r\n");
  EXPECT_EQ(now.timed_lyrics.size(), 2u);
  EXPECT_EQ(now.gain_db, -4.5);
  const std::size_t created = files.created().size();
  EXPECT_EQ(tag_kept_song(files, kSong, kTrack, extras()), KeptTag::already);
  EXPECT_EQ(files.created().size(), created);
  EXPECT_EQ(tag_kept_song(files, kSong, kTrack, {}), KeptTag::tagged) << "what the service says now";
}

// Another song's tag, a user's tag, no tag, no file: nothing is written; a failed retag says so.
TEST(KeptTag, AFileNotTheProgramsOfThisSongIsLeftAlone) {
  fakes::FakeFiles files;
  Track other = kTrack;
  other.url_id = "2000";
  for (const Text& before : {fakes::tag_text(song_tag(other)), fakes::tag_text(SongTag{"晴天", "", "", {}}), Text()}) {
    files.put(kSong, before + fakes::test_song());
    EXPECT_EQ(tag_kept_song(files, kSong, kTrack, extras()), KeptTag::not_ours);
    EXPECT_TRUE(files.read(kSong) == before + fakes::test_song());
  }
  files.remove(kSong);
  EXPECT_EQ(tag_kept_song(files, kSong, kTrack, extras()), KeptTag::not_ours);
  files.put(kSong, fakes::tag_text(song_tag(kTrack)) + fakes::test_song());
  files.fill_disk_after(100);
  EXPECT_EQ(tag_kept_song(files, kSong, kTrack, extras()), KeptTag::failed);
  EXPECT_TRUE(files.read(kSong) == fakes::tag_text(song_tag(kTrack)) + fakes::test_song());
}

// The ".lrc" beside the song: written once, the same one found again, a different one (the user's)
// kept byte for byte, none without lyrics.
TEST(KeptTag, TheLrcBesideTheSongNeverReplacesAnotherFile) {
  fakes::FakeFiles files;
  EXPECT_EQ(lrc_path(kSong), kLrc);
  EXPECT_EQ(lrc_path("C:\\Qiwa\\a.mp3.b"), "C:\\Qiwa\\a.mp3.b.lrc");
  EXPECT_EQ(write_lrc(files, kSong, {}), LrcFile::none);
  EXPECT_FALSE(files.exact_exists(kLrc));
  ASSERT_EQ(write_lrc(files, kSong, extras().lyrics), LrcFile::written);
  const Text lrc = *files.read(kLrc);
  EXPECT_EQ(lrc.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(lrc.find("[00:01.00]故事的小黄花\r\n"), Text::npos);
  EXPECT_EQ(write_lrc(files, kSong, extras().lyrics), LrcFile::same);
  files.put(kLrc, "the user's own lyrics");
  EXPECT_EQ(write_lrc(files, kSong, extras().lyrics), LrcFile::kept);
  EXPECT_EQ(files.read(kLrc), "the user's own lyrics");
  files.remove(kLrc);
  files.refuse(".lrc");
  EXPECT_EQ(write_lrc(files, kSong, extras().lyrics), LrcFile::failed);
}

}  // namespace
}  // namespace qiwa
