// A song's sound as the player takes it: the LAME tag's delay and padding trimmed to the sample, seeks
// that land on their sample through a codec started a few frames early, a growing file's extent, and
// the song's gain; over the strict codec, whose every sample tells the frame it came from.
#include "runtime/song_stream.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "fakes/marked_song.hpp"
#include "fakes/memory_song_source.hpp"
#include "fakes/strict_mp3_codec.hpp"
#include "fakes/test_song.hpp"

namespace qiwa {
namespace {

using fakes::kMarkedFrameSamples;
using fakes::lame_song;
using fakes::marked_frames;
using fakes::marker_runs;
using fakes::MemorySongSource;
using fakes::StrictMp3Codec;
using Runs = std::vector<std::pair<int, std::size_t>>;

constexpr int kSkip = 576 + kDecoderDelay;  // LAME's usual delay, and the decoder's

struct Opened {
  MemorySongSource* source = nullptr;
  StrictMp3Codec* codec = nullptr;
  std::unique_ptr<SongStream> stream;
};

// `holds_back` false: a codec that gives every frame's sound at once, as Wine's does.
Opened open(const Bytes& data, SourceState state = SourceState::complete, std::uint64_t expected = 0,
            bool holds_back = true) {
  Opened o;
  auto source = std::make_unique<MemorySongSource>(data, state);
  o.source = source.get();
  o.stream = SongStream::open(std::move(source), [&o, holds_back](const Mp3FrameHeader& h) {
    auto codec = std::make_unique<StrictMp3Codec>(h, holds_back);
    o.codec = codec.get();
    return codec;
  }, expected);
  return o;
}

// Reads in uneven pieces until the stream ends or waits.
Bytes read_all(SongStream& stream, FrameRead* last = nullptr) {
  Bytes pcm;
  unsigned char piece[3001];
  for (int guard = 0; guard < 100000; ++guard) {
    const Decoded d = stream.read(piece, sizeof piece);
    pcm.insert(pcm.end(), piece, piece + d.bytes);
    if (d.status != FrameRead::frame) {
      if (last) *last = d.status;
      return pcm;
    }
  }
  ADD_FAILURE() << "never ended";
  return pcm;
}

Runs runs_of(SongStream& stream) { return marker_runs(read_all(stream), 4); }

// The runs a decoder giving frames 1..count would give from decoded sample `from` to `to`.
Runs expected_runs(std::int64_t from, std::int64_t to) {
  Runs runs;
  for (std::int64_t s = from; s < to;) {
    const std::int64_t frame = s / kMarkedFrameSamples;
    const std::int64_t end = std::min(to, (frame + 1) * kMarkedFrameSamples);
    runs.push_back({static_cast<int>(frame + 1), static_cast<std::size_t>(end - s)});
    s = end;
  }
  return runs;
}

TEST(SongTrim, TheLameTagsDelayAndPaddingAndTheDecodersDelayAreCutToTheSample) {
  // 10 frames: 11 520 decoded samples, of which the song's own are 11 520 - 576 - 1000.
  Opened o = open(lame_song(10, 1, 576, 1000));
  ASSERT_TRUE(o.stream);
  EXPECT_EQ(o.stream->duration(), 9944);
  EXPECT_EQ(runs_of(*o.stream), expected_runs(kSkip, kSkip + 9944));
  EXPECT_EQ(o.stream->sample(), 9944);
  EXPECT_EQ(o.codec->failures(), 0);

  // No delay recorded, a padding shorter than the decoder's own delay: nothing past the frames is asked for.
  o = open(lame_song(4, 1, 0, 100));
  EXPECT_EQ(runs_of(*o.stream), expected_runs(kDecoderDelay, 4 * kMarkedFrameSamples));

  // Without a LAME tag, or with one whose checksum fails, nothing is cut: whose delay would it be?
  for (const bool crc_ok : {true, false}) {
    Bytes data = fakes::summary_frame(10, crc_ok ? std::nullopt : std::optional<Mp3Gapless>(Mp3Gapless{576, 1000}),
                                      false, crc_ok);
    fakes::append(data, marked_frames(10));
    o = open(data);
    EXPECT_EQ(o.stream->duration(), 10 * kMarkedFrameSamples);
    EXPECT_EQ(runs_of(*o.stream), expected_runs(0, 10 * kMarkedFrameSamples));
  }
}

TEST(SongTrim, SongsJoinedInOneFileAreNotCutAtTheFirstOnesEnd) {
  // The first song's tag counts its 10 frames; the file goes on with another song's.
  Bytes joined = lame_song(10, 1, 576, 1000);
  fakes::append(joined, lame_song(10, 101, 576, 1000));
  Opened o = open(joined);
  FrameRead last = FrameRead::frame;
  const Runs runs = marker_runs(read_all(*o.stream, &last), 4);
  EXPECT_EQ(last, FrameRead::end);
  std::size_t samples = 0;
  for (auto [marker, n] : runs) samples += n;
  EXPECT_EQ(samples, 21u * kMarkedFrameSamples - kSkip);  // every frame after the delay, the second tag's too
  EXPECT_EQ(runs.back(), (Runs::value_type{110, kMarkedFrameSamples}));
  EXPECT_EQ(o.stream->duration(), 21 * kMarkedFrameSamples - kSkip);

  // Growing: at the tag's end it waits to see whether more frames come.
  const Bytes first = lame_song(10, 1, 576, 1000);
  o = open(first, SourceState::growing, 0, false);
  read_all(*o.stream, &last);
  EXPECT_EQ(last, FrameRead::wait);
  EXPECT_EQ(o.stream->sample(), 10 * kMarkedFrameSamples - 1576);
  const Bytes second = lame_song(10, 101, 576, 1000);
  o.source->append(second.data(), second.size());
  o.source->set_state(SourceState::complete);
  EXPECT_EQ(marker_runs(read_all(*o.stream, &last), 4).back(), (Runs::value_type{110, kMarkedFrameSamples}));
}

TEST(SongTrim, RealLameFilesHoldTheSamplesTheirTonesWereMadeOf) {
  // tools/make-test-songs: a 44 100-sample tone cut after 20 000, two 0.6 s tones (VBR), 4 s of steps.
  struct Case {
    const char* name;
    std::int64_t samples;
  };
  for (const Case c : {Case{"gapless_1.mp3", 20000}, Case{"gapless_2.mp3", 24100}, Case{"tone_low.mp3", 26460},
                       Case{"steps.mp3", 176400}}) {
    SCOPED_TRACE(c.name);
    const Text file = fakes::test_song(c.name);
    MemorySongSource source(Bytes(file.begin(), file.end()));
    Mp3FrameReader frames(source);
    ASSERT_EQ(frames.open(), FrameRead::frame);
    ASSERT_TRUE(frames.summary() && frames.summary()->gapless);
    EXPECT_EQ(frames.summary()->gapless->delay, 576);
    const Mp3Trim trim = song_trim(frames.summary(), frames.format().samples);
    EXPECT_EQ(trim.skip, 576 + 529);
    EXPECT_EQ(trim.length, c.samples);
  }
}

TEST(SongSeek, LandsOnItsSampleFromFramesEarlyEnoughForTheBitReservoir) {
  Opened o = open(lame_song(40, 1, 576, 1000));
  const std::int64_t length = 40 * kMarkedFrameSamples - 1576;
  // A frame of 417 bytes holds 381 of main data: the 511 bytes the reservoir may reach back need two
  // frames before, and one more for the filter banks.
  MemorySongSource source(lame_song(40, 1, 576, 1000));
  Mp3FrameIndex index(source);
  ASSERT_TRUE(index.reach(18));
  EXPECT_EQ(index.preroll_start(18), 15u);
  EXPECT_EQ(index.preroll_start(2), 0u);
  EXPECT_EQ(index.preroll_start(0), 0u);

  for (const std::int64_t to : std::vector<std::int64_t>{20000, 0, 1, 45000 - 1105, 7, length - 1, 33333}) {
    SCOPED_TRACE(to);
    const int passes = o.codec->passes();
    ASSERT_TRUE(o.stream->seek(to));
    EXPECT_EQ(o.stream->sample(), to);
    EXPECT_EQ(runs_of(*o.stream), expected_runs(kSkip + to, kSkip + length));
    EXPECT_EQ(o.codec->passes(), passes + 1);  // the codec starts afresh
  }
  // Past the end: the song is over at once; then back inside it plays again.
  ASSERT_TRUE(o.stream->seek(length + 5000));
  EXPECT_TRUE(read_all(*o.stream).empty());
  ASSERT_TRUE(o.stream->seek(length - 100));
  EXPECT_EQ(read_all(*o.stream).size(), 100u * 4);
  EXPECT_EQ(o.codec->failures(), 0);
}

TEST(SongSeek, AGrowingFileMovesOnlyInsideWhatHasArrived) {
  const Bytes whole = lame_song(60, 1, 576, 1000);
  const std::size_t first = 417 + 20 * 417;  // the Info frame and 20 frames
  Opened o = open(Bytes(whole.begin(), whole.begin() + first), SourceState::growing, whole.size());
  ASSERT_TRUE(o.stream);
  EXPECT_EQ(o.stream->duration(), 60 * kMarkedFrameSamples - 1576);  // the LAME tag counts the frames
  EXPECT_EQ(o.stream->available(), 20 * kMarkedFrameSamples - kSkip);

  EXPECT_FALSE(o.stream->seek(30 * kMarkedFrameSamples));
  EXPECT_EQ(o.stream->sample(), 0);
  ASSERT_TRUE(o.stream->seek(10 * kMarkedFrameSamples));
  FrameRead last = FrameRead::frame;
  Runs runs = marker_runs(read_all(*o.stream, &last), 4);
  EXPECT_EQ(last, FrameRead::wait);  // played up to what is there
  EXPECT_EQ(runs.front().first, (10 * kMarkedFrameSamples + kSkip) / kMarkedFrameSamples + 1);

  o.source->append(whole.data() + first, whole.size() - first);
  EXPECT_EQ(o.stream->available(), 60 * kMarkedFrameSamples - 1576);  // every frame is there
  ASSERT_TRUE(o.stream->seek(50 * kMarkedFrameSamples));
  o.source->set_state(SourceState::complete);
  EXPECT_EQ(o.stream->available(), 60 * kMarkedFrameSamples - 1576);
  runs = runs_of(*o.stream);
  EXPECT_EQ(runs.back(), (Runs::value_type{60, 60 * kMarkedFrameSamples - 1000 + kDecoderDelay - 59 * kMarkedFrameSamples}));

  // A download that breaks ends the sound where its bytes end, and says so.
  o = open(Bytes(whole.begin(), whole.begin() + first + 100), SourceState::growing);
  read_all(*o.stream);
  o.source->set_state(SourceState::failed);
  read_all(*o.stream, &last);
  EXPECT_EQ(last, FrameRead::end);
  EXPECT_TRUE(o.stream->source_failed());
}

TEST(SongDuration, FromTheSummaryTheWalkedFramesOrTheBytesAtAConstantRate) {
  // No summary frame, whole: the bytes at the bit rate, then exactly the frames once walked.
  Opened o = open(marked_frames(100));
  const std::int64_t by_bytes = constant_rate_samples(100 * 417, *parse_frame_header(marked_frames(1).data(), 4));
  EXPECT_EQ(o.stream->duration(), by_bytes);
  EXPECT_NEAR(static_cast<double>(by_bytes), 100.0 * kMarkedFrameSamples, kMarkedFrameSamples);
  EXPECT_EQ(o.stream->available(), 100 * kMarkedFrameSamples);
  EXPECT_EQ(o.stream->duration(), 100 * kMarkedFrameSamples);

  // Growing: only from the length the download announced.
  const Bytes all = marked_frames(100);
  o = open(Bytes(all.begin(), all.begin() + 30 * 417), SourceState::growing);
  EXPECT_EQ(o.stream->duration(), std::nullopt);
  o = open(Bytes(all.begin(), all.begin() + 30 * 417), SourceState::growing, all.size());
  EXPECT_EQ(o.stream->duration(), by_bytes);

  // A Xing frame without a frame count, or bit rates that change: not known until walked whole.
  Bytes vbr = fakes::summary_frame(0, std::nullopt, true);
  vbr[4 + 32 + 7] = 0x0E;  // no frame count
  fakes::append(vbr, marked_frames(30));
  o = open(vbr, SourceState::growing, 100000);
  EXPECT_EQ(o.stream->duration(), std::nullopt);
}

TEST(SongLevels, AGainScalesTheSamplesWithoutClippingAndNoGainKeepsEveryBit) {
  const Bytes song = marked_frames(6, 100);
  Opened plain = open(song);
  const Bytes as_decoded = read_all(*plain.stream);
  Opened zero = open(song);
  zero.stream->set_gain(0, 0.9);
  EXPECT_EQ(read_all(*zero.stream), as_decoded);

  Opened half = open(song);
  half.stream->set_gain(-20 * std::log10(2.0), 0);
  const Bytes quiet = read_all(*half.stream);
  ASSERT_EQ(quiet.size(), as_decoded.size());
  for (std::size_t i = 0; i < quiet.size(); i += 2) {
    const auto a = static_cast<std::int16_t>(as_decoded[i] | as_decoded[i + 1] << 8);
    const auto b = static_cast<std::int16_t>(quiet[i] | quiet[i + 1] << 8);
    ASSERT_NEAR(b, a / 2.0, 0.5001) << i;
  }

  // Louder only as far as the peak allows; without a peak, not louder at all.
  EXPECT_DOUBLE_EQ(gain_scale(6, 0.8), 1.25);
  EXPECT_DOUBLE_EQ(gain_scale(6, 0), 1.0);
  EXPECT_NEAR(gain_scale(-6, 0.5), 0.501, 0.001);
  unsigned char loud[] = {0xFF, 0x7F, 0x00, 0x80, 0x10, 0x00};  // 32767, -32768, 16
  scale_samples(loud, sizeof loud, 1.5);
  EXPECT_EQ(Bytes(loud, loud + 6), (Bytes{0xFF, 0x7F, 0x00, 0x80, 0x18, 0x00}));  // held to the range
}

TEST(SongStreamOpen, RefusesAFileWithoutAudioOrACodecThatWillNotTakeIt) {
  EXPECT_FALSE(open(fakes::summary_frame(3, Mp3Gapless{576, 100})).stream);  // a summary and no audio
  EXPECT_FALSE(SongStream::open(nullptr, [](const Mp3FrameHeader&) { return nullptr; }));
  EXPECT_FALSE(SongStream::open(std::make_unique<MemorySongSource>(marked_frames(5)),
                                [](const Mp3FrameHeader&) { return std::unique_ptr<Mp3Codec>(); }));
}

}  // namespace
}  // namespace qiwa
