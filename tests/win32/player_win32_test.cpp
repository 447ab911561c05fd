// The MP3 player under Wine: the ACM decoder on the small test songs, and the player heard through the
// bench's captured audio (the ALSA configuration in $HOME/.asoundrc writes everything played to a file).
#include <atomic>
#include <thread>

#include "fakes/memory_song_source.hpp"
#include "runtime/mp3_decoder.hpp"
#include "win32/player_fixture.hpp"

namespace qiwa {
namespace {

using namespace player_test;

// Everything the system's codec makes of a song, read as the player reads it, over `passes` passes.
Bytes decode_all(const Bytes& song, int passes = 1) {
  fakes::MemorySongSource source(song);
  Mp3FrameReader frames(source);
  if (frames.open() != FrameRead::frame) return {};
  std::unique_ptr<Mp3Codec> codec = open_acm_codec(frames.format());
  if (!codec) return {};
  Mp3Decoder decoder(frames, *codec);
  Bytes pcm;
  unsigned char piece[3000];  // not a multiple of anything the codec uses
  for (int pass = 0; pass < passes; ++pass) {
    if (pass > 0) {
      frames.rewind();
      decoder.restart();
    }
    for (;;) {
      Decoded d = decoder.read(piece, sizeof piece);
      pcm.insert(pcm.end(), piece, piece + d.bytes);
      if (d.status != FrameRead::frame) break;
    }
  }
  return pcm;
}

bool is_song(const Bytes& data) {
  fakes::MemorySongSource source(data);
  return Mp3FrameReader(source).open() == FrameRead::frame;
}

double seconds_of(const Bytes& pcm, int rate, int channels) {
  return static_cast<double>(pcm.size()) / (2.0 * rate * channels);
}

TEST(Mp3CodecWin32, DecodesTheTestSongsToTheirLength) {
  struct Case {
    const char* name;
    int rate, channels;
    double seconds;
  };
  for (Case c : {Case{"tone_cbr.mp3", 44100, 2, 3.0}, Case{"tone_vbr.mp3", 22050, 1, 1.0},
                 Case{"tone_mpeg25.mp3", 8000, 1, 0.58}}) {
    SCOPED_TRACE(c.name);
    Bytes song = data_file(c.name);
    ASSERT_FALSE(song.empty());
    fakes::MemorySongSource source(song);
    Mp3FrameReader frames(source);
    ASSERT_EQ(frames.open(), FrameRead::frame);
    std::unique_ptr<Mp3Codec> codec = open_acm_codec(frames.format());
    ASSERT_TRUE(codec);
    EXPECT_EQ(codec->pcm().sample_rate, c.rate);
    EXPECT_EQ(codec->pcm().channels, c.channels);
    EXPECT_EQ(codec->pcm().block_align, 2 * c.channels);  // 16-bit

    Bytes once = decode_all(song);
    // Codec delay and padding make it a little longer or shorter, never by a tenth of a second.
    EXPECT_NEAR(seconds_of(once, c.rate, c.channels), c.seconds, 0.1);
    EXPECT_GT(rms(once), 0.2);  // a loud tone, not silence or noise at the bottom bits
    Bytes twice = decode_all(song, 2);
    EXPECT_NEAR(seconds_of(twice, c.rate, c.channels), 2 * c.seconds, 0.2);
  }
}

TEST(Mp3CodecWin32, PassesOverGarbageAndStopsAtACut) {
  Bytes song = data_file("tone_cbr.mp3");
  ASSERT_GT(song.size(), 20000u);
  const double full = seconds_of(decode_all(song), 44100, 2);

  // Noise in the middle is skipped; the frames on either side still play.
  Bytes spliced(song.begin(), song.begin() + 12000);
  Bytes junk = noise(3000, 7);
  spliced.insert(spliced.end(), junk.begin(), junk.end());
  spliced.insert(spliced.end(), song.begin() + 12000, song.end());
  Bytes pcm = decode_all(spliced);
  EXPECT_NEAR(seconds_of(pcm, 44100, 2), full, 0.15);
  EXPECT_GT(rms(pcm), 0.2);

  // A cut song plays what is there.
  Bytes cut(song.begin(), song.begin() + static_cast<std::ptrdiff_t>(song.size() / 2));
  EXPECT_NEAR(seconds_of(decode_all(cut), 44100, 2), full / 2, 0.2);

  // No frame at all: nothing to open a decoder for.
  EXPECT_FALSE(is_song(Bytes{}));
  EXPECT_FALSE(is_song(text_bytes("<html><body>404 Not Found</body></html>")));
  EXPECT_FALSE(is_song(noise(5000, 99)));
  EXPECT_FALSE(is_song(Bytes(song.begin(), song.begin() + 300)));  // the tag and half an Info frame
}

TEST(Mp3CodecWin32, SurvivesEveryCutAndFramesOfNoise) {
  // Every prefix of a song ends the decoding within what the prefix holds.
  Bytes vbr = data_file("tone_vbr.mp3");
  ASSERT_FALSE(vbr.empty());
  const double full = seconds_of(decode_all(vbr), 22050, 1);
  for (std::size_t n = 0; n <= vbr.size(); n += 97) {
    Bytes prefix(vbr.begin(), vbr.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_LE(seconds_of(decode_all(prefix), 22050, 1), full + 0.05) << n;
  }
  // Valid headers over noise, between the song's own frames: the codec is handed frames of garbage.
  Bytes song = vbr;
  Bytes header(vbr.begin(), vbr.begin() + 4);
  std::optional<Mp3FrameHeader> h = parse_frame_header(header.data(), header.size());
  ASSERT_TRUE(h);
  for (int round = 0; round < 6; ++round) {
    Bytes fake = noise(h->length * 3, 1000 + round);
    for (std::size_t at = 0; at + 4 <= fake.size(); at += h->length)
      std::copy(header.begin(), header.end(), fake.begin() + at);
    song.insert(song.begin() + static_cast<std::ptrdiff_t>(song.size() / 2), fake.begin(), fake.end());
  }
  Bytes pcm = decode_all(song);
  EXPECT_GT(seconds_of(pcm, 22050, 1), full * 0.8);
  EXPECT_LT(seconds_of(pcm, 22050, 1), full + 1.5);
}

// 16-bit PCM of the test songs: tone_cbr is 3 s of 44.1 kHz stereo, tone_vbr 1 s of 22.05 kHz mono.
constexpr std::uint64_t kCbrBytes = 3 * 44100 * 4;
constexpr std::uint64_t kVbrBytes = 22050 * 2;

TEST_F(PlayerWin32, PlaysASongAndThenFallsQuiet) {
  REQUIRE_CAPTURE();
  Text song = put("单音.mp3", data_file("tone_cbr.mp3"));
  fresh_capture();
  ASSERT_TRUE(player_->play(this->song(song, 1)));
  ASSERT_TRUE(log_.wait_for(PlayerEvent::Kind::drained, 1));
  std::optional<std::uint64_t> once = quiet();
  ASSERT_TRUE(once) << "the song did not end";
  // The device may pad or convert, never drop.
  EXPECT_GE(*once, kCbrBytes * 9 / 10);
  EXPECT_LT(*once, 2 * kCbrBytes);
  EXPECT_TRUE(sound_from(0));
  const PlayerPosition end = player_->position();
  EXPECT_TRUE(end.ended);
  EXPECT_NEAR(static_cast<double>(end.ms), 3000, 60);
}

TEST_F(PlayerWin32, PauseHoldsTheSoundAndResumeGoesOn) {
  REQUIRE_CAPTURE();
  Text song = put("暂停.mp3", data_file("tone_cbr.mp3"));
  fresh_capture();
  ASSERT_TRUE(player_->play_file(song));
  ASSERT_TRUE(reaches(100000));
  player_->pause();
  player_->pause();  // twice is the same as once
  std::optional<std::uint64_t> held = quiet();
  ASSERT_TRUE(held) << "the sound went on after pause";
  const std::int64_t at = player_->position_ms();
  EXPECT_TRUE(player_->position().paused);
  Sleep(1000);
  EXPECT_EQ(captured(), *held);
  EXPECT_EQ(player_->position_ms(), at);
  player_->resume();
  EXPECT_TRUE(reaches(*held + 100000));
  EXPECT_TRUE(sound_from(*held));
  player_->resume();  // not paused: nothing happens
  player_->stop();
  EXPECT_TRUE(quiet());
  EXPECT_EQ(player_->position().id, 0u);
}

// A song set to follow itself, again each time it takes over, plays on without end.
TEST_F(PlayerWin32, ASongFollowingItselfRepeatsAndStopClosesIt) {
  REQUIRE_CAPTURE_IN_SONG_FORMAT();  // it counts the capture in the song's bytes
  Text path = put("重复.mp3", data_file("tone_vbr.mp3"));
  Player& player = *player_;
  player.set_listener([&player, path](const PlayerEvent& e) {
    if (e.kind == PlayerEvent::Kind::advanced) player.set_next(song(path, e.id + 1));
  });
  fresh_capture();
  ASSERT_TRUE(player.play(song(path, 1)));
  player.set_next(song(path, 2));
  EXPECT_TRUE(reaches(4 * kVbrBytes));
  EXPECT_TRUE(sound_from(3 * kVbrBytes));
  EXPECT_GT(player.position().id, 3u);
  player.stop();
  EXPECT_TRUE(quiet());
  // Nothing holds the file: the exit clean-up deletes it right away.
  EXPECT_TRUE(DeleteFileW(wide(path).c_str()));
  player.stop();  // nothing left to stop, pause, resume or seek
  player.pause();
  player.resume();
  EXPECT_FALSE(player.seek(100).done);
}

TEST_F(PlayerWin32, ThePlayingFileCanBeRenamedOrDeletedAndTheSoundGoesOn) {
  REQUIRE_CAPTURE();
  // The song is read as it plays, from a handle that lets the part file it plays take the song's name
  // and the exit clean-up delete it; the sound goes on from what was opened.
  Text part = put("播放中.mp3.1-1.part", data_file("tone_cbr.mp3"));
  Text path = dir_ + "\\播放中.mp3";
  written_.push_back(path);
  fresh_capture();
  ASSERT_TRUE(player_->play(song(part, 1)));
  ASSERT_TRUE(reaches(50000));
  EXPECT_TRUE(files_->move_new(part, path));
  EXPECT_EQ(read_all(wide(path)), data_file("tone_cbr.mp3"));
  EXPECT_TRUE(files_->remove(path)) << GetLastError();
  const std::uint64_t at = captured();
  EXPECT_TRUE(reaches(at + kCbrBytes / 2));
  EXPECT_TRUE(sound_from(at));
  player_->stop();
  EXPECT_TRUE(quiet());
  EXPECT_FALSE(files_->exact_exists(path)) << "gone with the player's handle";
}

// A song still downloading: the player plays what has been written, waits at its end for more, and goes
// on when it comes; the part file may be renamed into place meanwhile. A download that fails ends the sound
// where its bytes end.
TEST_F(PlayerWin32, AGrowingFilePlaysAsItArrivesAndEndsWhereItsBytesEnd) {
  REQUIRE_CAPTURE();
  const Bytes whole = data_file("tone_cbr.mp3");
  std::unique_ptr<Files> files = make_win32_files();
  for (SourceState outcome : {SourceState::complete, SourceState::failed}) {
    SCOPED_TRACE(outcome == SourceState::complete ? "complete" : "failed");
    const Text part = dir_ + "\\下载中.mp3.1.part", song = dir_ + "\\下载中.mp3";
    written_.push_back(song);
    std::unique_ptr<OutputFile> out = files->create_new(part);
    ASSERT_TRUE(out);
    const std::size_t first = 12000;  // about a second and a half at 64 kbit/s
    ASSERT_TRUE(out->write(whole.data(), first));
    auto state = std::make_shared<std::atomic<SourceState>>(SourceState::growing);
    fresh_capture();
    ASSERT_TRUE(player_->play_growing(part, [state] { return state->load(); }));
    ASSERT_TRUE(reaches(44100 * 4 / 2));
    Sleep(2500);  // played up to the end of what is there: it waits
    if (outcome == SourceState::complete) {
      ASSERT_TRUE(out->write(whole.data() + first, whole.size() - first));
      ASSERT_TRUE(out->close());
      state->store(SourceState::complete);
      ASSERT_TRUE(files->move_new(part, song));
    } else {
      out.reset();
      state->store(SourceState::failed);
      EXPECT_TRUE(files->remove(part)) << GetLastError();
    }
    ASSERT_TRUE(quiet()) << "the song did not end";
    if (outcome == SourceState::complete) {
      EXPECT_GE(sound_bytes(), kCbrBytes * 85 / 100);  // nothing lost across the wait
      EXPECT_EQ(read_all(wide(song)), whole);
    } else {
      EXPECT_LT(sound_bytes(), kCbrBytes * 7 / 10);
      EXPECT_GT(sound_bytes(), kCbrBytes / 4);
      player_->stop();  // as the program does on the failure: the deleted file goes with the handle
      EXPECT_FALSE(files->exact_exists(part));
    }
  }
}

TEST_F(PlayerWin32, ANewSongReplacesTheOldOne) {
  REQUIRE_CAPTURE();
  Text first = put("第一首.mp3", data_file("tone_cbr.mp3"));
  Text second = put("第二首.mp3", data_file("tone_vbr.mp3"));
  ASSERT_TRUE(player_->play(song(first, 1)));
  player_->set_next(song(first, 2));
  player_->pause();  // a paused song is replaced just the same
  fresh_capture();
  ASSERT_TRUE(player_->play(song(second, 3)));
  // The first song and the one set to follow it are gone: the sound ends after the second, which
  // starts unpaused.
  std::optional<std::uint64_t> end = quiet();
  ASSERT_TRUE(end) << "the first song is still playing";
  EXPECT_GE(*end, kVbrBytes * 9 / 10);
  EXPECT_LT(*end, kCbrBytes);
  EXPECT_TRUE(sound_from(0));
  EXPECT_TRUE(DeleteFileW(wide(first).c_str()));
  for (const PlayerEvent& e : log_.events()) EXPECT_NE(e.id, 2u) << "the song set to follow was heard";
}

TEST_F(PlayerWin32, TaggedVbrAndMpeg25SongsPlay) {
  REQUIRE_CAPTURE();
  // A large ID3v2 tag in front (as with an embedded cover picture), then a VBR song.
  Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x40, 0};  // 8 KB body, syncsafe size
  Bytes body = noise(8192, 3);
  tagged.insert(tagged.end(), body.begin(), body.end());
  Bytes vbr = data_file("tone_vbr.mp3");
  tagged.insert(tagged.end(), vbr.begin(), vbr.end());
  struct Case {
    const char* name;
    Bytes data;
    std::uint64_t bytes;
  };
  for (const Case& c :
       {Case{"标签.mp3", tagged, kVbrBytes}, Case{"低码率.mp3", data_file("tone_mpeg25.mp3"), 8000}}) {
    SCOPED_TRACE(c.name);
    fresh_capture();
    ASSERT_TRUE(player_->play_file(put(c.name, c.data)));
    std::optional<std::uint64_t> end = quiet();
    ASSERT_TRUE(end);
    EXPECT_GE(*end, c.bytes * 9 / 10);
    EXPECT_TRUE(sound_from(0));
  }
}

TEST_F(PlayerWin32, FilesWithoutASongAreRefusedAndBrokenSongsEndCleanly) {
  Bytes whole = data_file("tone_cbr.mp3");
  ASSERT_FALSE(whole.empty());
  EXPECT_FALSE(player_->play_file(put("空.mp3", {})));
  EXPECT_FALSE(player_->play_file(put("网页.mp3", text_bytes("<!DOCTYPE html><html><body>Server error</body></html>"))));
  EXPECT_FALSE(player_->play_file(put("乱码.mp3", noise(20000, 5))));
  EXPECT_FALSE(player_->play_file(put("半帧.mp3", Bytes(whole.begin(), whole.begin() + 300))));
  EXPECT_FALSE(player_->play_file(dir_ + "\\没有这个文件.mp3"));
  EXPECT_FALSE(player_->play_file(dir_));  // a directory
  EXPECT_FALSE(player_->play_file(""));

  // A song set to follow that is no song is told, and nothing follows.
  ASSERT_TRUE(player_->play(song(put("好的.mp3", data_file("tone_vbr.mp3")), 1)));
  player_->set_next(song(put("坏的.mp3", noise(20000, 6)), 2));
  EXPECT_TRUE(log_.wait_for(PlayerEvent::Kind::open_failed, 2));
  EXPECT_TRUE(log_.wait_for(PlayerEvent::Kind::drained, 1));

  // Songs broken part way play what is good and end by themselves.
  Bytes spliced(whole.begin(), whole.begin() + 9000);
  Bytes junk = noise(4000, 11);
  spliced.insert(spliced.end(), junk.begin(), junk.end());
  spliced.insert(spliced.end(), whole.begin() + 9000, whole.end());
  Bytes cut(whole.begin(), whole.begin() + 10001);
  for (const auto& [name, data] :
       {std::pair<const char*, Bytes>{"夹杂.mp3", spliced}, std::pair<const char*, Bytes>{"截断.mp3", cut}}) {
    SCOPED_TRACE(name);
    if (capturing()) fresh_capture();
    ASSERT_TRUE(player_->play_file(put(name, data)));
    if (!capturing()) continue;
    std::optional<std::uint64_t> end = quiet();
    ASSERT_TRUE(end);
    EXPECT_GE(*end, 100000u);
    EXPECT_TRUE(sound_from(0));
  }
}

TEST_F(PlayerWin32, CallsFromManyThreadsAtOnce) {
  Text a = put("甲.mp3", data_file("tone_vbr.mp3"));
  Text b = put("乙.mp3", data_file("tone_mpeg25.mp3"));
  std::atomic<int> plays{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        switch ((i + t) % 8) {
          case 0:
            plays += player_->play(song(t % 2 ? a : b, 1)) ? 1 : 0;
            break;
          case 1:
            player_->pause();
            break;
          case 2:
            player_->resume();
            break;
          case 3:
            player_->stop();
            break;
          case 4:
            player_->set_next(song(i % 2 ? a : b, 2));
            break;
          case 5:
            player_->seek(i * 10);
            break;
          case 6:
            player_->set_volume(i);
            player_->position();
            break;
          default:
            plays += player_->play_file(a) ? 1 : 0;
            break;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(plays, 40);  // every play of a good song was taken
  player_->stop();
  EXPECT_TRUE(DeleteFileW(wide(a).c_str()));
  EXPECT_TRUE(DeleteFileW(wide(b).c_str()));
  if (capturing()) {
    EXPECT_TRUE(quiet());
  }
}

}  // namespace
}  // namespace qiwa
