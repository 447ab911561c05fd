// The Windows backends of files, threads and native libraries, run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <set>

#include "runtime/files.hpp"
#include "runtime/native_library.hpp"
#include "runtime/threads.hpp"
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
  std::set<Text> find_all(const Text& pattern) {
    FileSearch search;
    std::set<Text> names;
    for (Text name = search.next(pattern); !name.empty(); name = search.next()) names.insert(name);
    return names;
  }
  Text dir;
};

TEST_F(FilesWin32, SearchSkipsDirectoriesNamedLikeAMatch) {
  ASSERT_TRUE(write_file(dir + "\\歌曲.mp3", bytes("1")));
  ASSERT_TRUE(write_file(dir + "\\two.mp3", bytes("2")));
  ASSERT_TRUE(write_file(dir + "\\说明.txt", bytes("3")));
  ASSERT_TRUE(CreateDirectoryW(wide(dir + "\\专辑.mp3").c_str(), nullptr));
  EXPECT_EQ(find_all(dir + "\\*.mp3"), (std::set<Text>{"two.mp3", "歌曲.mp3"}));
  EXPECT_EQ(find_all(dir + "/*.mp3"), (std::set<Text>{"two.mp3", "歌曲.mp3"}));
  EXPECT_EQ(find_all(dir + "\\专辑.mp3"), std::set<Text>{});
  EXPECT_EQ(find_all(dir + "\\none*"), std::set<Text>{});
  EXPECT_TRUE(file_exists(dir + "\\专辑.mp3"));
  EXPECT_TRUE(file_exists(dir + "\\??.txt"));
  EXPECT_FALSE(file_exists(dir + "\\*.wav"));
}

TEST_F(FilesWin32, WriteTruncateDeleteMove) {
  Text path = dir + "\\音乐.bin";
  ASSERT_TRUE(write_file(path, std::vector<Bytes>{bytes("abc"), {}, bytes("def")}));
  EXPECT_EQ(read_back(path), "abcdef");
  ASSERT_TRUE(write_file(path, bytes("x")));
  EXPECT_EQ(read_back(path), "x");
  ASSERT_TRUE(write_file(dir + "\\目标.bin", bytes("old")));
  EXPECT_TRUE(move_file(path, dir + "\\目标.bin"));  // replaces the existing target
  EXPECT_EQ(read_back(dir + "\\目标.bin"), "x");
  EXPECT_FALSE(exact_file_exists(path));
  EXPECT_TRUE(delete_file(dir + "\\目标.bin"));
  EXPECT_FALSE(delete_file(dir + "\\目标.bin"));
  EXPECT_FALSE(write_file("", bytes("a")));
  EXPECT_FALSE(write_file(dir + "\\无此目录\\f", bytes("a")));
  EXPECT_FALSE(write_file(dir + "\\a?b.mp3", bytes("a")));  // the file system forbids the name

  OutputFile out;
  ASSERT_TRUE(out.open(dir + "\\流.bin"));
  EXPECT_TRUE(out.write(reinterpret_cast<const unsigned char*>("ab"), 2));
  EXPECT_TRUE(out.write(reinterpret_cast<const unsigned char*>("cd"), 2));
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.close());
  EXPECT_EQ(read_back(dir + "\\流.bin"), "abcd");
}

TEST_F(FilesWin32, ExactExistsNeverTreatsWildcardsAsSuch) {
  ASSERT_TRUE(write_file(dir + "\\歌ab.mp3", bytes("x")));
  EXPECT_TRUE(file_exists(dir + "\\歌a?.mp3"));
  EXPECT_FALSE(exact_file_exists(dir + "\\歌a?.mp3"));
  EXPECT_FALSE(exact_file_exists(dir + "\\*.mp3"));
  EXPECT_TRUE(exact_file_exists(dir + "\\歌ab.mp3"));
  EXPECT_FALSE(exact_file_exists(dir));  // a directory is no file
}

TEST(DirectoriesWin32, RunAndSystemDirectory) {
  Text run = run_directory();
  ASSERT_FALSE(run.empty());
  EXPECT_NE(run.back(), '\\');
  EXPECT_TRUE(exact_file_exists(run + "\\qiwa_win32_tests.exe"));
  Text sys = system_directory();
  ASSERT_GE(sys.size(), 2u);
  EXPECT_EQ(sys.back(), '\\');
  EXPECT_NE(sys[sys.size() - 2], '\\');
  EXPECT_TRUE(exact_file_exists(sys + "kernel32.dll"));
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
  Text path = system_directory() + "kernel32.dll";
  ASSERT_TRUE(bind_library_function("GetTickCount", path, "GetTickCount"));
  auto tick = reinterpret_cast<DWORD(WINAPI*)()>(bound_function("GetTickCount"));
  ASSERT_NE(tick, nullptr);
  EXPECT_NE(tick(), 0u);
  unsigned ordinal = export_ordinal(GetModuleHandleW(L"kernel32.dll"), "GetTickCount");
  ASSERT_NE(ordinal, 0u);
  ASSERT_TRUE(bind_library_function("ByOrdinal", path, "#" + std::to_string(ordinal)));
  EXPECT_EQ(bound_function("ByOrdinal"), bound_function("GetTickCount"));
  EXPECT_EQ(loaded_library_count(), 1u);
  EXPECT_FALSE(bind_library_function("x", path, "NoSuchExport"));
  EXPECT_FALSE(bind_library_function("x", path, "#0"));
  EXPECT_FALSE(bind_library_function("x", path, "#abc"));
  EXPECT_FALSE(bind_library_function("x", "kernel32.dll", "GetTickCount"));  // relative: not searched for
  EXPECT_FALSE(bind_library_function("x", system_directory() + "无此库.dll", "f"));
  reset_library_binding("GetTickCount");
  EXPECT_EQ(bound_function("GetTickCount"), nullptr);
  unload_all_libraries();
  EXPECT_EQ(loaded_library_count(), 0u);
}

TEST(ThreadsWin32, StartsDetachedAndPumpStopsBeforeQuit) {
  std::atomic<bool> ran{false};
  ASSERT_TRUE(start_thread([&ran] { ran = true; }));
  for (int i = 0; i < 500 && !ran; ++i) Sleep(10);
  EXPECT_TRUE(ran);
  EXPECT_FALSE(start_thread({}));

  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread its queue
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 1, 0);
  PostQuitMessage(7);
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 2, 0);
  process_pending_messages();
  // The quit message is still there for the message loop, and the pump left everything after it.
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  bool saw_quit = msg.message == WM_QUIT;
  if (!saw_quit) {
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));
    EXPECT_EQ(msg.wParam, 2u);
    saw_quit = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT;
  }
  EXPECT_TRUE(saw_quit);
  EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace qiwa
