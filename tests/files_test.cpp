#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "runtime/files.hpp"
#include "runtime/posix/files_posix.hpp"
#include "runtime/wildcard.hpp"

namespace qiwa {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards; `dir` is its GBK (here ASCII) path.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "qiwa-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    dir = templ;
  }
  void TearDown() override { fs::remove_all(root); }
  static Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
  std::string read_back(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::set<Text> find_all(const Text& pattern) {
    FileSearch search;
    std::set<Text> names;
    for (Text name = search.next(pattern); !name.empty(); name = search.next()) names.insert(name);
    return names;
  }
  fs::path root;
  Text dir;
};

TEST(Wildcard, MatchesLikeWindowsSearches) {
  EXPECT_TRUE(wildcard_match("*.mp3", "song.mp3"));
  EXPECT_TRUE(wildcard_match("*.MP3", "song.mp3"));  // ASCII letters fold
  EXPECT_FALSE(wildcard_match("*.mp3", "song.mp3.txt"));
  EXPECT_TRUE(wildcard_match("*.*", "noext"));
  EXPECT_TRUE(wildcard_match("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(wildcard_match("a*b*c", "aXbYbZ"));
  EXPECT_TRUE(wildcard_match("?.txt", "音.txt"));  // "?" takes the whole double-byte character
  EXPECT_FALSE(wildcard_match("??.txt", "音.txt"));
  EXPECT_FALSE(wildcard_match("音乐", "音樂"));       // double-byte characters never fold
  EXPECT_TRUE(wildcard_match("", ""));
  EXPECT_FALSE(wildcard_match("", "a"));
  EXPECT_TRUE(has_wildcard("a?b"));
  EXPECT_FALSE(has_wildcard("abc"));
}

TEST_F(FilesTest, SearchSkipsDirectoriesNamedLikeAMatch) {
  ASSERT_TRUE(write_file(dir + "\\one.mp3", bytes("1")));
  ASSERT_TRUE(write_file(dir + "\\歌曲.mp3", bytes("2")));
  ASSERT_TRUE(write_file(dir + "\\notes.txt", bytes("3")));
  fs::create_directory(root / "folder.mp3");
  EXPECT_EQ(find_all(dir + "\\*.mp3"), (std::set<Text>{"one.mp3", "歌曲.mp3"}));
  EXPECT_EQ(find_all(dir + "/*.mp3"), (std::set<Text>{"one.mp3", "歌曲.mp3"}));  // forward slash too
  EXPECT_EQ(find_all(dir + "\\?.txt"), std::set<Text>{});
  EXPECT_EQ(find_all(dir + "\\folder.mp3"), std::set<Text>{});
  EXPECT_TRUE(fs::exists(root / u8"歌曲.mp3"));  // the GBK name is UTF-8 on the host
}

TEST_F(FilesTest, SearchRestartsOnANewPatternAndEndsCleanly) {
  ASSERT_TRUE(write_file(dir + "\\a.mp3", bytes("")));
  ASSERT_TRUE(write_file(dir + "\\b.txt", bytes("")));
  FileSearch search;
  EXPECT_EQ(search.next(dir + "\\*.mp3"), "a.mp3");
  EXPECT_EQ(search.next(), "");
  EXPECT_EQ(search.next(), "");  // stays done
  EXPECT_EQ(search.next(dir + "\\*.txt"), "b.txt");
  search.close();
  EXPECT_EQ(search.next(), "");
  EXPECT_EQ(search.next(dir + "\\missing-dir\\*"), "");
  // Deleting while searching afresh each time empties the folder of matches.
  for (Text n; !(n = FileSearch().next(dir + "/*.mp3")).empty();) ASSERT_TRUE(delete_file(dir + "\\" + n));
  EXPECT_FALSE(file_exists(dir + "\\*.mp3"));
  EXPECT_TRUE(file_exists(dir + "\\b.txt"));
}

TEST_F(FilesTest, WriteTruncatesDeletesAndMoves) {
  Text path = dir + "\\音乐.bin";
  ASSERT_TRUE(write_file(path, std::vector<Bytes>{bytes("abc"), {}, bytes("def")}));
  EXPECT_EQ(read_back(root / u8"音乐.bin"), "abcdef");
  ASSERT_TRUE(write_file(path, bytes("x")));
  EXPECT_EQ(read_back(root / u8"音乐.bin"), "x");
  EXPECT_TRUE(move_file(path, dir + "\\moved.bin"));
  ASSERT_TRUE(write_file(path, bytes("second")));
  EXPECT_TRUE(move_file(path, dir + "\\moved.bin"));  // replaces the existing target
  EXPECT_EQ(read_back(root / "moved.bin"), "second");
  EXPECT_FALSE(exact_file_exists(path));
  EXPECT_TRUE(delete_file(dir + "\\moved.bin"));
  EXPECT_FALSE(delete_file(dir + "\\moved.bin"));
  EXPECT_FALSE(write_file("", bytes("a")));
  EXPECT_FALSE(write_file(dir + "\\no-such-dir\\f", bytes("a")));
  EXPECT_FALSE(move_file(dir + "\\absent", dir + "\\other"));
}

TEST_F(FilesTest, ExactExistsNeverTreatsQuestionMarkAsWildcard) {
  ASSERT_TRUE(write_file(dir + "\\ab.mp3", bytes("x")));
  fs::create_directory(root / "sub");
  EXPECT_TRUE(file_exists(dir + "\\a?.mp3"));         // the wildcard search matches
  EXPECT_FALSE(exact_file_exists(dir + "\\a?.mp3"));  // the exact test does not
  EXPECT_FALSE(exact_file_exists(dir + "\\*.mp3"));
  EXPECT_TRUE(exact_file_exists(dir + "\\ab.mp3"));
  EXPECT_FALSE(exact_file_exists(dir + "\\sub"));  // a directory is no file
  EXPECT_TRUE(file_exists(dir + "\\sub"));
  EXPECT_FALSE(exact_file_exists(""));
  EXPECT_FALSE(file_exists(""));
}

TEST_F(FilesTest, OutputFileStreamsAndReportsFailure) {
  OutputFile out;
  EXPECT_FALSE(out.write(reinterpret_cast<const unsigned char*>("a"), 1));  // not open
  ASSERT_TRUE(out.open(dir + "\\stream.bin"));
  EXPECT_TRUE(out.write(reinterpret_cast<const unsigned char*>("ab"), 2));
  EXPECT_TRUE(out.write(reinterpret_cast<const unsigned char*>("cd"), 2));
  EXPECT_TRUE(out.close());
  EXPECT_EQ(read_back(root / "stream.bin"), "abcd");
  EXPECT_FALSE(out.open(dir + "\\no-such-dir\\f"));
  if (fs::exists("/dev/full")) {  // a device that refuses every write
    ASSERT_TRUE(out.open("/dev/full"));
    EXPECT_FALSE(out.write(reinterpret_cast<const unsigned char*>("x"), 1));
    EXPECT_FALSE(out.close());
  }
}

TEST(Directories, RunAndSystemDirectories) {
  Text run = run_directory();
  ASSERT_FALSE(run.empty());
  EXPECT_NE(run.back(), '/');
  EXPECT_TRUE(file_exists(run + "\\*"));
  Text before = system_directory();
  set_system_directory("C:\\Windows\\system32\\\\");
  EXPECT_EQ(system_directory(), "C:\\Windows\\system32\\");
  set_system_directory("/opt/sys");
  EXPECT_EQ(system_directory(), "/opt/sys\\");
  set_system_directory(before);
  EXPECT_EQ(system_directory(), before);
}

}  // namespace
}  // namespace qiwa
