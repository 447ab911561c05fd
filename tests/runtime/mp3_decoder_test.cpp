// The streaming reader and the decoding loop, against a codec as strict as Windows' own and a source
// that grows, completes or fails as a download does.
#include "runtime/mp3_decoder.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "fakes/memory_song_source.hpp"
#include "fakes/strict_mp3_codec.hpp"

namespace qiwa {
namespace {

using fakes::MemorySongSource;
using fakes::StrictMp3Codec;

constexpr std::size_t kFrame = 417;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo, unpadded
constexpr std::size_t kMarkerAt = 4 + 32;

// A frame whose every byte after the header is `marker` (1..200, so never a sync byte).
Bytes frame(unsigned char marker) {
  Bytes f(kFrame, marker);
  f[0] = 0xFF;
  f[1] = 0xFB;
  f[2] = 0x90;
  f[3] = 0x00;
  return f;
}

Bytes info_frame() {
  Bytes f = frame(7);
  const char info[] = "Info\0\0\0\x01\0\0\0\x05";
  std::copy(info, info + 12, f.begin() + kMarkerAt);
  return f;
}

Bytes id3_tag(std::size_t body) {
  Bytes tag = {'I', 'D', '3', 3, 0, 0};
  for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<unsigned char>((body >> shift) & 0x7F));
  tag.resize(10 + body, 0);
  return tag;
}

void add(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

// Frames 1..count, in order.
Bytes song(int count, unsigned char first = 1) {
  Bytes out;
  for (int i = 0; i < count; ++i) add(out, frame(static_cast<unsigned char>(first + i)));
  return out;
}

std::vector<int> markers(const Bytes& pcm, std::size_t frame_pcm) {
  std::vector<int> out;
  for (std::size_t at = 0; at + frame_pcm <= pcm.size(); at += frame_pcm) out.push_back(pcm[at]);
  EXPECT_EQ(pcm.size() % frame_pcm, 0u) << "a frame's sound cut in the middle";
  return out;
}

std::vector<int> counting(int from, int to) {
  std::vector<int> out;
  for (int i = from; i <= to; ++i) out.push_back(i);
  return out;
}

// Everything the decoder gives, read in uneven pieces until the end; also the number of waits.
struct Decoding {
  Bytes pcm;
  int waits = 0;
};
Decoding decode(Mp3Decoder& decoder, MemorySongSource* grow_from = nullptr, const Bytes& rest = {}) {
  Decoding run;
  std::size_t fed = 0;
  unsigned char piece[3001];
  for (int guard = 0; guard < 100000; ++guard) {
    Decoded d = decoder.read(piece, sizeof piece);
    run.pcm.insert(run.pcm.end(), piece, piece + d.bytes);
    if (d.status == FrameRead::end) return run;
    if (d.status == FrameRead::wait) {
      ++run.waits;
      if (!grow_from) ADD_FAILURE() << "waits on a complete source";
      if (!grow_from) return run;
      const std::size_t step = std::min<std::size_t>(700, rest.size() - fed);
      grow_from->append(rest.data() + fed, step);
      fed += step;
      if (fed == rest.size()) grow_from->set_state(SourceState::complete);
    }
  }
  ADD_FAILURE() << "the decoder never ended";
  return run;
}

TEST(Mp3Streaming, DecodesEveryFrameOnceInOrderThroughAStrictCodec) {
  Bytes data = id3_tag(300);
  add(data, info_frame());
  add(data, song(60));
  MemorySongSource source(data);
  Mp3FrameReader frames(source);
  ASSERT_EQ(frames.open(), FrameRead::frame);
  StrictMp3Codec codec(frames.format());
  Mp3Decoder decoder(frames, codec);
  Decoding once = decode(decoder);
  EXPECT_EQ(markers(once.pcm, codec.frame_pcm_bytes()), counting(1, 60));  // the Info frame is no sound
  EXPECT_EQ(codec.failures(), 0);

  // A second pass starts the codec afresh and gives the same frames again.
  frames.rewind();
  decoder.restart();
  Decoding twice = decode(decoder);
  EXPECT_EQ(markers(twice.pcm, codec.frame_pcm_bytes()), counting(1, 60));
  EXPECT_EQ(codec.passes(), 2);
  EXPECT_EQ(codec.failures(), 0);
}

TEST(Mp3Streaming, PassesOverGarbageFramesOfAnotherFormatAndACutEnd) {
  Bytes data = song(10);
  Bytes junk(1500, 0x20);
  junk[100] = 0xFF;  // a lone sync byte in the garbage
  junk[101] = 0xFB;
  add(data, junk);
  add(data, song(10, 11));
  Bytes other = {0xFF, 0xF3, 0x80, 0x00};  // MPEG-2, 22.05 kHz: another format
  other.resize(208, 0x30);
  add(data, other);
  add(data, other);
  add(data, song(10, 21));
  Bytes cut = frame(99);
  cut.resize(200);
  add(data, cut);
  MemorySongSource source(data);
  Mp3FrameReader frames(source);
  ASSERT_EQ(frames.open(), FrameRead::frame);
  StrictMp3Codec codec(frames.format());
  Mp3Decoder decoder(frames, codec);
  EXPECT_EQ(markers(decode(decoder).pcm, codec.frame_pcm_bytes()), counting(1, 30));
  EXPECT_EQ(codec.failures(), 0);
  EXPECT_FALSE(frames.source_failed());
}

TEST(Mp3Streaming, FollowsAGrowingFileAndWaitsWithoutLosingAFrame) {
  Bytes data = id3_tag(5000);
  add(data, info_frame());
  add(data, song(80));
  MemorySongSource source({}, SourceState::growing);
  Mp3FrameReader frames(source);
  std::size_t fed = 0;
  // Until a first frame and the header after it are there, the reader cannot tell.
  while (frames.open() == FrameRead::wait) {
    ASSERT_LT(fed, data.size());
    const std::size_t step = std::min<std::size_t>(333, data.size() - fed);
    source.append(data.data() + fed, step);
    fed += step;
  }
  EXPECT_GE(fed, 10 + 5000 + 2 * kFrame + 4);
  StrictMp3Codec codec(frames.format());
  Mp3Decoder decoder(frames, codec);
  Decoding run = decode(decoder, &source, Bytes(data.begin() + static_cast<std::ptrdiff_t>(fed), data.end()));
  EXPECT_EQ(markers(run.pcm, codec.frame_pcm_bytes()), counting(1, 80));
  EXPECT_GT(run.waits, 10);
  EXPECT_EQ(codec.failures(), 0);
}

TEST(Mp3Streaming, AFailedDownloadEndsTheSoundWhereItsBytesEnd) {
  Bytes data = song(20);
  MemorySongSource source(Bytes(data.begin(), data.begin() + 5 * kFrame + 100), SourceState::growing);
  Mp3FrameReader frames(source);
  ASSERT_EQ(frames.open(), FrameRead::frame);
  StrictMp3Codec codec(frames.format());
  Mp3Decoder decoder(frames, codec);
  unsigned char pcm[100000];
  Decoded d = decoder.read(pcm, sizeof pcm);
  EXPECT_EQ(d.status, FrameRead::wait);
  source.set_state(SourceState::failed);
  Decoded rest = decoder.read(pcm + d.bytes, sizeof pcm - d.bytes);
  EXPECT_EQ(rest.status, FrameRead::end);
  EXPECT_EQ(markers(Bytes(pcm, pcm + d.bytes + rest.bytes), codec.frame_pcm_bytes()), counting(1, 5));
  EXPECT_TRUE(frames.source_failed());
}

TEST(Mp3Streaming, RefusesWhatIsNoSongAndReadsInBoundedPieces) {
  const std::string html = "<!DOCTYPE html><html><body>404 Not Found</body></html>";
  Bytes half_info = id3_tag(20);
  Bytes info = info_frame();
  half_info.insert(half_info.end(), info.begin(), info.begin() + 200);
  Bytes summary_only = info_frame();
  Bytes noise(20000);
  std::uint32_t seed = 5;
  for (auto& b : noise) b = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);
  for (const Bytes& not_song : {Bytes{}, Bytes(html.begin(), html.end()), half_info, summary_only, noise}) {
    MemorySongSource source(not_song);
    EXPECT_EQ(Mp3FrameReader(source).open(), FrameRead::end);
  }
  MemorySongSource empty_growing({}, SourceState::growing);
  EXPECT_EQ(Mp3FrameReader(empty_growing).open(), FrameRead::wait);

  // A cover picture of 4 MB in the tag is passed over unread; memory stays within the window.
  Bytes data = id3_tag(4 << 20);
  add(data, song(400));
  MemorySongSource source(data);
  Mp3FrameReader frames(source);
  ASSERT_EQ(frames.open(), FrameRead::frame);
  StrictMp3Codec codec(frames.format());
  Mp3Decoder decoder(frames, codec);
  EXPECT_EQ(markers(decode(decoder).pcm, codec.frame_pcm_bytes()).size(), 400u);
  EXPECT_LE(source.bytes_read(), 400 * kFrame + Mp3FrameReader::kWindow);
  EXPECT_LE(source.largest_read(), Mp3FrameReader::kWindow);
}

}  // namespace
}  // namespace qiwa
