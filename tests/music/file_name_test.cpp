#include <gtest/gtest.h>

#include "music/file_name.hpp"

namespace qiwa {
namespace {

TEST(SafeFileName, ForbiddenAndControlCharactersBecomeUnderscores) {
  EXPECT_EQ(safe_file_name("a/b:c*d?e\"f<g>h|i\\j"), "a_b_c_d_e_f_g_h_i_j");
  EXPECT_EQ(safe_file_name("tab\there\x01\x1f\x7f"), "tab_here___");
  EXPECT_EQ(safe_file_name("..\\..\\Windows\\x"), ".._.._Windows_x");
  EXPECT_EQ(safe_file_name("晴天 - 周杰伦"), "晴天 - 周杰伦");
}

TEST(SafeFileName, EveryScriptStaysAndBytesThatAreNoUtf8Go) {
  EXPECT_EQ(safe_file_name("별빛 🎵 Star"), "별빛 🎵 Star");
  EXPECT_EQ(safe_file_name("ดาว Tiếng Việt"), "ดาว Tiếng Việt");
  EXPECT_EQ(safe_file_name("사랑"), "사랑");
  EXPECT_NE(safe_file_name("사랑"), safe_file_name("이별"));  // no longer both "??"
  EXPECT_EQ(safe_file_name("ab\xE9\x9F"), "ab__");  // a cut-off character
  EXPECT_EQ(safe_file_name("a\xFF/b"), "a__b");
}

TEST(SafeFileName, OuterSpacesAndTrailingDotsGo) {
  EXPECT_EQ(safe_file_name("  trailing dots... "), "trailing dots");
  EXPECT_EQ(safe_file_name("a. . ."), "a");
  EXPECT_EQ(safe_file_name(".hidden"), ".hidden");
  EXPECT_EQ(safe_file_name(""), "_");
  EXPECT_EQ(safe_file_name("   "), "_");
  EXPECT_EQ(safe_file_name(".."), "_");
  EXPECT_EQ(safe_file_name("\x01"), "_");
}

TEST(SafeFileName, DeviceNamesArePrefixed) {
  for (const char* name : {"CON", "prn", "Aux", "NUL", "COM1", "com9", "LPT1", "lpt9", "con.txt", "NUL .x", "CON "})
    EXPECT_EQ(safe_file_name(name).substr(0, 1), "_") << name;
  EXPECT_EQ(safe_file_name("con.txt"), "_con.txt");
  for (const char* name : {"COM0", "COM10", "CONSOLE", "LPT", "AUXILIARY", "xCON"})
    EXPECT_EQ(safe_file_name(name), name);
}

TEST(SafeFileName, LongTitlesAreCutBetweenCharactersAndKeepANameOfTheirOwn) {
  Text ascii = safe_file_name(std::string(500, 'a'));
  EXPECT_EQ(ascii.size(), kMaxFileNameBytes);
  EXPECT_EQ(ascii.substr(0, 171), std::string(171, 'a'));
  EXPECT_EQ(ascii[171], '~');
  std::string sunny;
  for (int i = 0; i < 100; ++i) sunny += "晴";
  Text cut = safe_file_name("x" + sunny);  // 1 + 300 bytes: 56 whole characters fit before the hash
  EXPECT_EQ(cut, "x" + sunny.substr(0, 56 * 3) + "~" + cut.substr(cut.size() - 8));
  EXPECT_LE(cut.size(), kMaxFileNameBytes);
  // Two titles that share their first 180 bytes and more still get two files.
  EXPECT_NE(safe_file_name(sunny + "A"), safe_file_name(sunny + "B"));
  EXPECT_EQ(safe_file_name(sunny + "A"), safe_file_name(sunny + "A"));
  // A title at the limit is kept as it is.
  EXPECT_EQ(safe_file_name(std::string(kMaxFileNameBytes, 'b')), std::string(kMaxFileNameBytes, 'b'));
}

TEST(SafeFileName, ALongDeviceNameStaysWithinTheLimit) {
  // "CON.xxx..." at the limit: the "_" prefix must not push it over.
  const Text name = safe_file_name("CON." + std::string(500, 'x'));
  EXPECT_EQ(name.size(), kMaxFileNameBytes);
  EXPECT_EQ(name.substr(0, 5), "_CON.");
  EXPECT_EQ(name[name.size() - 9], '~');
}

TEST(SongFilePath, AlwaysTheRunDirectory) {
  EXPECT_EQ(song_file_path("C:\\Qiwa", "晴天"), "C:\\Qiwa\\晴天.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "..\\..\\x"), "C:\\Qiwa\\.._.._x.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "C:\\Windows\\evil"), "C:\\Qiwa\\C__Windows_evil.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "AUX"), "C:\\Qiwa\\_AUX.mp3");
}

// Copies are numbered the Windows way, and the number fits within the limit however long the title:
// the name before it is cut (between characters, with the whole title's hash) to make room.
TEST(SongFilePath, NumberedNamesFitWithinTheLimit) {
  EXPECT_EQ(song_file_path("C:\\Qiwa", "晴天", 1), "C:\\Qiwa\\晴天.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "晴天", 2), "C:\\Qiwa\\晴天 (2).mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "  dots... ", 3), "C:\\Qiwa\\dots (3).mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "", 2), "C:\\Qiwa\\_ (2).mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "CON", 2), "C:\\Qiwa\\_CON (2).mp3");
  std::string sunny;
  for (int i = 0; i < 100; ++i) sunny += "晴";
  const Text first = song_file_path("C:\\Q", sunny, 1), tenth = song_file_path("C:\\Q", sunny, 10);
  const std::size_t name = std::string("C:\\Q\\").size(), ext = std::string(".mp3").size();
  EXPECT_LE(first.size() - name - ext, kMaxFileNameBytes);
  EXPECT_LE(tenth.size() - name - ext, kMaxFileNameBytes);
  EXPECT_TRUE(tenth.ends_with(" (10).mp3"));
  EXPECT_EQ(tenth.substr(tenth.size() - ext - 5 - 9, 1), "~") << "the hash before the number";
  const Text exact(kMaxFileNameBytes - 4, 'b');  // "b... (2)" is exactly at the limit
  EXPECT_EQ(song_file_path("C:\\Q", exact, 2), "C:\\Q\\" + exact + " (2).mp3");
  EXPECT_NE(song_file_path("C:\\Q", exact + "b", 2).substr(name, exact.size() + 1), exact + "b");
}

}  // namespace
}  // namespace qiwa
