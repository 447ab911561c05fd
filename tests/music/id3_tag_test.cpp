// The program's own ID3v2.3 tag, and the reader that must get a tag's texts back from any first bytes.
#include "music/id3_tag.hpp"

#include <gtest/gtest.h>

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
