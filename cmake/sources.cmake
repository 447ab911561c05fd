# The one source list of both builds. Paths are relative to the top of the tree.

# Portable core: plain C++20 over UTF-8 text, compiled into both builds.
set(QIWA_CORE_SOURCES
  # runtime services
  src/runtime/utf.cpp
  src/runtime/download.cpp
  src/runtime/request_factory.cpp
  src/runtime/native_library.cpp
  src/runtime/wildcard.cpp
  src/runtime/text.cpp
  src/app/context.cpp
  src/app/application.cpp
  # text
  src/text/charset.cpp
  src/text/unescape.cpp
  src/text/extract.cpp
  # http
  src/http/cookies.cpp
  src/http/request.cpp
  # music
  src/music/mp3_frames.cpp
  src/music/file_name.cpp
  src/music/lyrics.cpp
  src/music/json_scan.cpp
  src/music/service.cpp
  src/music/search.cpp
  src/music/play.cpp
  # app
  src/app/actions.cpp
  src/app/layout.cpp
  src/app/startup.cpp
)

# Host backends of the runtime services (native build only).
set(QIWA_POSIX_SOURCES
  src/runtime/posix/files_posix.cpp
  src/runtime/posix/native_library_posix.cpp
  src/runtime/posix/threads_posix.cpp
)

# Win32 backends of the runtime services (windows build only).
set(QIWA_WIN32_SOURCES
  src/runtime/win32/wide_win32.cpp
  src/runtime/win32/files_win32.cpp
  src/runtime/win32/native_library_win32.cpp
  src/runtime/win32/threads_win32.cpp
  src/runtime/win32/winhttp_common.cpp
  src/runtime/win32/request_win32.cpp
  src/runtime/win32/download_win32.cpp
  src/runtime/win32/window_win32.cpp
  src/runtime/win32/list_view_win32.cpp
  src/runtime/win32/picture_win32.cpp
  src/runtime/win32/mp3_decoder_win32.cpp
  src/runtime/win32/player_win32.cpp
)

# The program's entry point and window (windows build only).
set(QIWA_EXE_SOURCES
  src/runtime/win32/main_win32.cpp
  res/qiwa.rc
)

# Test doubles shared by the native tests.
set(QIWA_FAKE_SOURCES
  tests/fakes/recording_request.cpp
  tests/fakes/fake_window.cpp
  tests/fakes/fake_music_service.cpp
  tests/fakes/skin_blobs_fake.cpp
)

# Native unit and flow tests: one file per core module.
set(QIWA_TEST_SOURCES
  tests/file_name_test.cpp
  tests/lyrics_test.cpp
  tests/json_scan_test.cpp
  tests/search_test.cpp
  tests/play_test.cpp
  tests/actions_test.cpp
  tests/startup_test.cpp
  tests/charset_test.cpp
  tests/unescape_test.cpp
  tests/utf_test.cpp
  tests/files_test.cpp
  tests/native_library_test.cpp
  tests/mp3_frames_test.cpp
  tests/text_test.cpp
  tests/extract_test.cpp
  tests/cookies_test.cpp
  tests/request_test.cpp
)

# Tests of the Win32 backends, built by the windows preset and run under Wine.
set(QIWA_WIN32_TEST_SOURCES
  tests/utf_test.cpp
  tests/win32/request_win32_test.cpp
  tests/win32/download_win32_test.cpp
  tests/win32/files_win32_test.cpp
  tests/win32/skin_win32_test.cpp
  tests/win32/player_win32_test.cpp
)

# Google Benchmark programs of the native core (bench/).
set(QIWA_BENCH_SOURCES
  bench/core_bench.cpp
)
