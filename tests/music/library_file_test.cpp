// The library file's form, read back by an independent look at its lines, and its reader over what a
// disk or a person can leave there.
#include "music/library_file.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace qiwa {
namespace {

SongText text(std::string_view id, std::string_view title, std::string_view path = "") {
  return *SongText::make(LibrarySong{"netease", {Text(id), "p", "l", Text(title), "s", "a"}, Text(path)});
}

LibraryData sample() {
  LibraryData d;
  d.list(LibraryList::favourites) = {{text("1", "旧"), 100, 0, false}, {text("2", "新"), 200, 0, false}};
  d.list(LibraryList::history) = {{text("1", "旧"), 300, 0, true}};
  d.list(LibraryList::local) = {{text("", "本地", "C:\\Qiwa\\本地.mp3"), 50, kGone, true}};
  d.list(LibraryList::nudges) = {{text("1", "旧"), 60, -500, false}};
  d.search = {400, 3, "netease", "周杰伦\t晴天", {text("9", "行")}};
  for (std::size_t i = 0; i < kLibraryLists; ++i) normalize(static_cast<LibraryList>(i), d.lists[i]);
  return d;
}

TEST(LibraryFileForm, ALinePerEntryNewestFirstAndAnEndThatCountsThem) {
  const Text file = write_library_file(sample());
  std::vector<Text> lines;
  for (std::size_t at = 0; at < file.size();) {
    const std::size_t end = file.find('\n', at);
    ASSERT_NE(end, Text::npos);
    lines.push_back(file.substr(at, end - at));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "QiwaMusic library 1");
  EXPECT_EQ(lines[3], "search\t400\t3\tnetease\t周杰伦\\t晴天");
  EXPECT_EQ(lines[4], "row\t400\t0\tnetease\t9\tp\tl\t行\ts\ta\t");
  EXPECT_EQ(lines[5], "favourite\t200\t0\tnetease\t2\tp\tl\t新\ts\ta\t");
  EXPECT_EQ(lines[6], "favourite\t100\t0\tnetease\t1\tp\tl\t旧\ts\ta\t");
  EXPECT_EQ(lines[7], "-history\t300\t0\tnetease\t1\tp\tl\t旧\ts\ta\t");
  EXPECT_EQ(lines[8], "-local\t50\t1\tnetease\t\tp\tl\t本地\ts\ta\tC:\\\\Qiwa\\\\本地.mp3");
  EXPECT_EQ(lines[9], "nudge\t60\t-500\tnetease\t1\tp\tl\t旧\ts\ta\t");
  EXPECT_EQ(lines[10], "end\t7");

  const LibraryFileRead back = read_library_file(file);
  EXPECT_FALSE(back.state.damaged || back.state.newer);
  EXPECT_EQ(write_library_file(back.data), file);
}

TEST(LibraryFileForm, TheReaderTellsDamageAndReadsWhatItCan) {
  const Text file = write_library_file(sample());
  struct Case {
    const char* what;
    Text bytes;
    bool damaged;
    std::size_t favourites;
  };
  const Case cases[] = {
      {"whole, with CRLF and a BOM", "\xEF\xBB\xBF" + std::regex_replace(file, std::regex("\n"), "\r\n"), false, 2},
      {"cut in its last line", file.substr(0, file.size() - 2), true, 2},
      {"cut before its end line", file.substr(0, file.find("end\t")), true, 2},
      {"a line lost", std::regex_replace(file, std::regex("favourite\t100[^\n]*\n"), ""), true, 1},
      {"a bad escape", std::regex_replace(file, std::regex("\t新"), "\t\\q"), true, 1},
      {"a bad time", std::regex_replace(file, std::regex("favourite\t200"), "favourite\t2x0"), true, 1},
      {"too few fields", std::regex_replace(file, std::regex("\ts\ta\t\n"), "\n"), true, 0},
      {"garbage after the end", file + "\x01\x02\n", true, 2},
      {"a line of bytes that are no UTF-8", std::regex_replace(file, std::regex("新"), "\xff"), true, 1},
      {"no version line", file.substr(file.find('\n') + 1), true, 2},
      {"a version that is no number", std::regex_replace(file, std::regex("library 1"), "library x"), true, 2},
  };
  for (const Case& c : cases) {
    const LibraryFileRead read = read_library_file(c.bytes);
    EXPECT_EQ(read.state.damaged, c.damaged) << c.what;
    EXPECT_EQ(read.data.list(LibraryList::favourites).size(), c.favourites) << c.what;
  }
  const LibraryFileRead newer = read_library_file(std::regex_replace(file, std::regex("library 1"), "library 7"));
  EXPECT_TRUE(newer.state.newer);
  EXPECT_FALSE(newer.state.damaged);
}

TEST(LibraryFileForm, RowsBelongToTheSearchBeforeThem) {
  const Text file = "QiwaMusic library 1\nrow\t5\t0\tkugou\t1\tp\tl\tt\ts\ta\t\nend\t1\n";
  const LibraryFileRead read = read_library_file(file);
  EXPECT_TRUE(read.state.damaged);
  EXPECT_TRUE(read.data.search.rows.empty());
}

TEST(LibraryFileForm, DuplicatesKeepTheNewerChange) {
  const Text file =
      "QiwaMusic library 1\n"
      "favourite\t5\t0\tkugou\t1\tp\tl\told\ts\ta\t\n"
      "-favourite\t9\t0\tkugou\t1\tp\tl\tx\ts\ta\t\n"
      "favourite\t7\t0\tkugou\t1\tp\tl\tmid\ts\ta\t\n"
      "local\t1\t0\t\t\t\t\tA\t\t\tC:\\\\Qiwa\\\\A.mp3\n"
      "local\t2\t0\t\t\t\t\ta\t\t\tc:\\\\qiwa\\\\a.MP3\n"
      "end\t5\n";
  const LibraryFileRead read = read_library_file(file);
  EXPECT_FALSE(read.state.damaged);
  ASSERT_EQ(read.data.list(LibraryList::favourites).size(), 1u);
  EXPECT_TRUE(read.data.list(LibraryList::favourites)[0].removed);
  ASSERT_EQ(read.data.list(LibraryList::local).size(), 1u);  // one file, whatever its letters' case
  EXPECT_EQ(read.data.list(LibraryList::local)[0].song[SongText::title], "a");
}

}  // namespace
}  // namespace qiwa
