// What the library's file goes through: a write killed at every step, a damaged file, a file that
// cannot be read, a newer version's file, two copies of the program writing into one folder.
#include <gtest/gtest.h>

#include "fakes/fake_files.hpp"
#include "fakes/fake_platform.hpp"
#include "music/library.hpp"
#include "music/library_file.hpp"

namespace qiwa {
namespace {

const Text kDir = "C:\\Qiwa";
const Text kPath = kDir + "\\QiwaMusic.library.txt";

LibrarySong song(std::string_view id) { return {"kugou", {Text(id), "p", "l", "歌" + Text(id), "歌手", "专辑"}, ""}; }

std::vector<LibrarySong> songs(int from, int to) {
  std::vector<LibrarySong> out;
  for (int i = from; i < to; ++i) out.push_back(song(std::to_string(i)));
  return out;
}

struct LibraryFile : ::testing::Test {
  fakes::FakeFiles files;
  fakes::FakeClock clock;

  std::unique_ptr<Library> open() {
    auto l = std::make_unique<Library>(files, clock, kPath);
    l->load();
    return l;
  }
  std::set<Text> broken_files() {
    std::set<Text> out;
    for (const Text& name : files.names_in(kDir))
      if (name.find(".broken-") != Text::npos) out.insert(name);
    return out;
  }
};

// The old state is 40 favourites; the write that gets killed adds 40 more and removes 10. Whatever
// step it dies at, the next start reads all of the old state or all of the new, and nothing is damaged.
TEST_F(LibraryFile, AWriteKilledAtAnyStepLeavesTheOldStateOrTheNewWhole) {
  {
    auto library = open();
    library->set_favourite(songs(0, 40), true);
    ASSERT_TRUE(library->flush(0));
  }
  const Text old_bytes = *files.read(kPath);
  std::size_t steps = 0;
  for (std::size_t crash = 1;; ++crash) {
    files.put(kPath, old_bytes);
    {
      auto library = open();
      clock.advance(1000);
      library->set_favourite(songs(40, 80), true);
      library->set_favourite(songs(0, 10), false);
      files.crash_at_step(crash, 512);
      library->flush(clock.now_ms());
      steps = files.steps_taken();
    }
    files.restart();
    auto reread = open();
    EXPECT_EQ(reread->take_message(), "") << "crash at step " << crash;
    const std::size_t n = reread->count(LibraryList::favourites);
    if (n == 40) {
      EXPECT_TRUE(reread->is_favourite(song("0")) && !reread->is_favourite(song("40")));
    } else {
      EXPECT_EQ(n, 70u) << "crash at step " << crash;
      EXPECT_TRUE(!reread->is_favourite(song("0")) && reread->is_favourite(song("79")));
    }
    for (const Text& name : files.names_in(kDir)) EXPECT_EQ(name.find(kReplaceTemporarySuffix), Text::npos) << name;
    if (crash > steps) {
      EXPECT_EQ(n, 70u);  // the write ran to its end
      break;
    }
  }
  EXPECT_GT(steps, 5u);  // the write was cut between its pieces, not only before and after
}

TEST_F(LibraryFile, ADamagedFileIsSetAsideAndWhatCouldBeReadIsKept) {
  {
    auto library = open();
    library->set_favourite(songs(0, 30), true);
    ASSERT_TRUE(library->flush(0));
  }
  const Text whole = *files.read(kPath);
  const Text cuts[] = {whole.substr(0, whole.size() - 1), whole.substr(0, whole.rfind("end")),
                       whole.substr(0, whole.size() / 2)};
  for (const Text& cut : cuts) {
    files.put(kPath, cut);
    auto library = open();
    const Text message = library->take_message();
    EXPECT_NE(message.find(".broken-20240601-080001"), Text::npos) << message;  // the local date
    EXPECT_EQ(library->take_message(), "");                                     // said once
    EXPECT_GE(library->count(LibraryList::favourites), cut.size() == whole.size() / 2 ? 10u : 30u);
    EXPECT_TRUE(library->dirty());  // what was read goes to a new file
    ASSERT_TRUE(library->flush(clock.now_ms()));
    EXPECT_FALSE(read_library_file(*files.read(kPath)).state.damaged);
  }
  // Never overwritten: each damaged file got a name of its own, and holds what it held.
  const std::set<Text> broken = broken_files();
  ASSERT_EQ(broken.size(), 3u);
  EXPECT_EQ(files.read(kDir + "\\" + *broken.begin()), cuts[0]);
}

TEST_F(LibraryFile, AnotherProgramsFileOrGarbageIsSetAsideAndTheProgramStartsEmpty) {
  const Text others[] = {Text("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "[Settings]\nvolume=3\n", Text(5000, '\xff'), ""};
  for (const Text& other : others) {
    files.put(kPath, other);
    auto library = open();
    EXPECT_NE(library->take_message(), "");
    EXPECT_EQ(library->count(LibraryList::favourites), 0u);
    library->set_favourite(songs(0, 1), true);
    EXPECT_TRUE(library->flush(clock.now_ms()));
    clock.advance(1000);
  }
  EXPECT_EQ(broken_files().size(), std::size(others));
  files.put(kPath, Text(kMaxLibraryFileBytes + 1, 'x'));  // too large to be ours: not even read
  EXPECT_NE(open()->take_message(), "");
}

TEST_F(LibraryFile, AFileThatCannotBeReadIsNeverWrittenOver) {
  files.put(kPath, "QiwaMusic library 1\nend\t0\n");
  files.refuse_reading("QiwaMusic.library");
  auto library = open();
  EXPECT_TRUE(library->read_only());
  EXPECT_NE(library->take_message(), "");
  library->set_favourite(songs(0, 1), true);
  EXPECT_FALSE(library->flush(0));
  EXPECT_EQ(files.read(kPath), "QiwaMusic library 1\nend\t0\n");
}

TEST_F(LibraryFile, ANewerVersionsFileIsReadAndKeptAsItIs) {
  const Text newer = "QiwaMusic library 2\nfavourite\t5\t0\tkugou\t1\tp\tl\t歌\t手\t辑\t\tnew-field\nend\t1\n";
  files.put(kPath, newer);
  auto library = open();
  EXPECT_TRUE(library->is_favourite(song("1")));
  EXPECT_TRUE(library->read_only());
  library->set_favourite(songs(2, 3), true);
  EXPECT_FALSE(library->flush(0));
  EXPECT_EQ(files.read(kPath), newer);
}

TEST_F(LibraryFile, ANewerVersionsFieldsAndLinesOfTheSameFormatSurviveAWrite) {
  files.put(kPath, "QiwaMusic library 1\nfavourite\t5\t0\tkugou\t1\tp\tl\t歌\t手\t辑\t\tstars=5\tmood=x\n"
                   "playlist\t7\tmine\t1\nend\t2\n");
  auto library = open();
  EXPECT_EQ(library->take_message(), "");
  library->set_favourite(songs(2, 3), true);
  ASSERT_TRUE(library->flush(0));
  const Text written = *files.read(kPath);
  EXPECT_NE(written.find("\t\tstars=5\tmood=x\n"), Text::npos) << written;
  EXPECT_NE(written.find("\nplaylist\t7\tmine\t1\n"), Text::npos) << written;
}

// Two copies in one folder: each writes what it changed, merged with what the other wrote since.
TEST_F(LibraryFile, TwoCopiesInOneFolderMergeTheirChanges) {
  {
    auto first = open();
    first->set_favourite(songs(0, 3), true);
    ASSERT_TRUE(first->flush(0));
  }
  auto a = open(), b = open();
  clock.advance(1000);
  a->set_favourite(songs(10, 11), true);
  a->set_favourite(songs(0, 1), false);
  b->set_favourite(songs(20, 21), true);
  b->played(song("9"));
  ASSERT_TRUE(a->flush(clock.now_ms()));
  ASSERT_TRUE(b->flush(clock.now_ms()));
  EXPECT_TRUE(b->is_favourite(song("10")));  // b took in what a wrote
  EXPECT_FALSE(b->is_favourite(song("0")));
  clock.advance(1000);
  b->set_favourite(songs(0, 1), true);  // b's later choice wins over a's removal
  ASSERT_TRUE(b->flush(clock.now_ms()));
  clock.advance(1000);
  a->set_favourite(songs(1, 2), false);
  ASSERT_TRUE(a->flush(clock.now_ms()));
  auto c = open();
  for (const char* id : {"0", "2", "10", "20"}) EXPECT_TRUE(c->is_favourite(song(id))) << id;
  EXPECT_FALSE(c->is_favourite(song("1")));
  EXPECT_EQ(c->count(LibraryList::history), 1u);

  // While one copy holds the lock, the other waits for its next turn and keeps its changes.
  clock.advance(1000);
  auto held = files.try_lock(kPath + ".lock");
  a->set_favourite(songs(30, 31), true);
  EXPECT_FALSE(a->flush(clock.now_ms()));
  EXPECT_TRUE(a->dirty());
  held.reset();
  EXPECT_TRUE(a->flush(clock.now_ms()));
  EXPECT_TRUE(open()->is_favourite(song("30")));
}

// Only the library's own temporaries of a process that ended go: not another copy's being written now.
TEST_F(LibraryFile, LeftoverTemporariesAreRemovedAtStart) {
  files.run_process(88);
  files.put(kPath + ".7-1.qiwa-tmp", "half a libr");
  const std::set<Text> kept = {"QiwaMusic.library.txt.88-1.qiwa-tmp", "QiwaMusic.library.txt.7.qiwa-tmp",
                               "QiwaMusic.library.txt.7-1.qiwa-tmp.txt", "晴天.mp3.7-1.qiwa-tmp"};
  for (const Text& name : kept) files.put(kDir + "\\" + name, "not this start's to remove");
  auto library = open();
  EXPECT_EQ(files.names_in(kDir), kept);
}

TEST(StoreDirectory, BesideTheProgramWhenWritableElseTheApplicationDataFolder) {
  fakes::FakeFiles files("C:\\Program Files\\Qiwa");
  EXPECT_EQ(store_directory(files, "Qiwa音乐"), "C:\\Program Files\\Qiwa");
  files.refuse("C:\\Program Files\\");
  EXPECT_EQ(store_directory(files, "Qiwa音乐"), "C:\\Users\\Qiwa\\AppData\\Roaming\\Qiwa音乐");
  EXPECT_TRUE(files.is_directory("C:\\Users\\Qiwa\\AppData\\Roaming\\Qiwa音乐"));
  files.set_app_data_directory("");
  EXPECT_EQ(store_directory(files, "Qiwa音乐"), "C:\\Program Files\\Qiwa");
}

TEST(DateStamp, CalendarDatesOfLocalTimes) {
  EXPECT_EQ(date_stamp(0), "19700101-000000");
  EXPECT_EQ(date_stamp(951782400000 + 3723000), "20000229-010203");  // a leap day
  EXPECT_EQ(date_stamp(4102444799000), "20991231-235959");
  EXPECT_EQ(date_stamp(-1000), "19691231-235959");
}

}  // namespace
}  // namespace qiwa
