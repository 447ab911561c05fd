#include "runtime/mp3_frames.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace qiwa {
namespace {

// Files made with sox and lame: 3 s stereo 44.1 kHz 64 kbit/s with an ID3v2 tag and an Info frame,
// 1 s mono 22.05 kHz VBR with a Xing frame, 0.5 s mono 8 kHz (MPEG 2.5) without a summary frame.
Bytes data_file(const std::string& name) {
  std::ifstream in(std::string(QIWA_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes header(unsigned char b1, unsigned char b2, unsigned char b3) { return {0xFF, b1, b2, b3}; }

// A stream of `count` silent MPEG-1 128 kbit/s 44.1 kHz stereo frames (417 bytes each, no padding).
Bytes frames(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    Bytes h = header(0xFB, 0x90, 0x00);
    out.insert(out.end(), h.begin(), h.end());
    out.resize(out.size() + 413, 0);
  }
  return out;
}

TEST(Mp3Header, ParsesEveryVersionAndRejectsReservedFields) {
  auto h = parse_frame_header(header(0xFB, 0x90, 0x00).data(), 4);  // MPEG-1, 128 kbit/s, 44.1 kHz
  ASSERT_TRUE(h);
  EXPECT_EQ(h->version, MpegVersion::mpeg1);
  EXPECT_EQ(h->bit_rate, 128000);
  EXPECT_EQ(h->sample_rate, 44100);
  EXPECT_EQ(h->channels, 2);
  EXPECT_EQ(h->length, 417u);
  EXPECT_EQ(h->samples, 1152);
  EXPECT_FALSE(h->crc);
  h = parse_frame_header(header(0xFB, 0x92, 0xC0).data(), 4);  // padded, mono
  ASSERT_TRUE(h);
  EXPECT_EQ(h->length, 418u);
  EXPECT_EQ(h->channels, 1);
  EXPECT_EQ(h->side_info_size, 17);
  h = parse_frame_header(header(0xF2, 0x80, 0x00).data(), 4);  // MPEG-2, 64 kbit/s, 22.05 kHz, CRC
  ASSERT_TRUE(h);
  EXPECT_EQ(h->version, MpegVersion::mpeg2);
  EXPECT_EQ(h->length, 208u);
  EXPECT_EQ(h->samples, 576);
  EXPECT_TRUE(h->crc);
  h = parse_frame_header(header(0xE3, 0x28, 0xC4).data(), 4);  // MPEG-2.5, 16 kbit/s, 8 kHz
  ASSERT_TRUE(h);
  EXPECT_EQ(h->version, MpegVersion::mpeg25);
  EXPECT_EQ(h->sample_rate, 8000);
  EXPECT_EQ(h->length, 144u);

  EXPECT_FALSE(parse_frame_header(header(0xFB, 0xF0, 0x00).data(), 4));  // bit rate index 15
  EXPECT_FALSE(parse_frame_header(header(0xFB, 0x00, 0x00).data(), 4));  // free format
  EXPECT_FALSE(parse_frame_header(header(0xFB, 0x9C, 0x00).data(), 4));  // sample rate index 3
  EXPECT_FALSE(parse_frame_header(header(0xFD, 0x90, 0x00).data(), 4));  // Layer II
  EXPECT_FALSE(parse_frame_header(header(0xEB, 0x90, 0x00).data(), 4));  // reserved version
  EXPECT_FALSE(parse_frame_header(header(0xFB, 0x90, 0x00).data(), 3));
  EXPECT_FALSE(parse_frame_header(nullptr, 4));
}

TEST(Mp3Id3v2, SkipsTagsWithFootersAndRefusesBrokenSizes) {
  Bytes tag = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0};  // footer flag, body of 128 bytes
  tag.resize(148, 0);
  Bytes second = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 5};
  Bytes data = tag;
  data.insert(data.end(), second.begin(), second.end());
  Bytes audio = frames(3);
  data.insert(data.end(), audio.begin(), audio.end());
  EXPECT_EQ(id3v2_size(data.data(), data.size()), 148u + 15u);
  auto stream = probe_mp3(data);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->first_audio, 163u);
  EXPECT_EQ(stream->frames, 3u);

  Bytes not_syncsafe = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x80, 0};
  EXPECT_EQ(id3v2_size(not_syncsafe.data(), not_syncsafe.size()), 0u);
  Bytes too_long = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 0, 0};
  EXPECT_EQ(id3v2_size(too_long.data(), too_long.size()), too_long.size());
  EXPECT_FALSE(probe_mp3(too_long));
  EXPECT_EQ(id3v2_size(nullptr, 0), 0u);
}

TEST(Mp3Sync, FirstFrameNeedsTheNextHeaderToFollow) {
  Bytes data = {'j', 'u', 'n', 'k', 0xFF, 0xFB, 0x90, 0x00, 1, 2, 3};  // a false sync: nothing follows at +417
  data.resize(600, 0x55);
  std::size_t real = data.size();
  Bytes audio = frames(2);
  data.insert(data.end(), audio.begin(), audio.end());
  EXPECT_EQ(find_frame(data.data(), data.size(), 0), real);
  // A broken frame mid-stream is skipped and the walk picks up at the next synced frame.
  Bytes mid = frames(4);
  mid[417 * 2] = 0x00;
  auto stream = probe_mp3(mid);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->frames, 3u);
  // The last frame may end the data exactly; a cut last frame is left out.
  Bytes cut = frames(3);
  cut.resize(cut.size() - 10);
  EXPECT_EQ(probe_mp3(cut)->frames, 2u);
  EXPECT_EQ(find_frame(cut.data(), cut.size(), cut.size() + 5), std::size_t(-1));
}

TEST(Mp3Probe, RealLameFiles) {
  Bytes cbr = data_file("tone_cbr.mp3");
  ASSERT_GT(cbr.size(), 20000u);
  auto s = probe_mp3(cbr);
  ASSERT_TRUE(s);
  EXPECT_EQ(id3v2_size(cbr.data(), cbr.size()), 120u);
  EXPECT_EQ(s->header.version, MpegVersion::mpeg1);
  EXPECT_EQ(s->header.sample_rate, 44100);
  EXPECT_EQ(s->header.channels, 2);
  EXPECT_EQ(s->header.bit_rate, 64000);
  EXPECT_FALSE(s->vbr);  // an Info frame: constant bit rate
  EXPECT_NEAR(s->seconds, 3.0, 0.1);
  auto first = *parse_frame_header(cbr.data() + 120, cbr.size() - 120);
  auto summary = parse_summary_frame(cbr.data() + 120, cbr.size() - 120, first);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->frames, s->frames);
  EXPECT_EQ(s->first_audio, 120 + first.length);

  Bytes vbr = data_file("tone_vbr.mp3");
  s = probe_mp3(vbr);
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->vbr);
  EXPECT_EQ(s->header.version, MpegVersion::mpeg2);
  EXPECT_EQ(s->header.channels, 1);
  EXPECT_NEAR(s->seconds, 1.0, 0.1);

  Bytes v25 = data_file("tone_mpeg25.mp3");
  s = probe_mp3(v25);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->header.version, MpegVersion::mpeg25);
  EXPECT_EQ(s->first_audio, 0u);
  EXPECT_NEAR(s->seconds, 0.5, 0.2);
}

TEST(Mp3Probe, CorruptInputIsRefusedOrReadWithinBounds) {
  EXPECT_FALSE(probe_mp3(Bytes{}));
  std::string text = "<html>not a song</html>";
  EXPECT_FALSE(probe_mp3(Bytes(text.begin(), text.end())));
  Bytes summary_only = data_file("tone_cbr.mp3");
  auto first = *parse_frame_header(summary_only.data() + 120, 4);
  summary_only.resize(120 + first.length);
  EXPECT_FALSE(probe_mp3(summary_only));  // an Info frame and no audio

  // Every prefix of a real file (the sanitizers watch the reads), then pseudo-random noise.
  Bytes vbr = data_file("tone_vbr.mp3");
  for (std::size_t n = 0; n <= vbr.size(); n += 7) {
    Bytes prefix(vbr.begin(), vbr.begin() + static_cast<std::ptrdiff_t>(n));
    auto s = probe_mp3(prefix);
    if (s) {
      EXPECT_LE(s->first_audio + s->header.length, n);
    }
  }
  std::uint32_t seed = 12345;
  for (int round = 0; round < 50; ++round) {
    Bytes noise(2000);
    for (auto& b : noise) {
      seed = seed * 1664525u + 1013904223u;
      b = static_cast<unsigned char>(seed >> 24 | (round % 2 ? 0xE0 : 0));  // odd rounds are sync-heavy
    }
    probe_mp3(noise);
  }
}

TEST(Mp3Sniff, TellsSongsFromOtherBytesWhateverThePieces) {
  // A tag whose header is cut across pieces, then frames: fed a byte at a time, and whole.
  Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x01, 0x00};  // 128 bytes of tag body
  tag.resize(tag.size() + 128, 'x');
  Bytes song = tag;
  const Bytes audio = frames(3);
  song.insert(song.end(), audio.begin(), audio.end());
  Mp3Sniffer by_byte, whole;
  for (unsigned char b : song) by_byte.feed(&b, 1);
  whole.feed(song.data(), song.size());
  EXPECT_TRUE(by_byte.is_song());
  EXPECT_TRUE(whole.is_song());
  EXPECT_TRUE([&] {
    Mp3Sniffer s;
    const Bytes real = data_file("tone_cbr.mp3");
    s.feed(real.data(), real.size());
    return s.is_song();
  }());
  for (std::string_view other : {"<html><body>404</html>", "", "ID3"}) {
    Mp3Sniffer s;
    s.feed(reinterpret_cast<const unsigned char*>(other.data()), other.size());
    EXPECT_FALSE(s.is_song()) << other;
  }
  Mp3Sniffer only_a_tag;  // a tag and nothing after it
  only_a_tag.feed(tag.data(), tag.size());
  EXPECT_FALSE(only_a_tag.is_song());
}

// The check fed in pieces of `piece` bytes (the last one shorter).
Mp3WholeCheck checked(const Bytes& data, std::size_t piece = 4096) {
  Mp3WholeCheck check;
  for (std::size_t at = 0; at < data.size(); at += piece)
    check.feed(data.data() + at, std::min(piece, data.size() - at));
  return check;
}

Bytes cut_to(const Bytes& data, std::size_t size) {
  return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes joined(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The real files whole, however they arrive, and every cut of those with an Info or Xing frame: a cut
// inside a frame and a cut between two frames are both told, with or without a length to go by.
TEST(Mp3Whole, RealFilesAreWholeAndEveryCutOfThemIsTold) {
  for (const char* name : {"tone_cbr.mp3", "tone_vbr.mp3", "tone_mpeg25.mp3"}) {
    const Bytes song = data_file(name);
    for (std::size_t piece : {1u, 7u, 417u, 100000u})
      EXPECT_TRUE(checked(song, piece).whole()) << name << " " << piece;
  }
  for (const char* name : {"tone_cbr.mp3", "tone_vbr.mp3"}) {
    const Bytes song = data_file(name);
    const Mp3WholeCheck whole = checked(song);
    ASSERT_TRUE(whole.summary() && whole.summary()->frames && whole.summary()->bytes) << name;
    EXPECT_EQ(whole.frames(), *whole.summary()->frames) << name;
    for (std::size_t n = 0; n < song.size(); n += 13)
      EXPECT_FALSE(checked(cut_to(song, n), 1000).whole()) << name << " cut at " << n;
    EXPECT_FALSE(checked(cut_to(song, song.size() - 1)).whole()) << name;
  }
}

// Without a summary only the last frame tells: a cut inside any frame is seen, a cut exactly between two
// cannot be.
TEST(Mp3Whole, WithoutASummaryACutInsideAFrameIsTold) {
  const Bytes song = data_file("tone_mpeg25.mp3");
  ASSERT_FALSE(checked(song).summary());
  std::size_t boundaries = 0;
  for (std::size_t at = find_frame(song.data(), song.size(), 0); at < song.size();) {
    const auto h = *parse_frame_header(song.data() + at, song.size() - at);
    for (std::size_t inside : {std::size_t(1), std::size_t(4), h.length / 2, h.length - 1})
      EXPECT_FALSE(checked(cut_to(song, at + inside), 64).whole())
          << "cut " << inside << " into the frame at " << at;
    at += h.length;
    ++boundaries;
  }
  EXPECT_GT(boundaries, 3u);
}

// What real files carry around the audio is no cut: tags before it (ours and the file's own), an ID3v1 tag
// and stray bytes after it. What is no song is never whole.
TEST(Mp3Whole, TagsAndTrailersAreNoCutAndOtherBytesAreNoSong) {
  const Bytes song = data_file("tone_vbr.mp3");
  const Bytes ours = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x01, 0x00};
  Bytes tagged = joined(ours, Bytes(128, 'x'));
  tagged = joined(tagged, data_file("tone_cbr.mp3"));
  EXPECT_TRUE(checked(tagged, 3).whole());
  Bytes v1 = {'T', 'A', 'G'};
  v1.resize(128, ' ');
  EXPECT_TRUE(checked(joined(song, v1), 50).whole());
  EXPECT_TRUE(checked(joined(song, {0x00, 0x0A})).whole());
  EXPECT_FALSE(checked(joined(song, {0xFF, 0xF3})).whole()) << "the next frame's header, cut";

  for (std::string_view other : {"", "<html><body>404</body></html>", "ID3"}) {
    Mp3WholeCheck check;
    check.feed(reinterpret_cast<const unsigned char*>(other.data()), other.size());
    EXPECT_FALSE(check.whole()) << other;
  }
  EXPECT_FALSE(checked(joined(ours, Bytes(128, 'x'))).whole()) << "a tag and no audio";
  EXPECT_FALSE(checked(frames(1)).whole()) << "one frame is no song";
  EXPECT_TRUE(checked(frames(3)).whole());
}

// A VBRI frame (encoders differ on whether its count holds itself): the stream it describes is whole,
// and one that stops frames short of it, between two frames, is not.
TEST(Mp3Whole, AVbriSummaryCountsTheFramesThatMustCome) {
  Bytes stream = frames(21);
  unsigned char* vbri = stream.data() + 4 + 32;
  const unsigned char fields[] = {'V', 'B', 'R', 'I', 0, 1, 0, 0, 0, 50, 0, 0, 0x22, 0x35, 0, 0, 0, 20};
  std::copy(std::begin(fields), std::end(fields), vbri);  // 8757 bytes, 20 frames
  const Mp3WholeCheck whole = checked(stream, 100);
  ASSERT_TRUE(whole.summary() && whole.summary()->vbri);
  EXPECT_EQ(whole.summary()->bytes, 8757u);
  EXPECT_TRUE(whole.whole());
  EXPECT_FALSE(checked(cut_to(stream, 417 * 19)).whole());
}

}  // namespace
}  // namespace qiwa
