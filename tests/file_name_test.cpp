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

TEST(SafeFileName, TheTrailByteOfAGbkPairIsNeverTouched) {
  // 乗 is 81 5C, 亅 81 7C, 乚 81 5D: their second bytes are "\", "|" and "]".
  EXPECT_EQ(safe_file_name("乗亅乚"), "乗亅乚");
  EXPECT_EQ(safe_file_name("乗\\亅|"), "乗_亅_");
  // A lead byte without its trail byte is no character.
  EXPECT_EQ(safe_file_name("ab\x81"), "ab_");
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

TEST(SafeFileName, LongTitlesAreCutAtACharacterStart) {
  EXPECT_EQ(safe_file_name(std::string(500, 'a')).size(), kMaxFileNameBytes);
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "晴";
  Text cut = safe_file_name("x" + wide);  // 1 + 200 bytes: the pair at the edge is dropped whole
  EXPECT_EQ(cut.size(), kMaxFileNameBytes - 1);
  EXPECT_EQ(cut.substr(cut.size() - 2), "晴");
}

TEST(SafeFileName, ALongDeviceNameStaysWithinTheLimit) {
  // "CON.xxx..." at the limit: the "_" prefix must not push it over.
  const Text name = safe_file_name("CON." + std::string(500, 'x'));
  EXPECT_EQ(name.size(), kMaxFileNameBytes);
  EXPECT_EQ(name.substr(0, 5), "_CON.");
}

TEST(SongFilePath, AlwaysTheRunDirectory) {
  EXPECT_EQ(song_file_path("C:\\Qiwa", "晴天"), "C:\\Qiwa\\晴天.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "..\\..\\x"), "C:\\Qiwa\\.._.._x.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "C:\\Windows\\evil"), "C:\\Qiwa\\C__Windows_evil.mp3");
  EXPECT_EQ(song_file_path("C:\\Qiwa", "AUX"), "C:\\Qiwa\\_AUX.mp3");
}

}  // namespace
}  // namespace qiwa
