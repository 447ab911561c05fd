// The Windows backends of files and native libraries, and the threads, run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "music/library.hpp"
#include "music/retag.hpp"
#include "runtime/files.hpp"
#include "runtime/native_library.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/file_time.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A fresh directory under the temp folder, named in scripts no single code page holds; removed with its
// files afterwards.
class FilesWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    dir = narrow(temp) + "测试目录 별빛🎵" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(wide(dir).c_str(), nullptr));
  }
  void TearDown() override {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide(dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring full = wide(dir) + L"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (data.cFileName[0] != L'.') RemoveDirectoryW(full.c_str());
        } else {
          DeleteFileW(full.c_str());
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(wide(dir).c_str());
  }
  std::string read_back(const Text& path) {
    HANDLE f = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[256];
    DWORD n = 0;
    ReadFile(f, buffer, sizeof buffer, &n, nullptr);
    CloseHandle(f);
    return std::string(buffer, n);
  }
  std::unique_ptr<Files> files = make_win32_files();
  Text dir;
};

TEST_F(FilesWin32, WriteTruncateAndDelete) {
  Text path = dir + "\\音乐.bin";
  ASSERT_TRUE(files->write(path, std::vector<Bytes>{bytes("abc"), {}, bytes("def")}));
  EXPECT_EQ(read_back(path), "abcdef");
  ASSERT_TRUE(files->write(path, bytes("x")));
  EXPECT_EQ(read_back(path), "x");
  EXPECT_TRUE(files->remove(path));
  EXPECT_FALSE(files->remove(path));
  EXPECT_FALSE(files->write("", bytes("a")));
  EXPECT_FALSE(files->write(dir + "\\无此目录\\f", bytes("a")));
  EXPECT_FALSE(files->write(dir + "\\a?b.mp3", bytes("a")));  // the file system forbids the name
  // A NUL would cut the path short and name another file: such a path names none.
  ASSERT_TRUE(files->write(dir + "\\a", bytes("keep")));
  EXPECT_FALSE(files->write(dir + "\\a" + Text(1, '\0') + ".mp3", bytes("b")));
  EXPECT_FALSE(files->remove(dir + "\\a" + Text(1, '\0') + "x"));
  EXPECT_FALSE(files->create_new(dir + "\\a" + Text(1, '\0') + "x"));
  EXPECT_EQ(read_back(dir + "\\a"), "keep");
}

// A new file is made only where none is: a file of that name, even one open for writing, is never
// truncated, and a name the system forbids or a missing folder gives nothing.
TEST_F(FilesWin32, CreateNewNeverTruncates) {
  std::unique_ptr<OutputFile> out = files->create_new(dir + "\\流.bin");
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->write(reinterpret_cast<const unsigned char*>("ab"), 2));
  EXPECT_EQ(files->create_new(dir + "\\流.bin"), nullptr) << "open for writing";
  EXPECT_TRUE(out->write(reinterpret_cast<const unsigned char*>("cd"), 2));
  EXPECT_TRUE(out->close());
  EXPECT_FALSE(out->close());
  EXPECT_EQ(read_back(dir + "\\流.bin"), "abcd");
  EXPECT_EQ(files->create_new(dir + "\\流.bin"), nullptr);
  EXPECT_EQ(read_back(dir + "\\流.bin"), "abcd");
  EXPECT_EQ(files->create_new(dir + "\\无此目录\\f"), nullptr);
  EXPECT_EQ(files->create_new(dir + "\\a?b.part"), nullptr);
  ASSERT_TRUE(CreateDirectoryW(wide(dir + "\\文件夹.part").c_str(), nullptr));
  EXPECT_EQ(files->create_new(dir + "\\文件夹.part"), nullptr);
}

// A move never replaces: not a file, not one the player holds open, not a folder.
TEST_F(FilesWin32, MoveNewNeverReplacesAnything) {
  ASSERT_TRUE(files->write(dir + "\\晴天.mp3", bytes("the user's own")));
  ASSERT_TRUE(files->write(dir + "\\下载.part", bytes("downloaded")));
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\晴天.mp3"));
  EXPECT_EQ(read_back(dir + "\\晴天.mp3"), "the user's own");
  EXPECT_EQ(read_back(dir + "\\下载.part"), "downloaded");
  std::unique_ptr<InputFile> playing = files->open_read(dir + "\\晴天.mp3");
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\晴天.mp3"));
  EXPECT_EQ(read_back(dir + "\\晴天.mp3"), "the user's own");
  ASSERT_TRUE(CreateDirectoryW(wide(dir + "\\文件夹.mp3").c_str(), nullptr));
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\文件夹.mp3"));
  EXPECT_TRUE(files->move_new(dir + "\\下载.part", dir + "\\晴天 (2).mp3"));
  EXPECT_EQ(read_back(dir + "\\晴天 (2).mp3"), "downloaded");
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\x.mp3")) << "gone already";
  EXPECT_NE(files->process_id(), 0u);
}

// Whose temporaries are in use: this process's and a running one's; not one that ended, nor an id no
// process has.
TEST_F(FilesWin32, AProcessRunsUntilItEnds) {
  EXPECT_TRUE(files->process_running(files->process_id()));
  EXPECT_FALSE(files->process_running(4000000000u));
  std::wstring command = L"cmd.exe /c exit 0";
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &start, &child));
  KernelHandle process(child.hProcess), thread(child.hThread);
  ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(files->process_running(child.dwProcessId)) << "ended, its id still held by our handle";
}

// A song is read while its download writes it, is moved into place, or is deleted at the exit.
TEST_F(FilesWin32, AFileOpenedForReadingIsReadAtAnyOffsetWhileOthersWriteMoveOrDeleteIt) {
  const Text part = dir + "\\下载.mp3.1-1.part", song = dir + "\\下载.mp3";
  std::unique_ptr<OutputFile> out = files->create_new(part);
  ASSERT_TRUE(out);
  ASSERT_TRUE(out->write(reinterpret_cast<const unsigned char*>("0123"), 4));
  std::unique_ptr<InputFile> in = files->open_read(part);
  ASSERT_TRUE(in);
  unsigned char got[16] = {};
  EXPECT_EQ(in->size(), 4u);
  EXPECT_EQ(in->read(2, got, sizeof got), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 2), "23");
  EXPECT_EQ(in->read(9, got, sizeof got), 0u);  // past the end as it stands
  ASSERT_TRUE(out->write(reinterpret_cast<const unsigned char*>("4567"), 4));
  ASSERT_TRUE(out->close());
  EXPECT_EQ(in->size(), 8u);
  EXPECT_EQ(in->read(6, got, sizeof got), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 2), "67");
  EXPECT_TRUE(files->move_new(part, song));
  EXPECT_TRUE(files->remove(song));
  EXPECT_EQ(in->read(0, got, sizeof got), 8u);  // the bytes stay readable through the handle
  in.reset();
  EXPECT_FALSE(files->exact_exists(song));
  // The exit removes a part file its download still writes: the writer goes on, and nothing stays.
  std::unique_ptr<OutputFile> cut = files->create_new(part);
  ASSERT_NE(cut, nullptr);
  EXPECT_TRUE(files->remove(part));
  cut->write(reinterpret_cast<const unsigned char*>("x"), 1);
  cut->close();
  EXPECT_FALSE(files->exact_exists(part));

  EXPECT_EQ(files->open_read(dir + "\\无此文件.mp3"), nullptr);
  EXPECT_EQ(files->open_read(dir), nullptr);  // a directory
  EXPECT_EQ(files->open_read(""), nullptr);
  ASSERT_TRUE(files->write(dir + "\\a", bytes("keep")));
  EXPECT_EQ(files->open_read(dir + "\\a" + Text(1, '\0') + "x"), nullptr);  // a NUL would name another file
}

// A replacement takes the song's place in one step while the player reads it: the reader reads on, the
// song's name holds the new bytes, and the replacement's name is gone. Without the file or onto a folder
// it fails and keeps both.
TEST_F(FilesWin32, ReplaceWithTakesThePlaceOfAFileBeingRead) {
  const Text song = dir + "\\晴天.mp3", fresh = dir + "\\晴天.mp3.7-1.retag";
  ASSERT_TRUE(files->write(song, bytes("old bytes")));
  std::unique_ptr<InputFile> playing = files->open_read(song);
  ASSERT_NE(playing, nullptr);
  unsigned char got[16] = {};
  EXPECT_EQ(playing->read(0, got, 3), 3u);
  std::unique_ptr<OutputFile> out = files->create_new(fresh);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->write(reinterpret_cast<const unsigned char*>("new bytes!"), 10));
  EXPECT_TRUE(out->flush());
  EXPECT_TRUE(out->close());
  EXPECT_FALSE(out->flush()) << "closed";
  ASSERT_TRUE(files->replace_with(fresh, song));
  EXPECT_EQ(read_back(song), "new bytes!");
  EXPECT_FALSE(files->exact_exists(fresh));
  EXPECT_EQ(playing->read(3, got + 3, sizeof got - 3), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 9), "old bytes") << "the reader reads on";
  playing.reset();
  EXPECT_FALSE(files->exact_exists(song + "." + std::to_string(GetCurrentProcessId()) + "-1.old"))
      << "the old file, if set aside, is gone with its reader";

  EXPECT_FALSE(files->replace_with(fresh, song)) << "gone already";
  EXPECT_EQ(read_back(song), "new bytes!");
  ASSERT_TRUE(files->write(fresh, bytes("again")));
  ASSERT_TRUE(CreateDirectoryW(wide(dir + "\\文件夹.mp3").c_str(), nullptr));
  EXPECT_FALSE(files->replace_with(fresh, dir + "\\文件夹.mp3"));
  EXPECT_FALSE(files->replace_with(fresh, dir + "\\a" + Text(1, '\0') + "b"));
  EXPECT_EQ(read_back(fresh), "again");
  EXPECT_TRUE(files->replace_with(fresh, dir + "\\新.mp3")) << "nothing there to replace";
  EXPECT_EQ(read_back(dir + "\\新.mp3"), "again");
}

// The whole retag over the Windows files, while the player holds the song open.
TEST_F(FilesWin32, ASongIsRetaggedWhileItIsPlayed) {
  const Text song = dir + "\\晴天.mp3";
  const Bytes audio = {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3, 4};
  Bytes old_file = write_id3_tag(SongTag{"old", "", "", {}});
  old_file.insert(old_file.end(), audio.begin(), audio.end());
  ASSERT_TRUE(files->write(song, old_file));
  std::unique_ptr<InputFile> playing = files->open_read(song);
  ASSERT_NE(playing, nullptr);
  SongTag tag{"晴天", "周杰伦", "叶惠美", {{"QIWA_ID", "1"}}};
  tag.cover = Bytes(3 << 20, 0x5A);
  tag.cover[0] = 0xFF, tag.cover[1] = 0xD8, tag.cover[2] = 0xFF;
  ASSERT_EQ(retag_song(*files, song, tag), Retag::done);
  Bytes expected = write_id3_tag(tag);
  expected.insert(expected.end(), audio.begin(), audio.end());
  std::unique_ptr<InputFile> now = files->open_read(song);
  ASSERT_NE(now, nullptr);
  Bytes read(expected.size() + 1);
  read.resize(now->read(0, read.data(), read.size()));
  EXPECT_TRUE(read == expected);
  Bytes old_read(old_file.size() + 1);
  EXPECT_EQ(playing->read(0, old_read.data(), old_read.size()), old_file.size());
}

TEST_F(FilesWin32, ExactExistsNeverTreatsWildcardsAsSuch) {
  ASSERT_TRUE(files->write(dir + "\\歌ab.mp3", bytes("x")));
  EXPECT_FALSE(files->exact_exists(dir + "\\歌a?.mp3"));
  EXPECT_FALSE(files->exact_exists(dir + "\\*.mp3"));
  EXPECT_TRUE(files->exact_exists(dir + "\\歌ab.mp3"));
  EXPECT_FALSE(files->exact_exists(dir));  // a directory is no file
}

// A store's write: whole or not at all, over a file the user may have made read-only or another
// program may hold open, and never leaving its temporary behind.
TEST_F(FilesWin32, ReplaceFilePutsTheNewBytesInOneStep) {
  const Text path = dir + "\\曲库.txt";
  ASSERT_TRUE(files->replace_file(path, "first"));  // no file yet: renamed into place
  EXPECT_EQ(read_back(path), "first");
  ASSERT_TRUE(files->replace_file(path, std::string(100000, 'x') + "second"));
  EXPECT_EQ(files->read_file(path, 1 << 20), std::string(100000, 'x') + "second");
  EXPECT_EQ(files->read_file(path, 10), std::nullopt);  // over the limit
  EXPECT_EQ(files->read_file(dir + "\\无.txt", 10), std::nullopt);

  {  // a reader that shares everything does not stop the replace, and keeps the bytes it opened
    FileHandle reader(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_TRUE(files->replace_file(path, "third"));
  }
  EXPECT_EQ(read_back(path), "third");
  {  // one that shares nothing does: the old bytes stay
    FileHandle holder(CreateFileW(wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(files->replace_file(path, "fourth"));
  }
  EXPECT_EQ(read_back(path), "third");
  ASSERT_TRUE(SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(files->replace_file(path, "fifth"));
  EXPECT_EQ(read_back(path), "third");
  SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(files->replace_file(dir + "\\无此目录\\f", "x"));
  EXPECT_FALSE(files->replace_file(dir + "\\a" + Text(1, '\0') + "b", "x"));
  for (const FileInfo& f : files->list_files(dir)) EXPECT_EQ(f.name.find(kReplaceTemporarySuffix), Text::npos) << f.name;
}

TEST_F(FilesWin32, ListingsAndFileInfoTellNamesSizesAndTimes) {
  ASSERT_TRUE(files->write(dir + "\\晴天.mp3", bytes("abc")));
  ASSERT_TRUE(files->write(dir + "\\x.MP3x", bytes("abcd")));
  ASSERT_TRUE(files->make_directory(dir + "\\子目录.mp3"));
  EXPECT_TRUE(files->make_directory(dir + "\\子目录.mp3"));  // already there
  EXPECT_FALSE(files->make_directory(dir + "\\无\\无"));
  EXPECT_FALSE(files->make_directory(dir + "\\晴天.mp3"));  // a file of that name
  std::map<Text, std::uint64_t> sizes;
  for (const FileInfo& f : files->list_files(dir)) sizes[f.name] = f.size;
  EXPECT_EQ(sizes, (std::map<Text, std::uint64_t>{{"晴天.mp3", 3}, {"x.MP3x", 4}}));
  EXPECT_TRUE(files->list_files(dir + "\\无").empty());

  const std::optional<FileInfo> info = files->file_info(dir + "\\晴天.mp3");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, 3u);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  EXPECT_LT(std::llabs(info->modified_ms - unix_ms(now)), 60'000);
  EXPECT_EQ(files->file_info(dir + "\\子目录.mp3"), std::nullopt);
  EXPECT_EQ(files->file_info(dir + "\\无.mp3"), std::nullopt);
}

TEST_F(FilesWin32, WritableFoldersTheAppDataFolderAndTheLock) {
  EXPECT_TRUE(files->folder_writable(dir));
  EXPECT_FALSE(files->folder_writable(dir + "\\无此目录"));
  EXPECT_TRUE(files->list_files(dir).empty());  // the probe is gone
  const Text app_data = files->app_data_directory();
  ASSERT_FALSE(app_data.empty());
  EXPECT_NE(app_data.back(), '\\');
  EXPECT_EQ(GetFileAttributesW(wide(app_data).c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});

  const Text lock_path = dir + "\\曲库.txt.lock";
  std::unique_ptr<FileLock> lock = files->try_lock(lock_path);
  ASSERT_NE(lock, nullptr);
  EXPECT_EQ(files->try_lock(lock_path), nullptr);  // held: another copy waits its turn
  lock.reset();
  EXPECT_FALSE(files->exact_exists(lock_path));    // let go: nothing left behind
  EXPECT_NE(files->try_lock(lock_path), nullptr);
}

// The library over the real disk, as the program keeps it: a write, a second copy merging, the next
// start reading both, a leftover temporary removed, a damaged file set aside beside it.
TEST_F(FilesWin32, TheLibraryKeepsItsFileOnTheRealDisk) {
  Win32Platform backends;
  Clock& clock = backends.platform().clock;
  const Text path = dir + "\\" + Text(Library::kFileName);
  auto song = [](const char* id) { return LibrarySong{"kugou", {id, "p", "l", "晴天", "周杰伦", "叶惠美"}, ""}; };
  Library a(*files, clock, path), b(*files, clock, path);
  a.load();
  b.load();
  a.set_favourite(std::vector{song("1")}, true);
  ASSERT_TRUE(a.flush(0));
  b.set_favourite(std::vector{song("2")}, true);
  ASSERT_TRUE(b.flush(0));
  // Of a process that ended (no process has this id): small ids are Wine's own processes.
  ASSERT_TRUE(files->write(path + ".4000000000-1.qiwa-tmp", bytes("QiwaMusic library 1\n")));
  Library c(*files, clock, path);
  c.load();
  EXPECT_TRUE(c.is_favourite(song("1")) && c.is_favourite(song("2")));
  EXPECT_EQ(c.take_message(), "");
  EXPECT_FALSE(files->exact_exists(path + ".4000000000-1.qiwa-tmp"));

  ASSERT_TRUE(files->write(path, bytes("\x89PNG garbage")));
  Library d(*files, clock, path);
  d.load();
  EXPECT_NE(d.take_message().find(".broken-"), Text::npos);
  std::vector<Text> names;
  for (const FileInfo& f : files->list_files(dir)) names.push_back(f.name);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(read_back(dir + "\\" + names[0]), "\x89PNG garbage");
}

TEST(DirectoriesWin32, RunAndSystemDirectory) {
  std::unique_ptr<Files> files = make_win32_files();
  Text run = files->run_directory();
  ASSERT_FALSE(run.empty());
  EXPECT_NE(run.back(), '\\');
  EXPECT_TRUE(files->exact_exists(run + "\\qiwa_win32_tests.exe"));
  Text sys = files->system_directory();
  ASSERT_GE(sys.size(), 2u);
  EXPECT_EQ(sys.back(), '\\');
  EXPECT_NE(sys[sys.size() - 2], '\\');
  EXPECT_TRUE(files->exact_exists(sys + "kernel32.dll"));
}

// The ordinal under which kernel32 exports `name`, read from its export directory.
unsigned export_ordinal(HMODULE module, const char* name) {
  auto base = reinterpret_cast<const unsigned char*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  auto ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    if (std::string_view(reinterpret_cast<const char*>(base + names[i])) == name)
      return exports->Base + ordinals[i];
  return 0;
}

TEST(NativeLibraryWin32, BindsKernel32ByNameAndOrdinal) {
  std::unique_ptr<Files> files = make_win32_files();
  std::unique_ptr<NativeLibraries> loader = make_win32_libraries();
  LibraryBindings table(*loader);
  Text path = files->system_directory() + "kernel32.dll";
  ASSERT_TRUE(table.bind("GetTickCount", path, "GetTickCount"));
  auto tick = reinterpret_cast<DWORD(WINAPI*)()>(table.bound("GetTickCount"));
  ASSERT_NE(tick, nullptr);
  EXPECT_NE(tick(), 0u);
  unsigned ordinal = export_ordinal(GetModuleHandleW(L"kernel32.dll"), "GetTickCount");
  ASSERT_NE(ordinal, 0u);
  ASSERT_TRUE(table.bind("ByOrdinal", path, "#" + std::to_string(ordinal)));
  EXPECT_EQ(table.bound("ByOrdinal"), table.bound("GetTickCount"));
  EXPECT_EQ(table.loaded_count(), 1u);
  EXPECT_FALSE(table.bind("x", path, "NoSuchExport"));
  EXPECT_FALSE(table.bind("x", path, "#0"));
  EXPECT_FALSE(table.bind("x", path, "#abc"));
  EXPECT_FALSE(table.bind("x", "kernel32.dll", "GetTickCount"));  // relative: not searched for
  EXPECT_FALSE(table.bind("x", files->system_directory() + "无此库.dll", "f"));
  table.reset("GetTickCount");
  EXPECT_EQ(table.bound("GetTickCount"), nullptr);
}

}  // namespace
}  // namespace qiwa
