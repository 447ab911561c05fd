// The program's own ID3v2.3 tag, and the reader that must get a tag's texts back from any first bytes.
#include "music/id3_tag.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_files.hpp"
#include "fakes/test_song.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

const SongTag kSunny{
    "晴天", "周杰伦", "叶惠美", {{"QIWA_SOURCE", "netease"}, {"QIWA_ID", "1000"}, {"QIWA_PIC_ID", ""}}};

Bytes bytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

// A frame as a tag of `version` writes it: sizes plain in 2.3, seven bits a byte in 2.4.
Bytes frame(const char* id, const Bytes& body, int version = 3, unsigned char flags = 0) {
  Bytes out(id, id + 4);
  const auto n = static_cast<std::uint32_t>(body.size());
  for (int shift : {24, 16, 8, 0})
    out.push_back(static_cast<unsigned char>(version == 4 ? (n >> (shift / 8 * 7)) & 0x7F : n >> shift));
  out.push_back(0);
  out.push_back(flags);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes tag_of(const std::vector<Bytes>& frames, int version = 3, unsigned char flags = 0,
             std::size_t padding = 0) {
  Bytes body;
  for (const Bytes& f : frames) body.insert(body.end(), f.begin(), f.end());
  body.resize(body.size() + padding, 0);
  Bytes out = {'I', 'D', '3', static_cast<unsigned char>(version), 0, flags};
  for (int shift : {21, 14, 7, 0}) out.push_back(static_cast<unsigned char>((body.size() >> shift) & 0x7F));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

TEST(Id3Tag, WrittenAsVersion23WithUtf16TextsAndReadBack) {
  const Bytes tag = write_id3_tag(kSunny);
  ASSERT_GT(tag.size(), 10u);
  EXPECT_EQ(Bytes(tag.begin(), tag.begin() + 6), (Bytes{'I', 'D', '3', 3, 0, 0}));
  // TIT2, then its size, no flags, encoding 1 and a little-endian byte order mark before "晴天".
  EXPECT_EQ(Bytes(tag.begin() + 10, tag.begin() + 25),
            (Bytes{'T', 'I', 'T', '2', 0, 0, 0, 7, 0, 0, 1, 0xFF, 0xFE, 0x74, 0x66}));
  EXPECT_EQ(read_id3_tag(tag), kSunny);

  const SongTag scripts{"별빛 🎵 Star", "", "Tiếng Việt 🎶", {{"説明", "ดาว"}}};
  EXPECT_EQ(read_id3_tag(write_id3_tag(scripts)), scripts);  // the empty singer is left out
  Bytes followed = write_id3_tag(kSunny);
  followed.insert(followed.end(), {0xFF, 0xFB, 0x90, 0x00});  // the song's first frame after it
  EXPECT_EQ(read_id3_tag(followed), kSunny);
}

TEST(Id3Tag, LongTextsAreCutBetweenCharactersAndATextEndsAtANul) {
  Text long_title(kMaxTagTextUnits - 1, 'a');
  long_title += "🎵🎵";  // a pair of units would straddle the limit
  const std::optional<SongTag> read = read_id3_tag(write_id3_tag({long_title, "", "", {}}));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->title, Text(kMaxTagTextUnits - 1, 'a'));
  EXPECT_LT(write_id3_tag({Text(100000, 'x'), "", "", {}}).size(), 3 * kMaxTagTextUnits);
  EXPECT_EQ(read_id3_tag(write_id3_tag({Text("晴\0天", 7), "", "", {}}))->title, "晴") << "a NUL ends a text";
}

// Tags others write: version 2.4 with its sizes, every text encoding, frames of other kinds, frames the
// reader cannot read, padding.
TEST(Id3Tag, TagsOfOtherWritersAreRead) {
  const Bytes utf8 = {3, 0xE6, 0x99, 0xB4, 0xE5, 0xA4, 0xA9};  // "晴天"
  const Bytes latin1 = {0, 'C', 'a', 'f', 0xE9, 0};
  const Bytes utf16be = {2, 0x54, 0x68, 0x59, 0x29};  // "周天"
  const Bytes user = {3, 'Q', 'I', 'W', 'A', '_', 'I', 'D', 0, '7'};
  const Bytes picture(300, 0xFF);
  SongTag expected{"晴天", "Café", "周天", {{"QIWA_ID", "7"}}};
  EXPECT_EQ(read_id3_tag(tag_of({frame("APIC", picture, 4), frame("TIT2", utf8, 4), frame("TPE1", latin1, 4),
                                 frame("TALB", utf16be, 4), frame("TXXX", user, 4)},
                                4, 0, 64)),
            expected);
  // A compressed or encrypted frame is passed over; the frames after it are read.
  expected.title.clear();
  EXPECT_EQ(read_id3_tag(tag_of({frame("TIT2", utf8, 3, 0x80), frame("TPE1", latin1), frame("TALB", utf16be),
                                 frame("TXXX", user)})),
            expected);
  for (unsigned char flags : {0x80, 0x40})  // unsynchronised, an extended header: no tag of the program's
    EXPECT_EQ(read_id3_tag(tag_of({frame("TIT2", utf8)}, 3, flags))->title, "");
}

// Whatever the bytes: no tag, a tag cut short, sizes past the end, texts that end without their NUL or
// hold no UTF-8. The reader stays within them and its texts are well formed.
TEST(Id3Tag, AnyBytesAreReadSafely) {
  EXPECT_FALSE(read_id3_tag(bytes("")));
  EXPECT_FALSE(read_id3_tag(bytes("<html>ID3</html>")));
  EXPECT_FALSE(read_id3_tag(Bytes{'I', 'D', '3', 2, 0, 0, 0, 0, 0, 10}));  // version 2.2
  EXPECT_FALSE(read_id3_tag(Bytes{'I', 'D', '3', 3, 0, 0, 0x80, 0, 0, 10})) << "a size that is not syncsafe";
  const Bytes whole = write_id3_tag(kSunny);
  for (std::size_t n = 10; n < whole.size(); ++n) {
    const std::optional<SongTag> cut =
        read_id3_tag(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
    ASSERT_TRUE(cut) << n;
    EXPECT_LE(cut->user_texts.size(), kSunny.user_texts.size());
  }
  Bytes too_long = tag_of({frame("TIT2", {1, 0xFF, 0xFE, 'a', 0})});
  too_long[17] = 0x7F;  // the frame claims more than the tag holds
  EXPECT_EQ(read_id3_tag(too_long)->title, "");
  EXPECT_EQ(read_id3_tag(tag_of({frame("TIT2", {1, 0xFF, 0xFE, 0x00, 0xD8, 'b'})}))->title, "\xEF\xBF\xBD");
  EXPECT_EQ(read_id3_tag(tag_of({frame("TIT2", {3, 'a', 0xFF, 'b'})}))->title, Text("a") + "\xEF\xBF\xBD" + "b");
  EXPECT_EQ(read_id3_tag(tag_of({frame("TIT2", {9, 'a'}), frame("TXXX", {})}))->title, "")
      << "an unknown encoding";
}

// A picture's first bytes, as the service serves covers, and then some.
Bytes picture(std::string_view magic, std::size_t size = 2000) {
  Bytes out(magic.begin(), magic.end());
  for (std::size_t i = out.size(); i < size; ++i) out.push_back(static_cast<unsigned char>(i * 7));
  return out;
}

// Everything a kept song's tag carries.
SongTag full_tag(Bytes cover = picture("\xFF\xD8\xFF\xE0")) {
  SongTag tag = kSunny;
  tag.cover = std::move(cover);
  tag.lyrics = "故事的小黄花\r\n从出生那年就飘着\r\n";
  tag.timed_lyrics = {{0, "故事的小黄花"}, {29260, "从出生那年就飘着"}, {3600000, ""}};
  tag.gain_db = -6.52;
  tag.peak = 0.988553;
  return tag;
}

// The offset of a frame's header in the tag; npos when the tag has none.
std::size_t frame_at(const Bytes& tag, std::string_view id) {
  const auto it = std::search(tag.begin() + 10, tag.end(), id.begin(), id.end());
  return it == tag.end() ? std::string_view::npos : static_cast<std::size_t>(it - tag.begin());
}

TEST(Id3Tag, CoverLyricsAndReplayGainAreWrittenAndReadBack) {
  const SongTag tag = full_tag();
  const Bytes written = write_id3_tag(tag);
  EXPECT_EQ(read_id3_tag(written), tag);
  // The tag's size is syncsafe and counts every frame; each frame's size is that of its body.
  const std::size_t body = std::size_t(written[6]) << 21 | std::size_t(written[7]) << 14 |
                           std::size_t(written[8]) << 7 | written[9];
  EXPECT_EQ(body + 10, written.size());
  // The texts come first, the cover last: a reader of the first bytes gets the song's identity.
  EXPECT_LT(frame_at(written, "TXXX"), frame_at(written, "USLT"));
  EXPECT_LT(frame_at(written, "SYLT"), frame_at(written, "APIC"));
  const std::size_t apic = frame_at(written, "APIC");
  const Bytes head(written.begin() + static_cast<std::ptrdiff_t>(apic), written.begin() + static_cast<std::ptrdiff_t>(apic) + 24);
  const std::size_t apic_body = tag.cover.size() + 14;  // encoding, "image/jpeg", NUL, type, empty description
  EXPECT_EQ(head, (Bytes{'A', 'P', 'I', 'C', 0, 0, static_cast<unsigned char>(apic_body >> 8),
                         static_cast<unsigned char>(apic_body), 0, 0, 0, 'i', 'm', 'a', 'g', 'e', '/', 'j',
                         'p', 'e', 'g', 0, 3, 0}));
  EXPECT_EQ(written.size(), apic + 10 + apic_body);
  // USLT: UTF-16, language "XXX", an empty description.
  const std::size_t uslt = frame_at(written, "USLT");
  EXPECT_EQ(Bytes(written.begin() + static_cast<std::ptrdiff_t>(uslt) + 10, written.begin() + static_cast<std::ptrdiff_t>(uslt) + 18),
            (Bytes{1, 'X', 'X', 'X', 0xFF, 0xFE, 0, 0}));
  // The replay gain in Latin-1, as players read it.
  const std::string_view text(reinterpret_cast<const char*>(written.data()), written.size());
  EXPECT_NE(text.find(std::string_view("\0REPLAYGAIN_TRACK_GAIN\0-6.52 dB", 31)), std::string_view::npos);
  EXPECT_NE(text.find(std::string_view("\0REPLAYGAIN_TRACK_PEAK\0" "0.988553", 31)), std::string_view::npos);
}

TEST(Id3Tag, TheCoversTypeComesFromItsBytesAndWhatIsNoPictureIsLeftOut) {
  EXPECT_EQ(picture_mime(picture("\xFF\xD8\xFF")), "image/jpeg");
  EXPECT_EQ(picture_mime(picture("\x89PNG\r\n\x1A\n")), "image/png");
  EXPECT_EQ(picture_mime(picture("GIF89a")), "image/gif");
  EXPECT_EQ(picture_mime(picture("BM")), "image/bmp");
  EXPECT_EQ(picture_mime(picture(std::string_view("RIFF\0\0\0\0WEBPVP8 ", 16))), "image/webp");
  EXPECT_EQ(picture_mime(picture("<html>not found</html>")), "");
  EXPECT_EQ(picture_mime(Bytes{0xFF, 0xD8}), "");
  EXPECT_EQ(read_id3_tag(write_id3_tag(full_tag(picture("\x89PNG\r\n\x1A\n"))))->cover,
            picture("\x89PNG\r\n\x1A\n"));
  for (const Bytes& no_cover : {Bytes{}, picture("<html>"), picture("\xFF\xD8\xFF", kMaxCoverBytes + 1)}) {
    const Bytes written = write_id3_tag(full_tag(no_cover));
    EXPECT_EQ(frame_at(written, "APIC"), std::string_view::npos);
    EXPECT_LT(written.size(), 2000u);
  }
}

// Covers of several MB: frame sizes past 16 bits and a tag size past 21 bits, syncsafe.
TEST(Id3Tag, ALargeCoverIsWhole) {
  const SongTag tag = full_tag(picture("\xFF\xD8\xFF", 5 << 20));
  const Bytes written = write_id3_tag(tag);
  const std::optional<SongTag> read = read_id3_tag(written);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->cover == tag.cover);
  for (int i = 6; i < 10; ++i) EXPECT_LT(written[static_cast<std::size_t>(i)], 0x80);
  // Read from a file's first bytes, the cover is cut off, the texts are there.
  fakes::FakeFiles files;
  files.put("C:\\Qiwa\\big.mp3", Text(written.begin(), written.end()) + "\xFF\xFB\x90\x00");
  const std::optional<SongTag> head = read_file_tag(files, "C:\\Qiwa\\big.mp3");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->user_texts, tag.user_texts);
  EXPECT_EQ(head->lyrics, tag.lyrics);
  EXPECT_EQ(head->gain_db, tag.gain_db);
  EXPECT_TRUE(head->cover.empty());
}

// Others' pictures, lyrics and replay gain: a front cover wins over other pictures, lyrics timed in
// MPEG frames are passed over, gains in other cases and forms are read, broken numbers are not.
TEST(Id3Tag, OthersPicturesLyricsAndGainsAreRead) {
  const auto body = [](std::initializer_list<unsigned char> head, std::string_view rest) {
    Bytes out(head);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
  };
  const SongTag read = *read_id3_tag(tag_of(
      {frame("APIC", body({0}, std::string_view("image/png\0\x04" "back\0BACK", 20)), 4),
       frame("APIC", body({3}, std::string_view("image/jpeg\0\x03\xE5\x89\x8D\0FRONT", 21)), 4),
       frame("APIC", body({0}, std::string_view("image/png\0\0\0LATER", 17)), 4),
       frame("SYLT", body({0, 'e', 'n', 'g', 1, 1, 0}, std::string_view("a\0\0\0\0\x10", 6)), 4),
       frame("SYLT", body({3, 'e', 'n', 'g', 2, 1, 0}, std::string_view("a\0\0\0\x01\0b\0\0\0", 10)), 4),
       frame("USLT", body({3, 'z', 'h', 'o', 'x', 0}, "歌词"), 4),
       frame("TXXX", body({0}, std::string_view("replaygain_track_gain\0+1.50 dB", 30)), 4),
       frame("TXXX", body({0}, std::string_view("REPLAYGAIN_TRACK_PEAK\0-1", 24)), 4)},
      4));
  EXPECT_EQ(Text(read.cover.begin(), read.cover.end()), "FRONT");
  EXPECT_EQ(read.lyrics, "歌词");
  EXPECT_EQ(read.timed_lyrics, (std::vector<TimedText>{{256, "a"}}));  // "b" lost its time to the frame's end
  EXPECT_EQ(read.gain_db, 1.5);
  EXPECT_FALSE(read.peak) << "a negative peak";
  EXPECT_TRUE(read.user_texts.empty());
  for (const char* broken : {"abc dB", "nan", "inf dB", ""})
    EXPECT_FALSE(read_id3_tag(tag_of({frame("TXXX", body({0}, Text("REPLAYGAIN_TRACK_GAIN") + '\0' + broken))}))
                     ->gain_db)
        << broken;
}

// Hostile frames: pictures, lyrics and timed lyrics cut anywhere stay within the data.
TEST(Id3Tag, CutPicturesAndLyricsAreReadSafely) {
  const Bytes whole = write_id3_tag(full_tag());
  for (const char* id : {"USLT", "SYLT", "APIC"}) {
    const std::size_t at = frame_at(whole, id);
    for (std::size_t n = 0; n < 40; ++n) {
      Bytes cut(whole.begin() + static_cast<std::ptrdiff_t>(at) + 10,
                whole.begin() + static_cast<std::ptrdiff_t>(at) + 10 + static_cast<std::ptrdiff_t>(n));
      const std::optional<SongTag> read = read_id3_tag(tag_of({frame(id, cut)}));
      ASSERT_TRUE(read) << id << n;
      EXPECT_LE(read->cover.size(), n);
      EXPECT_LE(read->lyrics.size(), n);
    }
  }
}

TEST(Id3Tag, TheTagOfAFileIsReadThroughTheFiles) {
  fakes::FakeFiles files;
  files.put("C:\\Qiwa\\ours.mp3", fakes::tag_text(kSunny) + "\xFF\xFB\x90\x00 and the song");
  files.put("C:\\Qiwa\\theirs.mp3", "\xFF\xFB\x90\x00 a song without a tag");
  files.put("C:\\Qiwa\\short.mp3", "ID3");
  EXPECT_EQ(read_file_tag(files, "C:\\Qiwa\\ours.mp3"), kSunny);
  EXPECT_FALSE(read_file_tag(files, "C:\\Qiwa\\theirs.mp3"));
  EXPECT_FALSE(read_file_tag(files, "C:\\Qiwa\\short.mp3"));
  EXPECT_FALSE(read_file_tag(files, "C:\\Qiwa\\missing.mp3"));
  files.refuse("ours");
  EXPECT_FALSE(read_file_tag(files, "C:\\Qiwa\\ours.mp3"));
}

}  // namespace
}  // namespace qiwa
