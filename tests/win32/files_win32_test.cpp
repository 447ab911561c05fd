// The Windows backends of files and native libraries, and the threads, run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>

#include "music/retag.hpp"
#include "runtime/files.hpp"
#include "runtime/native_library.hpp"
#include "runtime/threads.hpp"
#include "runtime/win32/backends.hpp"
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

// A file being written can be read, renamed and deleted by others meanwhile (the player reads a song as it
// arrives, the exit removes a part file): the writer goes on, and the reader sees what is there.
TEST_F(FilesWin32, AFileBeingWrittenIsReadRenamedAndDeletedMeanwhile) {
  std::unique_ptr<OutputFile> out = files->create_new(dir + "\\晴天.mp3.1-1.part");
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->write(reinterpret_cast<const unsigned char*>("0123"), 4));
  std::unique_ptr<InputFile> in = files->open(dir + "\\晴天.mp3.1-1.part");
  ASSERT_NE(in, nullptr);
  unsigned char got[16] = {};
  EXPECT_EQ(in->read(got, 2), std::optional<std::size_t>(2));
  EXPECT_TRUE(files->move_new(dir + "\\晴天.mp3.1-1.part", dir + "\\晴天.mp3"));
  EXPECT_TRUE(out->write(reinterpret_cast<const unsigned char*>("45"), 2));
  EXPECT_EQ(in->read(got + 2, sizeof got - 2), std::optional<std::size_t>(4));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 6), "012345");
  EXPECT_EQ(in->read(got, sizeof got), std::optional<std::size_t>(0));
  EXPECT_TRUE(out->close());
  EXPECT_EQ(read_back(dir + "\\晴天.mp3"), "012345");

  std::unique_ptr<OutputFile> cut = files->create_new(dir + "\\cut.part");
  ASSERT_NE(cut, nullptr);
  EXPECT_TRUE(files->remove(dir + "\\cut.part"));
  cut->write(reinterpret_cast<const unsigned char*>("x"), 1);
  cut->close();
  EXPECT_FALSE(files->exact_exists(dir + "\\cut.part"));
  EXPECT_EQ(files->open(dir + "\\missing.mp3"), nullptr);
  EXPECT_EQ(files->open(dir), nullptr) << "a folder";
}

// A move never replaces: not a file, not one the player holds open, not a folder.
TEST_F(FilesWin32, MoveNewNeverReplacesAnything) {
  ASSERT_TRUE(files->write(dir + "\\晴天.mp3", bytes("the user's own")));
  ASSERT_TRUE(files->write(dir + "\\下载.part", bytes("downloaded")));
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\晴天.mp3"));
  EXPECT_EQ(read_back(dir + "\\晴天.mp3"), "the user's own");
  EXPECT_EQ(read_back(dir + "\\下载.part"), "downloaded");
  std::unique_ptr<InputFile> playing = files->open(dir + "\\晴天.mp3");
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\晴天.mp3"));
  EXPECT_EQ(read_back(dir + "\\晴天.mp3"), "the user's own");
  ASSERT_TRUE(CreateDirectoryW(wide(dir + "\\文件夹.mp3").c_str(), nullptr));
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\文件夹.mp3"));
  EXPECT_TRUE(files->move_new(dir + "\\下载.part", dir + "\\晴天 (2).mp3"));
  EXPECT_EQ(read_back(dir + "\\晴天 (2).mp3"), "downloaded");
  EXPECT_FALSE(files->move_new(dir + "\\下载.part", dir + "\\x.mp3")) << "gone already";
  EXPECT_NE(files->process_id(), 0u);
}

// A replacement takes the song's place in one step while the player reads it: the reader reads on, the
// song's name holds the new bytes, and the replacement's name is gone. Without the file or onto a folder
// it fails and keeps both.
TEST_F(FilesWin32, ReplaceFileTakesThePlaceOfAFileBeingRead) {
  const Text song = dir + "\\晴天.mp3", fresh = dir + "\\晴天.mp3.7-1.retag";
  ASSERT_TRUE(files->write(song, bytes("old bytes")));
  std::unique_ptr<InputFile> playing = files->open(song);
  ASSERT_NE(playing, nullptr);
  unsigned char got[16] = {};
  EXPECT_EQ(playing->read(got, 3), std::optional<std::size_t>(3));
  std::unique_ptr<OutputFile> out = files->create_new(fresh);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->write(reinterpret_cast<const unsigned char*>("new bytes!"), 10));
  EXPECT_TRUE(out->flush());
  EXPECT_TRUE(out->close());
  EXPECT_FALSE(out->flush()) << "closed";
  ASSERT_TRUE(files->replace_file(fresh, song));
  EXPECT_EQ(read_back(song), "new bytes!");
  EXPECT_FALSE(files->exact_exists(fresh));
  EXPECT_EQ(playing->read(got + 3, sizeof got - 3), std::optional<std::size_t>(6));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 9), "old bytes") << "the reader reads on";
  playing.reset();
  EXPECT_FALSE(files->exact_exists(song + "." + std::to_string(GetCurrentProcessId()) + "-1.old"))
      << "the old file, if set aside, is gone with its reader";

  EXPECT_FALSE(files->replace_file(fresh, song)) << "gone already";
  EXPECT_EQ(read_back(song), "new bytes!");
  ASSERT_TRUE(files->write(fresh, bytes("again")));
  ASSERT_TRUE(CreateDirectoryW(wide(dir + "\\文件夹.mp3").c_str(), nullptr));
  EXPECT_FALSE(files->replace_file(fresh, dir + "\\文件夹.mp3"));
  EXPECT_FALSE(files->replace_file(fresh, dir + "\\a" + Text(1, '\0') + "b"));
  EXPECT_EQ(read_back(fresh), "again");
  EXPECT_TRUE(files->replace_file(fresh, dir + "\\新.mp3")) << "nothing there to replace";
  EXPECT_EQ(read_back(dir + "\\新.mp3"), "again");
}

// The whole retag over the Windows files, while the player holds the song open.
TEST_F(FilesWin32, ASongIsRetaggedWhileItIsPlayed) {
  const Text song = dir + "\\晴天.mp3";
  const Bytes audio = {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3, 4};
  Bytes old_file = write_id3_tag(SongTag{"old", "", "", {}});
  old_file.insert(old_file.end(), audio.begin(), audio.end());
  ASSERT_TRUE(files->write(song, old_file));
  std::unique_ptr<InputFile> playing = files->open(song);
  ASSERT_NE(playing, nullptr);
  SongTag tag{"晴天", "周杰伦", "叶惠美", {{"QIWA_ID", "1"}}};
  tag.cover = Bytes(3 << 20, 0x5A);
  tag.cover[0] = 0xFF, tag.cover[1] = 0xD8, tag.cover[2] = 0xFF;
  ASSERT_EQ(retag_song(*files, song, tag), Retag::done);
  Bytes expected = write_id3_tag(tag);
  expected.insert(expected.end(), audio.begin(), audio.end());
  std::unique_ptr<InputFile> now = files->open(song);
  ASSERT_NE(now, nullptr);
  Bytes read(expected.size() + 1);
  std::size_t at = 0;
  while (std::optional<std::size_t> n = now->read(read.data() + at, read.size() - at)) {
    if (*n == 0) break;
    at += *n;
  }
  read.resize(at);
  EXPECT_TRUE(read == expected);
  Bytes old_read(old_file.size() + 1);
  EXPECT_EQ(playing->read(old_read.data(), old_read.size()), std::optional<std::size_t>(old_file.size()));
}

TEST_F(FilesWin32, ExactExistsNeverTreatsWildcardsAsSuch) {
  ASSERT_TRUE(files->write(dir + "\\歌ab.mp3", bytes("x")));
  EXPECT_FALSE(files->exact_exists(dir + "\\歌a?.mp3"));
  EXPECT_FALSE(files->exact_exists(dir + "\\*.mp3"));
  EXPECT_TRUE(files->exact_exists(dir + "\\歌ab.mp3"));
  EXPECT_FALSE(files->exact_exists(dir));  // a directory is no file
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

TEST(ThreadsWin32, StartsDetachedAndAnEscapingExceptionEndsOnlyTheThread) {
  std::atomic<bool> ran{false};
  ASSERT_TRUE(start_thread([] { throw std::runtime_error("worker failed"); }));
  ASSERT_TRUE(start_thread([&ran] { ran = true; }));
  for (int i = 0; i < 500 && !ran; ++i) Sleep(10);
  EXPECT_TRUE(ran);
  EXPECT_FALSE(start_thread({}));
}

}  // namespace
}  // namespace qiwa
