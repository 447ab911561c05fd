// What the player sounds like under Wine, sample by sample from the bench's captured audio: songs
// back to back are exactly what Debian's lame decodes of them, joined, without a hole; a seek lands on
// the tone of that moment of a song of stepped tones, in any order with pause and continue; the volume
// scales the samples, and at full leaves every bit; a growing file is sought only inside what arrived.
#include <atomic>
#include <cstdio>
#include <memory>

#include "fakes/memory_song_source.hpp"
#include "runtime/song_stream.hpp"
#include "win32/player_fixture.hpp"

namespace qiwa {
namespace {

using namespace player_test;
using Samples = std::vector<std::int16_t>;
using Kind = PlayerEvent::Kind;

constexpr int kRate = 44100;  // every song here is 44.1 kHz mono, as the capture is

// How what was heard from `at` on compares with `want`, sample by sample within `tolerance`. The bench's
// sound sink takes samples about four times faster than real time, and on a busy machine it may run
// dry: then it is given digital silence, which is told apart as holes (where in `want`, how long).
struct Match {
  bool whole = false;
  std::size_t matched = 0;  // samples of `want` heard in order
  std::size_t end = 0;      // where in `heard` the last of them was, and one past it
  std::vector<std::pair<std::size_t, std::size_t>> holes;
};
Match match(const Samples& heard, std::size_t at, const Samples& want, int tolerance) {
  constexpr std::size_t kHole = 16;  // exact zeros where the sound is not near zero
  Match m;
  std::size_t j = at;
  while (m.matched < want.size() && j < heard.size()) {
    const std::size_t i = m.matched;
    std::size_t zeros = 0;
    while (j + zeros < heard.size() && heard[j + zeros] == 0) ++zeros;
    bool want_quiet = true;
    for (std::size_t k = i; k < std::min(want.size(), i + kHole); ++k) want_quiet = want_quiet && std::abs(want[k]) <= tolerance;
    if (zeros >= kHole && !want_quiet) {
      m.holes.push_back({i, zeros});
      j += zeros;
      continue;
    }
    if (std::abs(heard[j] - want[i]) > tolerance) return m;
    ++m.matched;
    ++j;
  }
  m.whole = m.matched == want.size();
  m.end = j;
  return m;
}

// Where in `heard` all of `want` is heard, beginning where its first 256 samples are (the device's
// first buffer is longer: no hole comes before it ends); the farthest match when none is whole.
std::pair<std::size_t, Match> find_heard(const Samples& heard, const Samples& want, int tolerance) {
  constexpr std::size_t kProbe = 256;
  std::pair<std::size_t, Match> best;
  for (std::size_t at = 0; at + kProbe <= heard.size(); ++at) {
    std::size_t i = 0;
    while (i < kProbe && std::abs(heard[at + i] - want[i]) <= tolerance) ++i;
    if (i < kProbe) continue;
    Match m = match(heard, at, want, tolerance);
    if (m.matched > best.second.matched) best = {at, m};
    if (m.whole) break;
  }
  return best;
}

// Fails unless all of `want` is heard, and nothing after it, or on a hole near `turn` (where one song
// gives way to the next); holes elsewhere are the bench's, and are told. Where it began.
std::size_t expect_heard(const Samples& heard, const Samples& want, int tolerance, std::size_t turn) {
  const auto [at, m] = find_heard(heard, want, tolerance);
  EXPECT_TRUE(m.whole) << "heard differs from sample " << m.matched << " of " << want.size() << " on";
  for (std::size_t i = m.end; i < heard.size(); ++i)
    if (std::abs(heard[i]) > 2 * tolerance + 2) {
      ADD_FAILURE() << "sound after the end, at " << i - m.end << " samples past it";
      break;
    }
  for (auto [where, length] : m.holes) {
    EXPECT_FALSE(where + kRate / 20 > turn && where < turn + kRate / 20)
        << length << " samples of silence at the turn, sample " << where;
    std::printf("note: the bench's sink ran dry for %zu samples at sample %zu\n", length, where);
  }
  return at;
}

// The longest run of samples within ±300 (a tenth of a loud tone's peak) in [from, to).
std::size_t longest_hush(const Samples& s, std::size_t from, std::size_t to) {
  std::size_t longest = 0;
  for (std::size_t i = from, run = 0; i < std::min(to, s.size()); ++i) {
    run = std::abs(s[i]) < 300 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

// The tone of 50 ms of sound from `at`, in Hz, counted by its crossings of zero.
double tone_at(const Samples& s, std::size_t at) {
  constexpr std::size_t kWindow = kRate / 20;
  int crossings = 0;
  int sign = 0;
  for (std::size_t i = at; i < at + kWindow && i < s.size(); ++i) {
    const int now = s[i] > 200 ? 1 : s[i] < -200 ? -1 : 0;
    if (now != 0 && sign != 0 && now != sign) ++crossings;
    if (now != 0) sign = now;
  }
  return crossings * 20.0 / 2;
}

// steps.mp3 (tools/make-test-songs): eight steps of 0.5 s, 300 Hz, 400 Hz, ... 1000 Hz.
double step_tone(std::int64_t ms) { return 300 + 100 * static_cast<double>(ms / 500); }

// Where in `heard` (from its start) the tone `hz` is first heard, in 50 ms windows.
std::optional<std::size_t> first_heard(const Samples& heard, double hz) {
  for (std::size_t at = 0; at + kRate / 20 <= heard.size(); at += kRate / 100)
    if (std::abs(tone_at(heard, at) - hz) < 40) return at;
  return std::nullopt;
}

Samples joined(const Bytes& a, const Bytes& b) {
  Samples s = samples_of(a);
  const Samples t = samples_of(b);
  s.insert(s.end(), t.begin(), t.end());
  return s;
}

class PlayerSoundWin32 : public PlayerWin32 {
 protected:
  // After a seek (or a continue) at capture size `mark`: the first of the target tone is heard within
  // the first quarter second of sound after it, and nothing but it and the next step follows (a 50 ms
  // window over the turn from one to the other counts between the two).
  void expect_tone_after(std::uint64_t mark, std::int64_t ms) {
    ASSERT_TRUE(reaches(mark + 2 * kRate * 4 / 10));
    const Samples heard = samples_of(capture(mark));
    const std::optional<std::size_t> at = first_heard(heard, step_tone(ms));
    ASSERT_TRUE(at) << "the tone of " << ms << " ms is not heard";
    EXPECT_LT(*at, static_cast<std::size_t>(kRate / 4)) << "what was queued before it went on too long";
    const double next = step_tone(ms) + 100;
    for (std::size_t w = *at; w + kRate / 20 < std::min(heard.size(), *at + kRate / 5); w += kRate / 50) {
      const double hz = tone_at(heard, w);
      EXPECT_TRUE((hz > step_tone(ms) - 40 && hz < next + 40) || hz < 100) << hz << " Hz at " << w;
    }
  }
};

TEST_F(PlayerSoundWin32, SongsBackToBackAreWhatLameDecodesOfThemJoinedToTheSample) {
  REQUIRE_CAPTURE_IN_SONG_FORMAT();
  struct Case {
    const char* first;
    const char* second;
  };
  // One tone cut in two and encoded in halves, and two tones an octave apart.
  for (const Case c : {Case{"gapless_1", "gapless_2"}, Case{"tone_low", "tone_high"}}) {
    SCOPED_TRACE(c.first);
    const Samples want = joined(lame_decoded(c.first), lame_decoded(c.second));
    ASSERT_GE(want.size(), static_cast<std::size_t>(kRate)) << "lame's decoding is missing";
    const std::uint64_t first_id = log_.events().size() + 1;
    fresh_capture();
    ASSERT_TRUE(player_->play(song(put((Text(c.first) + ".mp3").c_str(), data_file((Text(c.first) + ".mp3").c_str())), first_id)));
    player_->set_next(song(put((Text(c.second) + ".mp3").c_str(), data_file((Text(c.second) + ".mp3").c_str())), first_id + 1));
    ASSERT_TRUE(log_.wait_for(Kind::drained, first_id + 1));
    ASSERT_TRUE(quiet());

    // Within the rounding of two decoders over the whole length: a sample lost or put in at the turn
    // would shift all that follows it.
    const Samples heard = samples_of(capture());
    const std::size_t turn = lame_decoded(c.first).size() / 2;
    const std::size_t start = expect_heard(heard, want, 8, turn);
    EXPECT_LE(longest_hush(heard, start + turn - kRate / 20, start + turn + kRate / 20), longest_hush(want, 0, want.size()));
  }
  const std::vector<PlayerEvent> events = log_.events();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].kind, Kind::started);
  EXPECT_EQ(events[1].kind, Kind::advanced);
  EXPECT_EQ(events[1].id, 2u);
  EXPECT_EQ(events[1].previous, 1u);
  EXPECT_TRUE(events[1].gapless);
  EXPECT_EQ(events[2].kind, Kind::drained);
}

TEST_F(PlayerSoundWin32, ASeekLandsOnTheToneOfThatMomentAndThePositionFollowsAtOnce) {
  REQUIRE_CAPTURE_IN_SONG_FORMAT();
  fresh_capture();
  ASSERT_TRUE(player_->play(song(put("阶梯.mp3", data_file("steps.mp3")), 1)));
  ASSERT_TRUE(position_passes(100));
  EXPECT_EQ(player_->position().duration_ms, 4000);
  for (const std::int64_t ms : {2600, 600, 1900, 3600}) {
    SCOPED_TRACE(ms);
    const std::uint64_t mark = captured();
    const SeekResult r = player_->seek(ms);
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.available_ms, 4000);
    const std::int64_t now = player_->position().ms;  // the new place at once, not the old one
    EXPECT_GE(now, ms);
    EXPECT_LT(now, ms + 500);
    expect_tone_after(mark, ms);
  }
  EXPECT_FALSE(player_->seek(4200).done);
}

TEST_F(PlayerSoundWin32, PauseSeekAndContinueInAnyOrder) {
  REQUIRE_CAPTURE_IN_SONG_FORMAT();
  fresh_capture();
  ASSERT_TRUE(player_->play(song(put("阶梯.mp3", data_file("steps.mp3")), 1)));
  ASSERT_TRUE(reaches(2 * kRate / 5));

  // Paused, sought, continued: nothing of the new place sounds meanwhile (the capture may still take
  // what the device held of the old one), and the sound goes on from the new place.
  player_->pause();
  std::optional<std::uint64_t> held = quiet();
  ASSERT_TRUE(held);
  ASSERT_TRUE(player_->seek(2100).done);
  EXPECT_EQ(player_->position().ms, 2100);
  EXPECT_TRUE(player_->position().paused);
  const std::optional<std::uint64_t> still = quiet();
  ASSERT_TRUE(still);
  EXPECT_FALSE(first_heard(samples_of(capture(*held)), step_tone(2100))) << "a seek while paused made a sound";
  EXPECT_EQ(player_->position().ms, 2100);
  player_->resume();
  expect_tone_after(*still, 2100);

  // Sought, then paused and continued before the sound had gone far.
  const std::uint64_t mark = captured();
  ASSERT_TRUE(player_->seek(1100).done);
  player_->pause();
  held = quiet();
  ASSERT_TRUE(held);
  const std::int64_t at = player_->position().ms;
  EXPECT_GE(at, 1100);
  player_->resume();
  EXPECT_TRUE(position_passes(at));
  expect_tone_after(mark, 1100);
}

TEST_F(PlayerSoundWin32, TheVolumeScalesTheSamplesAndAtFullLeavesEveryBit) {
  REQUIRE_CAPTURE_IN_SONG_FORMAT();
  // What the decoder gives of the song, as the player takes it.
  const Bytes file = data_file("gapless_1.mp3");
  std::unique_ptr<SongStream> stream =
      SongStream::open(std::make_unique<fakes::MemorySongSource>(file), open_acm_codec);
  ASSERT_TRUE(stream);
  Bytes decoded(kRate * 2);
  decoded.resize(stream->read(decoded.data(), decoded.size()).bytes);
  const Samples ours = samples_of(decoded);
  ASSERT_EQ(ours.size(), 20000u);
  const Text path = put("音量.mp3", file);

  Samples half;
  for (std::int16_t s : ours) half.push_back(static_cast<std::int16_t>(s / 2));
  for (const int volume : {100, 50}) {
    SCOPED_TRACE(volume);
    player_->set_volume(volume);  // before the song: it is kept for the next opening
    fresh_capture();
    ASSERT_TRUE(player_->play(song(path, static_cast<std::uint64_t>(volume))));
    ASSERT_TRUE(log_.wait_for(Kind::drained, static_cast<std::uint64_t>(volume)));
    ASSERT_TRUE(quiet());
    const Samples heard = samples_of(capture());
    expect_heard(heard, volume == 100 ? ours : half, volume == 100 ? 0 : 1, ours.size());
  }
  EXPECT_EQ(player_->volume(), 50);

  // Turned down while it plays: the sound after is a quarter as loud.
  player_->set_volume(100);
  fresh_capture();
  ASSERT_TRUE(player_->play(song(put("阶梯.mp3", data_file("steps.mp3")), 7)));
  ASSERT_TRUE(reaches(2 * kRate / 2));
  const double loud = rms(capture(0));
  player_->set_volume(25);
  const std::uint64_t mark = captured();
  ASSERT_TRUE(reaches(mark + 2 * kRate));
  const Bytes later = capture(mark + 2 * kRate / 2);
  EXPECT_NEAR(rms(Bytes(later.begin(), later.begin() + kRate)) / loud, 0.25, 0.03);
}

TEST_F(PlayerSoundWin32, AGrowingFileIsSoughtOnlyInsideWhatHasArrived) {
  REQUIRE_CAPTURE_IN_SONG_FORMAT();
  const Bytes whole = data_file("steps.mp3");
  const Text part = dir_ + "\\下载中.mp3.part";
  written_.push_back(part);
  std::unique_ptr<OutputFile> out = files_->create_new(part);
  ASSERT_TRUE(out);
  const std::size_t first = whole.size() * 4 / 10;  // 1.6 s of the 4
  ASSERT_TRUE(out->write(whole.data(), first));
  auto state = std::make_shared<std::atomic<SourceState>>(SourceState::growing);
  Song growing = song(part, 1);
  growing.growing = [state] { return state->load(); };
  growing.expected_bytes = whole.size();
  fresh_capture();
  ASSERT_TRUE(player_->play(growing));
  ASSERT_TRUE(position_passes(100));
  PlayerPosition p = player_->position();
  EXPECT_EQ(p.duration_ms, 4000);
  EXPECT_GT(p.available_ms, 1400);
  EXPECT_LT(p.available_ms, 1700);

  SeekResult r = player_->seek(3100);
  EXPECT_FALSE(r.done);
  EXPECT_EQ(r.available_ms, p.available_ms);
  EXPECT_LT(player_->position().ms, 3100);
  std::uint64_t mark = captured();
  ASSERT_TRUE(player_->seek(1100).done);
  expect_tone_after(mark, 1100);

  ASSERT_TRUE(out->write(whole.data() + first, whole.size() - first));
  ASSERT_TRUE(out->close());
  state->store(SourceState::complete);
  for (int i = 0; i < 200 && player_->position().available_ms < 4000; ++i) Sleep(50);
  EXPECT_EQ(player_->position().available_ms, 4000);
  mark = captured();
  ASSERT_TRUE(player_->seek(3100).done);
  expect_tone_after(mark, 3100);
}

}  // namespace
}  // namespace qiwa
