// The library as the window uses it, over the in-memory disk and a clock moved by hand: favourites,
// history, local songs, nudges, the last search; and what a restart reads back.
#include "music/library.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_files.hpp"
#include "fakes/fake_platform.hpp"
#include "runtime/thread.hpp"

namespace qiwa {
namespace {

const Text kPath = "C:\\Qiwa\\QiwaMusic.library.txt";

LibrarySong song(std::string_view id, std::string_view title = "晴天", std::string_view source = "kugou") {
  return {Text(source), {Text(id), "p" + Text(id), "l" + Text(id), Text(title), "周杰伦", "叶惠美"}, ""};
}

LibrarySong local(std::string_view file, std::string_view id = "") {
  LibrarySong s = song(id, Text(file).substr(0, file.size() - 4));
  if (id.empty()) s = {"", {"", "", "", s.row.title, "", ""}, ""};
  s.path = "C:\\Qiwa\\" + Text(file);
  return s;
}

std::vector<Text> titles(const SongList& list) {
  std::vector<Text> out;
  for (std::size_t i = 0; i < list.size(); ++i) out.emplace_back(list.cell(i, Cell::title));
  return out;
}

struct LibraryFlow : ::testing::Test {
  fakes::FakeFiles files;
  fakes::FakeClock clock;
  std::unique_ptr<Library> library = open();

  std::unique_ptr<Library> open() {
    auto l = std::make_unique<Library>(files, clock, kPath);
    l->load();
    return l;
  }
  // Everything written, then the program starts again.
  void restart() {
    library->flush(clock.now_ms());
    library = open();
  }
  void later(std::int64_t ms = 1000) { clock.advance(ms); }
};

TEST_F(LibraryFlow, FavouritesOfSeveralRowsAtOnceSurviveARestart) {
  const std::vector<LibrarySong> rows = {song("a", "晴天"), song("b", "七里香"), song("c", "稻香")};
  EXPECT_EQ(library->set_favourite(rows, true), 3u);
  EXPECT_EQ(library->set_favourite(rows, true), 0u);  // already favourites
  later();
  EXPECT_EQ(library->set_favourite(std::vector{song("b", "七里香")}, false), 1u);
  EXPECT_TRUE(library->is_favourite(song("a")));
  EXPECT_FALSE(library->is_favourite(song("b")));
  EXPECT_FALSE(library->is_favourite(song("a", "晴天", "netease")));  // the same id in another catalogue
  later();
  library->set_favourite(std::vector{song("d", "最新")}, true);
  restart();
  EXPECT_EQ(titles(library->list(LibraryList::favourites)), (std::vector<Text>{"最新", "晴天", "稻香"}));
  EXPECT_EQ(library->list(LibraryList::favourites).song(1), song("a", "晴天"));
  EXPECT_EQ(library->take_message(), "");
}

TEST_F(LibraryFlow, HistoryKeepsOneEntryASongNewestFirstAndOnlyTheLast500) {
  library->played(song("a", "一"));
  later();
  library->played(song("b", "二"));
  later();
  library->played(song("a", "一"));  // played again: to the top, once
  EXPECT_EQ(titles(library->list(LibraryList::history)), (std::vector<Text>{"一", "二"}));
  for (int i = 0; i < 600; ++i) {
    later();
    library->played(song("s" + std::to_string(i), std::to_string(i)));
  }
  restart();
  const SongList history = library->list(LibraryList::history);
  ASSERT_EQ(history.size(), kHistoryLimit);
  EXPECT_EQ(history.cell(0, Cell::title), "599");
  EXPECT_EQ(history.cell(kHistoryLimit - 1, Cell::title), "100");
  library->remove(LibraryList::history, std::vector{history.song(0)});
  EXPECT_EQ(library->list(LibraryList::history).cell(0, Cell::title), "598");
}

TEST_F(LibraryFlow, LocalSongsFollowTheDisk) {
  files.put("C:\\Qiwa\\晴天.mp3", "ID3", 1000);
  library->downloaded(local("晴天.mp3", "a"));
  files.put("C:\\Qiwa\\我的歌.MP3", "ID3", 5000);  // the user's own file
  files.put("C:\\Qiwa\\笔记.txt", "x", 6000);
  files.put("C:\\Qiwa\\下载中.mp3.1.part", "x", 6000);
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(titles(library->list(LibraryList::local)), (std::vector<Text>{"晴天", "我的歌"}));
  EXPECT_EQ(library->local_file(song("a")), "C:\\Qiwa\\晴天.mp3");

  // Deleted outside the program: it drops out; back from the recycle bin, it returns with its ids.
  files.remove("C:\\Qiwa\\晴天.mp3");
  later();
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(titles(library->list(LibraryList::local)), (std::vector<Text>{"我的歌"}));
  EXPECT_EQ(library->local_file(song("a")), std::nullopt);
  files.put("C:\\Qiwa\\晴天.mp3", "ID3", 1000);
  later();
  restart();
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(library->local_file(song("a")), "C:\\Qiwa\\晴天.mp3");

  // Taken off the list by the user, the file stays and so does the choice, until the file changes.
  const SongList list = library->list(LibraryList::local);
  ASSERT_EQ(list.song(1).path, "C:\\Qiwa\\我的歌.MP3");
  later();
  EXPECT_EQ(library->remove(LibraryList::local, std::vector{list.song(1)}), 1u);
  restart();
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(titles(library->list(LibraryList::local)), (std::vector<Text>{"晴天"}));
  EXPECT_TRUE(files.exact_exists("C:\\Qiwa\\我的歌.MP3"));
  files.put("C:\\Qiwa\\我的歌.MP3", "ID3 v2", clock.wall_ms() + 1000);
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(library->count(LibraryList::local), 2u);
}

TEST_F(LibraryFlow, ALocalSongOutsideTheDownloadFolderIsLookedAtByItself) {
  files.make_directories("D:\\Music");
  files.put("D:\\Music\\旧.mp3", "ID3");
  LibrarySong old = local("旧.mp3", "o");
  old.path = "D:\\Music\\旧.mp3";
  library->downloaded(old);
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(library->count(LibraryList::local), 1u);
  files.remove("D:\\Music\\旧.mp3");
  later();
  library->refresh_local("C:\\Qiwa");
  EXPECT_EQ(library->count(LibraryList::local), 0u);
}

TEST_F(LibraryFlow, NudgeAndLastSearchAreKept) {
  library->set_nudge_ms(song("a"), 1500);
  library->set_nudge_ms(song("b"), 10'000'000);  // clamped
  const std::vector<SongRow> rows = {song("a").row, song("b", "七里香").row};
  library->set_last_search("kugou", "周杰伦", 2, rows);
  restart();
  EXPECT_EQ(library->nudge_ms(song("a")), 1500);
  EXPECT_EQ(library->nudge_ms(song("b")), kMaxNudgeMs);
  EXPECT_EQ(library->nudge_ms(song("c")), 0);
  library->set_nudge_ms(song("a"), 0);
  EXPECT_EQ(library->nudge_ms(song("a")), 0);
  const SearchSnapshot search = library->last_search();
  EXPECT_EQ(search.source, "kugou");
  EXPECT_EQ(search.words, "周杰伦");
  EXPECT_EQ(search.page, 2);
  EXPECT_EQ(search.rows, rows);
}

TEST_F(LibraryFlow, HostileTitlesComeBackByteForByte) {
  const Text hostile[] = {"a\tb\nc\r\\d", Text("nul\0byte", 8), "\xff\xfe not utf-8 \xc3", "end\t3\n", "\\x41\\t",
                          "🎵 별빛 音乐 \x7f", Text(70000, 'x')};
  std::vector<LibrarySong> songs;
  for (std::size_t i = 0; i < std::size(hostile); ++i) songs.push_back(song("id" + std::to_string(i), hostile[i]));
  songs.back().row.url_id = "long";
  EXPECT_EQ(library->set_favourite(songs, true), std::size(hostile) - 1);  // a field past 64 KiB is not kept
  restart();
  const SongList list = library->list(LibraryList::favourites);
  ASSERT_EQ(list.size(), std::size(hostile) - 1);
  for (std::size_t i = 0; i + 1 < std::size(hostile); ++i) EXPECT_TRUE(library->is_favourite(songs[i])) << i;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const LibrarySong s = list.song(i);
    EXPECT_EQ(s, songs[std::stoi(s.row.url_id.substr(2))]);
  }
  EXPECT_EQ(library->take_message(), "");
}

TEST_F(LibraryFlow, ASnapshotStaysAsItWasWhileTheLibraryChanges) {
  library->set_favourite(std::vector{song("a")}, true);
  const SongList before = library->list(LibraryList::favourites);
  library->set_favourite(std::vector{song("a")}, false);
  library.reset();
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before.song(0), song("a"));
}

TEST_F(LibraryFlow, WritesAreBatchedAtMostOneASecond) {
  EXPECT_FALSE(library->dirty());
  const std::uint64_t revision = library->revision();
  library->set_favourite(std::vector{song("a")}, true);
  EXPECT_TRUE(library->dirty());
  EXPECT_GT(library->revision(), revision);
  EXPECT_TRUE(library->flush_due(clock.now_ms()));
  EXPECT_FALSE(library->dirty());
  library->played(song("a"));
  EXPECT_FALSE(library->flush_due(clock.now_ms() + 999));
  EXPECT_TRUE(library->flush_due(clock.now_ms() + 1000));
  EXPECT_FALSE(library->flush_due(clock.now_ms() + 5000));  // nothing new
}

// The write on a worker while the window's thread goes on changing the library: no change is lost
// between the snapshot a write takes and the dirty mark it clears.
TEST_F(LibraryFlow, AWriteOnAWorkerLosesNoChangeMadeMeanwhile) {
  std::atomic<bool> done{false};
  std::atomic<int> writes{0};
  {
    Thread worker([&] {
      for (std::int64_t t = 0; !done || library->dirty(); t += 1000) writes += library->write(t);
    });
    for (int i = 0; i < 300; ++i) library->set_favourite(std::vector{song(std::to_string(i))}, true);
    done = true;
  }
  EXPECT_GT(writes.load(), 0);
  library = open();
  EXPECT_EQ(library->count(LibraryList::favourites), 300u);
}

TEST_F(LibraryFlow, AFullDiskLosesNothingAndIsSaidOnce) {
  library->set_favourite(std::vector{song("a")}, true);
  files.fill_disk_after(10);
  EXPECT_FALSE(library->flush_due(clock.now_ms()));
  EXPECT_TRUE(library->dirty());
  EXPECT_NE(library->take_message(), "");
  EXPECT_FALSE(library->flush_due(clock.now_ms() + 1000));  // backs off
  EXPECT_EQ(library->take_message(), "");
  files.fill_disk_after(std::nullopt);
  EXPECT_TRUE(library->flush(clock.now_ms() + 2000));
  EXPECT_EQ(files.names_in("C:\\Qiwa"), (std::set<Text>{"QiwaMusic.library.txt"}));  // no temporary left
  library = open();
  EXPECT_TRUE(library->is_favourite(song("a")));
}

}  // namespace
}  // namespace qiwa
