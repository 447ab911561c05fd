// A kept song's tag put in its file: the audio byte for byte, the old tags gone, the song whole whatever
// fails.
#include "music/retag.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_files.hpp"
#include "fakes/test_song.hpp"
#include "music/track.hpp"
#include "runtime/mp3_frames.hpp"

namespace qiwa {
namespace {

const Text kSong = "C:\\Qiwa\\晴天.mp3";

SongTag kept_tag() {
  SongTag tag{"晴天", "周杰伦", "叶惠美", {{"QIWA_SOURCE", "netease"}, {"QIWA_ID", "1000"}}};
  tag.cover = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
  tag.lyrics = "故事的小黄花\r\n";
  tag.gain_db = -6.52;
  tag.peak = 0.988553;
  return tag;
}

// A tag of another writer: version 2.4, `body` bytes of padding, a footer when asked.
Text other_tag(std::size_t body, bool footer = false) {
  Text out = {'I', 'D', '3', 4, 0, static_cast<char>(footer ? 0x10 : 0)};
  for (int shift : {21, 14, 7, 0}) out.push_back(static_cast<char>((body >> shift) & 0x7F));
  out.append(body, '\0');
  if (footer) out += Text("3DI\x04\0\0", 6) + out.substr(6, 4);
  return out;
}

Text id3v1() {
  return "TAG" + Text(125, 'x');
}

// The test song's MP3 frames, without the tag its encoder put before them.
Text audio_frames() {
  const Text song = fakes::test_song();
  return song.substr(id3v2_size(reinterpret_cast<const unsigned char*>(song.data()), song.size()));
}

TEST(Retag, TheSongGetsTheNewTagAndKeepsItsAudioByteForByte) {
  fakes::FakeFiles files;
  const Text audio = audio_frames();
  files.put(kSong, other_tag(300, true) + other_tag(20) + audio + id3v1());
  ASSERT_EQ(retag_song(files, kSong, kept_tag()), Retag::done);
  EXPECT_TRUE(files.read(kSong) == fakes::tag_text(kept_tag()) + audio)
      << "the service's tags and the ID3v1 gone";
  EXPECT_EQ(files.created(), (std::vector<Text>{kSong + ".4242-1.retag"}));
  EXPECT_EQ(files.names_in("C:\\Qiwa"), (std::set<Text>{"晴天.mp3"}));

  // Tagged again: replaced, not doubled; a song with no tag at all takes one too.
  SongTag again = kept_tag();
  again.title = "晴天 (Live)";
  ASSERT_EQ(retag_song(files, kSong, again), Retag::done);
  EXPECT_TRUE(files.read(kSong) == fakes::tag_text(again) + audio);
  files.put("C:\\Qiwa\\bare.mp3", audio);
  ASSERT_EQ(retag_song(files, "C:\\Qiwa\\bare.mp3", again), Retag::done);
  EXPECT_TRUE(files.read("C:\\Qiwa\\bare.mp3") == fakes::tag_text(again) + audio);
}

// Tags larger than a piece of the copy, audio many pieces long, and a last piece shorter than an ID3v1 tag.
TEST(Retag, LargeTagsAndLongSongsAreCopiedPieceByPiece) {
  fakes::FakeFiles files;
  Text audio;
  while (audio.size() < (3 << 20) + 77) audio += audio_frames();
  audio.resize((3 << 20) + 77);
  files.put(kSong, other_tag(700 * 1024) + audio);
  SongTag tag = kept_tag();
  tag.cover.resize(1 << 20, 0x5A);
  ASSERT_EQ(retag_song(files, kSong, tag), Retag::done);
  EXPECT_TRUE(files.read(kSong) == fakes::tag_text(tag) + audio);
  files.put(kSong, audio.substr(0, 100));  // shorter than an ID3v1 tag
  ASSERT_EQ(retag_song(files, kSong, tag), Retag::done);
  EXPECT_TRUE(files.read(kSong) == fakes::tag_text(tag) + audio.substr(0, 100));
}

// A retagged song is still found as the song saved before: its identity within the first bytes read,
// whole past a large cover.
TEST(Retag, ARetaggedSongIsStillTheSongSavedBefore) {
  fakes::FakeFiles files;
  Track track{"晴天", "1000", "", "", "netease", "周杰伦", "叶惠美"};
  files.put(kSong, fakes::tag_text(song_tag(track)) + audio_frames());
  SongTag tag = song_tag(track);
  tag.cover.assign(3 << 20, 0x5A);
  tag.cover[0] = 0xFF, tag.cover[1] = 0xD8, tag.cover[2] = 0xFF;
  ASSERT_EQ(retag_song(files, kSong, tag), Retag::done);
  EXPECT_EQ(find_song_place(files, "C:\\Qiwa", "晴天", track).saved, kSong);
}

// The new file's name never meets a file that is there: the user's own is passed over and kept.
TEST(Retag, TheNewFileTakesANameNoFileHas) {
  fakes::FakeFiles files;
  files.put(kSong, fakes::test_song());
  files.put(kSong + ".4242-1.retag", "the user's own");
  ASSERT_EQ(retag_song(files, kSong, kept_tag()), Retag::done);
  EXPECT_EQ(files.read(kSong + ".4242-1.retag"), "the user's own");
  EXPECT_EQ(files.created(), (std::vector<Text>{kSong + ".4242-2.retag"}));
  EXPECT_EQ(files.names_in("C:\\Qiwa").size(), 2u);
}

// Whatever fails, the song is as it was and no new file stays.
TEST(Retag, AFailureLeavesTheSongAsItWas) {
  const Text before = other_tag(30) + fakes::test_song() + id3v1();
  const auto attempt = [&](const std::function<void(fakes::FakeFiles&)>& scene, const Text& song = "") {
    fakes::FakeFiles files;
    files.put(kSong, song.empty() ? before : song);
    scene(files);
    const Retag result = retag_song(files, kSong, kept_tag());
    EXPECT_TRUE(files.read(kSong) == (song.empty() ? before : song));
    EXPECT_EQ(files.names_in("C:\\Qiwa"), (std::set<Text>{"晴天.mp3"}));
    return result;
  };
  EXPECT_EQ(attempt([](fakes::FakeFiles& f) { f.fill_disk_after(20000); }), Retag::no_room);
  EXPECT_EQ(attempt([](fakes::FakeFiles& f) { f.fill_disk_after(10); }), Retag::no_room);
  EXPECT_EQ(attempt([](fakes::FakeFiles& f) { f.refuse(".retag"); }), Retag::no_room);
  EXPECT_EQ(attempt([](fakes::FakeFiles& f) { f.make_directory(kSong + ".4242-1.retag"); }), Retag::no_room);
  EXPECT_EQ(attempt([](fakes::FakeFiles& f) {
              f.before_create([&f](std::string_view) { f.refuse_reading(kSong); });  // unreadable from now on
            }),
            Retag::unreadable);
  EXPECT_EQ(attempt([](fakes::FakeFiles& f) { f.fail_replacements(); }), Retag::not_replaced);
  EXPECT_EQ(attempt([](fakes::FakeFiles&) {}, other_tag(50)), Retag::no_audio);
  EXPECT_EQ(attempt([](fakes::FakeFiles&) {}, other_tag(5000).substr(0, 100)), Retag::no_audio)
      << "a tag that claims more than the file holds";
  fakes::FakeFiles files;
  EXPECT_EQ(retag_song(files, kSong, kept_tag()), Retag::unreadable);
  EXPECT_TRUE(files.created().empty());
}

}  // namespace
}  // namespace qiwa
