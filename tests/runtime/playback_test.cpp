// The player's engine over a device that plays when the test says: one song handing over to the next
// in the very next sample, the device reopened only for another format, seeks and pauses in any order,
// the song to follow replaced after its samples were queued, growing and broken downloads, and the
// position read from the timeline.
#include "runtime/playback.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_sound_device.hpp"
#include "fakes/marked_song.hpp"
#include "fakes/memory_song_source.hpp"
#include "fakes/strict_mp3_codec.hpp"

namespace qiwa {
namespace {

using fakes::kMarkedFrameSamples;
using fakes::lame_song;
using fakes::marker_runs;
using fakes::MemorySongSource;
using Runs = std::vector<std::pair<int, std::size_t>>;
using Kind = PlayerEvent::Kind;

constexpr int kSkip = 576 + kDecoderDelay;

// The song's own samples of a LAME song of `frames` frames marked from `first`, delay 576, padding
// 1000, as runs of {marker, samples}.
Runs song_runs(int frames, int first) {
  Runs runs;
  const std::int64_t end = static_cast<std::int64_t>(frames) * kMarkedFrameSamples - 1000 + kDecoderDelay;
  for (std::int64_t s = kSkip; s < end;) {
    const std::int64_t frame = s / kMarkedFrameSamples;
    const std::int64_t stop = std::min(end, (frame + 1) * kMarkedFrameSamples);
    runs.push_back({static_cast<int>(first + frame), static_cast<std::size_t>(stop - s)});
    s = stop;
  }
  return runs;
}
std::int64_t song_samples(int frames) { return static_cast<std::int64_t>(frames) * kMarkedFrameSamples - 1576; }

Runs joined(Runs a, const Runs& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Runs from sample `from` of the song's own samples on.
Runs runs_from(const Runs& runs, std::size_t from) {
  Runs out;
  for (auto [marker, n] : runs) {
    if (from >= n) {
      from -= n;
      continue;
    }
    out.push_back({marker, n - from});
    from = 0;
  }
  return out;
}

Runs first_samples(const Runs& runs, std::size_t count) {
  Runs out;
  for (auto [marker, n] : runs) {
    if (count == 0) break;
    out.push_back({marker, std::min(n, count)});
    count -= std::min(n, count);
  }
  return out;
}

std::string told(const PlayerEvent& e) {
  const char* names[] = {"started", "advanced", "drained", "open_failed", "source_failed"};
  std::string s = std::string(names[static_cast<int>(e.kind)]) + " " + std::to_string(e.id);
  if (e.kind == Kind::advanced) s += std::string(" after ") + std::to_string(e.previous) + (e.gapless ? "" : " reopened");
  return s;
}

struct Rig {
  fakes::FakeSoundDevice device;
  Playback playback{device};
  std::vector<std::string> events;
  std::vector<MemorySongSource*> sources;

  LoadedSong song(const Bytes& data, std::uint64_t id, SourceState state = SourceState::complete,
                  bool codec_holds_back = true) {
    auto source = std::make_unique<MemorySongSource>(data, state);
    sources.push_back(source.get());
    auto stream = SongStream::open(std::move(source), [codec_holds_back](const Mp3FrameHeader& h) {
      return std::make_unique<fakes::StrictMp3Codec>(h, codec_holds_back);
    });
    EXPECT_TRUE(stream);
    Song s;
    s.id = id;
    return {s, std::move(stream)};
  }
  void service() {
    playback.service();
    collect();
  }
  void collect() {
    for (const PlayerEvent& e : playback.take_events()) events.push_back(told(e));
  }
  // Plays in steps as a device with a clock would, the engine taking buffers back between.
  void play(std::uint64_t samples, std::uint64_t step = 700) {
    for (std::uint64_t done = 0; done < samples;) {
      const std::uint64_t now = std::min(step, samples - done);
      device.play(now);
      done += now;
      service();
    }
  }
  void play_out() {
    for (int guard = 0; guard < 100000 && !playback.finished(); ++guard) play(700);
  }
  Runs tape(int block_align = 4) const { return marker_runs(device.tape(), block_align); }
  PlayerPosition position() { return playback.timeline().at(device.played()); }
};

TEST(Playback, TheNextSongsFirstSampleFollowsTheLastOnTheSameDevice) {
  Rig rig;
  ASSERT_TRUE(rig.playback.start(rig.song(lame_song(40, 1, 576, 1000), 1), {}));
  rig.playback.set_next(rig.song(lame_song(60, 101, 576, 1000), 2));
  rig.collect();
  EXPECT_EQ(rig.events, std::vector<std::string>{"started 1"});
  EXPECT_EQ(rig.position().id, 1u);
  EXPECT_EQ(rig.position().duration_ms, song_samples(40) * 1000 / 44100);

  const auto first = static_cast<std::uint64_t>(song_samples(40));
  rig.play(first - 1);
  EXPECT_EQ(rig.position().id, 1u);
  EXPECT_EQ(rig.events.size(), 1u);  // one sample of the first song is still to sound
  rig.play(1);
  EXPECT_EQ(rig.events.back(), "advanced 2 after 1");
  EXPECT_EQ(rig.position().id, 2u);
  EXPECT_EQ(rig.position().ms, 0);
  rig.play(44100);
  EXPECT_EQ(rig.position().ms, 1000);

  rig.play_out();
  EXPECT_EQ(rig.tape(), joined(song_runs(40, 1), song_runs(60, 101)));  // not a sample missing or between
  EXPECT_EQ(rig.events, (std::vector<std::string>{"started 1", "advanced 2 after 1", "drained 2"}));
  EXPECT_EQ(rig.device.openings(), 1);
  const PlayerPosition end = rig.position();
  EXPECT_TRUE(end.ended);
  EXPECT_EQ(end.id, 2u);
  EXPECT_EQ(end.ms, song_samples(60) * 1000 / 44100);
  EXPECT_EQ(rig.playback.wait_ms(), 0);
}

TEST(Playback, ASongInAnotherFormatWaitsForTheDeviceToEmptyAndReopensIt) {
  Rig rig;
  ASSERT_TRUE(rig.playback.start(rig.song(lame_song(20, 1, 576, 1000), 1), {}));
  rig.playback.set_next(rig.song(lame_song(20, 101, 576, 1000, true), 2));
  rig.play(static_cast<std::uint64_t>(song_samples(20)) - 1);
  EXPECT_EQ(rig.device.queued_samples(), 1u);  // nothing of the mono song behind the stereo one
  rig.play(1);
  EXPECT_EQ(rig.events.back(), "advanced 2 after 1 reopened");
  EXPECT_EQ(rig.device.openings(), 2);
  EXPECT_EQ(rig.device.format().channels, 1);
  rig.device.clear_tape();
  rig.play_out();
  EXPECT_EQ(rig.tape(2), song_runs(20, 101));
}

TEST(Playback, ASeekDropsWhatIsQueuedAndTheSoundAndPositionGoOnFromThere) {
  Rig rig;
  rig.playback.start(rig.song(lame_song(120, 1, 576, 1000), 1), {});
  rig.playback.set_next(rig.song(lame_song(20, 151, 576, 1000), 2));
  rig.play(30000);
  ASSERT_TRUE(rig.playback.seek(1500));
  EXPECT_EQ(rig.position().ms, 1500);  // at once, before a sample of the new place has sounded
  rig.device.clear_tape();
  rig.play(44100);
  EXPECT_EQ(rig.position().ms, 2500);
  EXPECT_EQ(rig.tape(), first_samples(runs_from(song_runs(120, 1), 66150), 44100));

  // Near the end the next song is queued behind; a seek back takes it off the device, and it then
  // follows from its own start.
  rig.play(static_cast<std::uint64_t>(song_samples(120)) - 66150 - 44100 - 5000);
  ASSERT_EQ(rig.playback.timeline().segments.size(), 2u) << "the next song's start is queued";
  ASSERT_TRUE(rig.playback.seek(song_samples(120) * 1000 / 44100 - 200));
  rig.device.clear_tape();
  rig.play_out();
  const std::int64_t from = samples_at(song_samples(120) * 1000 / 44100 - 200, 44100);
  EXPECT_EQ(rig.tape(), joined(runs_from(song_runs(120, 1), static_cast<std::size_t>(from)), song_runs(20, 151)));
  EXPECT_EQ(rig.events.back(), "drained 2");
}

TEST(Playback, PauseSeekAndResumeInEveryOrder) {
  const std::vector<std::vector<std::string>> orders = {{"pause", "seek", "resume"}, {"seek", "pause", "resume"},
                                                        {"pause", "resume", "seek"}, {"seek", "resume", "pause"}};
  for (const auto& order : orders) {
    SCOPED_TRACE(order[0] + " " + order[1] + " " + order[2]);
    Rig rig;
    rig.playback.start(rig.song(lame_song(80, 1, 576, 1000), 1), {});
    rig.play(10000);
    bool paused = false;
    for (const std::string& step : order) {
      if (step == "pause") rig.playback.set_paused(paused = true);
      if (step == "resume") rig.playback.set_paused(paused = false);
      if (step == "seek") {
        ASSERT_TRUE(rig.playback.seek(1000));
        rig.device.clear_tape();
      }
      // Paused, the device holds still, or holds nothing: an emptied device is not written to.
      EXPECT_TRUE(!paused || rig.device.paused() || rig.device.queued_samples() == 0) << step;
      EXPECT_EQ(rig.position().paused, paused);
      const std::uint64_t before = rig.device.tape().size();
      rig.play(100);
      EXPECT_EQ(rig.device.tape().size() == before, paused) << "sound while paused, or none while playing";
    }
    rig.play(1000);
    // Whatever the order, the sound after the seek is the song from 1 s on, not a sample lost or repeated.
    ASSERT_FALSE(rig.device.tape().empty());
    EXPECT_EQ(rig.tape(), first_samples(runs_from(song_runs(80, 1), 44100), rig.device.tape().size() / 4));
  }

  // A song started paused waits at its place; a resume plays it from there.
  Rig rig;
  rig.playback.start(rig.song(lame_song(80, 1, 576, 1000), 1), {2000, true});
  EXPECT_EQ(rig.device.queued_samples(), 0u);
  EXPECT_EQ(rig.position().ms, 2000);
  EXPECT_TRUE(rig.position().paused);
  rig.play(5000);
  EXPECT_TRUE(rig.device.tape().empty());
  EXPECT_TRUE(rig.events.empty());
  rig.playback.set_paused(false);
  rig.play(100);
  EXPECT_EQ(rig.events, std::vector<std::string>{"started 1"});
  EXPECT_EQ(rig.tape().front().first, runs_from(song_runs(80, 1), 88200).front().first);
}

TEST(Playback, SoughtWhilePausedRightAtTheTurnItStaysWithTheSongSought) {
  Rig rig;
  rig.playback.start(rig.song(lame_song(20, 1, 576, 1000), 1), {});
  rig.playback.set_next(rig.song(lame_song(20, 101, 576, 1000), 2));
  rig.play(static_cast<std::uint64_t>(song_samples(20)) - 100);
  rig.device.play(100);  // the first song's last buffer played, not yet taken back
  rig.playback.set_paused(true);
  ASSERT_TRUE(rig.playback.seek(100));
  rig.service();
  EXPECT_EQ(rig.events, std::vector<std::string>{"started 1"});
  EXPECT_EQ(rig.position().id, 1u);
  EXPECT_EQ(rig.position().ms, 100);
  rig.device.clear_tape();
  rig.playback.set_paused(false);
  rig.play_out();
  EXPECT_EQ(rig.tape(), joined(runs_from(song_runs(20, 1), 4410), song_runs(20, 101)));
}

TEST(Playback, ReplacingTheSongToFollowTakesBackWhatWasQueuedOfIt) {
  for (const bool clear : {false, true}) {
    SCOPED_TRACE(clear ? "cleared" : "replaced");
    Rig rig;
    rig.playback.start(rig.song(lame_song(40, 1, 576, 1000), 1), {});
    rig.playback.set_next(rig.song(lame_song(20, 101, 576, 1000), 2));
    rig.play(static_cast<std::uint64_t>(song_samples(40)) - 3000);  // the next song's start is queued
    if (clear)
      rig.playback.set_next(std::nullopt);
    else
      rig.playback.set_next(rig.song(lame_song(20, 151, 576, 1000), 3));
    rig.play_out();
    // The first song sounds whole, neither a sample lost nor repeated at the turn; the old next never.
    EXPECT_EQ(rig.tape(), clear ? song_runs(40, 1) : joined(song_runs(40, 1), song_runs(20, 151)));
    EXPECT_EQ(rig.events.back(), clear ? "drained 1" : "drained 3");
  }

  // Already sounding when it is replaced: it plays, and the new one follows it.
  Rig rig;
  rig.playback.start(rig.song(lame_song(20, 1, 576, 1000), 1), {});
  rig.playback.set_next(rig.song(lame_song(20, 101, 576, 1000), 2));
  rig.play(static_cast<std::uint64_t>(song_samples(20)) - 10);
  rig.device.play(20);  // past the turn, its buffer not yet taken back
  rig.playback.set_next(rig.song(lame_song(20, 151, 576, 1000), 3));
  rig.collect();
  rig.play_out();
  EXPECT_EQ(rig.tape(), joined(joined(song_runs(20, 1), song_runs(20, 101)), song_runs(20, 151)));
  EXPECT_EQ(rig.events, (std::vector<std::string>{"started 1", "advanced 2 after 1", "advanced 3 after 2", "drained 3"}));
}

TEST(Playback, AGrowingSongWaitsForItsBytesAndABrokenOneEndsWhereTheyDo) {
  const Bytes whole = lame_song(60, 1, 576, 1000);
  const std::size_t first = 417 * 21;
  Rig rig;
  rig.playback.start(rig.song(Bytes(whole.begin(), whole.begin() + first), 1, SourceState::growing, false), {});
  rig.playback.set_next(rig.song(lame_song(20, 101, 576, 1000), 2));
  rig.play(30000);
  EXPECT_EQ(rig.playback.wait_ms(), Playback::kStarvedWaitMs);  // looked at again for more bytes
  EXPECT_EQ(rig.position().available_ms, (20 * kMarkedFrameSamples - kSkip) * 1000 / 44100);
  rig.playback.set_paused(true);
  EXPECT_EQ(rig.playback.wait_ms(), -1);  // paused: nothing wakes
  rig.playback.set_paused(false);
  rig.sources[0]->append(whole.data() + first, 417 * 10);
  rig.play(100000);  // played up to the end of what came, nothing left on the device
  ASSERT_EQ(rig.device.queued_samples(), 0u);
  rig.sources[0]->set_state(SourceState::failed);
  rig.service();  // no buffer comes back to wake the thread: the break is seen at its next look
  EXPECT_EQ(rig.events.back(), "advanced 2 after 1");
  rig.play_out();
  // Its 30 frames that came, then the next song at once.
  const Runs tape = rig.tape();
  EXPECT_EQ(tape[tape.size() - song_runs(20, 101).size() - 1].first, 30);
  EXPECT_EQ(rig.events, (std::vector<std::string>{"started 1", "source_failed 1", "advanced 2 after 1", "drained 2"}));
}

TEST(Playback, NothingToFollowEndsItAndADeviceThatWillNotOpenIsTold) {
  Rig rig;
  rig.device.refuse_open(true);
  EXPECT_FALSE(rig.playback.start(rig.song(lame_song(10, 1, 576, 1000), 7), {}));
  rig.collect();
  EXPECT_EQ(rig.events, std::vector<std::string>{"open_failed 7"});
  EXPECT_TRUE(rig.playback.finished());
  EXPECT_EQ(rig.position().id, 0u);

  rig.device.refuse_open(false);
  ASSERT_TRUE(rig.playback.start(rig.song(lame_song(10, 1, 576, 1000), 8), {}));
  rig.play_out();
  EXPECT_EQ(rig.events.back(), "drained 8");
  EXPECT_EQ(rig.tape(), song_runs(10, 1));
  EXPECT_FALSE(rig.playback.seek(0));  // nothing loaded
}

}  // namespace
}  // namespace qiwa
