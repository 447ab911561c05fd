# The one source list of every build. Paths are relative to the top of the tree.
#
# The program is built in floors, bottom up; each floor uses only the floors below it (cmake/floors.cmake
# makes that a build error). The portable sources are plain C++20 over UTF-8 text; the Win32 ones are
# the platform's side of the runtime's interfaces and the application's window.
set(QIWA_FLOORS runtime text http music app)

set(QIWA_runtime_SOURCES
  src/runtime/download.cpp
  src/runtime/mp3_decoder.cpp
  src/runtime/mp3_frames.cpp
  src/runtime/mp3_reader.cpp
  src/runtime/native_library.cpp
  src/runtime/request.cpp
  src/runtime/text.cpp
  src/runtime/thread.cpp
  src/runtime/threads.cpp
  src/runtime/utf.cpp
)
set(QIWA_runtime_WIN32_SOURCES
  src/runtime/win32/download_win32.cpp
  src/runtime/win32/files_win32.cpp
  src/runtime/win32/mp3_codec_win32.cpp
  src/runtime/win32/native_library_win32.cpp
  src/runtime/win32/platform_win32.cpp
  src/runtime/win32/player_win32.cpp
  src/runtime/win32/request_win32.cpp
  src/runtime/win32/song_source_win32.cpp
  src/runtime/win32/wide_win32.cpp
  src/runtime/win32/winhttp_common.cpp
)
set(QIWA_text_SOURCES
  src/text/charset.cpp
  src/text/extract.cpp
  src/text/references.cpp
  src/text/unescape.cpp
)
set(QIWA_http_SOURCES
  src/http/cookies.cpp
  src/http/request.cpp
)
set(QIWA_music_SOURCES
  src/music/catalogue.cpp
  src/music/file_name.cpp
  src/music/id3_tag.cpp
  src/music/json_scan.cpp
  src/music/lrc.cpp
  src/music/lyrics.cpp
  src/music/retag.cpp
  src/music/search.cpp
  src/music/service.cpp
  src/music/track.cpp
)
set(QIWA_app_SOURCES
  src/app/actions.cpp
  src/app/application.cpp
  src/app/context.cpp
  src/app/layout.cpp
  src/app/lyrics_follow.cpp
  src/app/play_worker.cpp
  src/app/search_worker.cpp
  src/app/startup.cpp
)
set(QIWA_app_WIN32_SOURCES
  src/app/win32/dpi_win32.cpp
  src/app/win32/keys_win32.cpp
  src/app/win32/list_view_win32.cpp
  src/app/win32/lyrics_box_win32.cpp
  src/app/win32/picture_win32.cpp
  src/app/win32/taskbar_win32.cpp
  src/app/win32/window_win32.cpp
)

# The program's entry point and resources (windows builds only).
set(QIWA_EXE_SOURCES
  src/app/win32/main_win32.cpp
  res/qiwa.rc
)

# Test doubles shared by the native tests: the platform's services, the window, the service.
set(QIWA_FAKE_SOURCES
  tests/fakes/fake_files.cpp
  tests/fakes/fake_music_service.cpp
  tests/fakes/fake_platform.cpp
  tests/fakes/fake_window.cpp
  tests/fakes/recording_request.cpp
  tests/fakes/skin_blobs_fake.cpp
)

# Native unit and flow tests, by floor.
set(QIWA_TEST_SOURCES
  tests/runtime/mp3_decoder_test.cpp
  tests/runtime/mp3_frames_test.cpp
  tests/runtime/native_library_test.cpp
  tests/runtime/text_test.cpp
  tests/utf_test.cpp
  tests/text/charset_test.cpp
  tests/text/extract_test.cpp
  tests/text/references_test.cpp
  tests/text/unescape_test.cpp
  tests/http/cookies_test.cpp
  tests/http/request_test.cpp
  tests/music/file_name_test.cpp
  tests/music/id3_tag_test.cpp
  tests/music/json_scan_test.cpp
  tests/music/lrc_test.cpp
  tests/music/lyrics_test.cpp
  tests/music/retag_test.cpp
  tests/music/search_test.cpp
  tests/music/track_test.cpp
  tests/app/actions_test.cpp
  tests/app/lyrics_follow_test.cpp
  tests/app/play_worker_test.cpp
  tests/app/search_worker_test.cpp
  tests/app/startup_test.cpp
)

# Tests of the Win32 backends, built by the windows presets and run under Wine.
set(QIWA_WIN32_TEST_SOURCES
  tests/utf_test.cpp
  tests/win32/request_win32_test.cpp
  tests/win32/download_win32_test.cpp
  tests/win32/files_win32_test.cpp
  tests/win32/skin_win32_test.cpp
  tests/win32/skin_draw_win32_test.cpp
  tests/win32/player_win32_test.cpp
)

# Google Benchmark programs of the native core (bench/).
set(QIWA_BENCH_SOURCES
  bench/core_bench.cpp
)
