# Host build: the portable core, its tests and benchmarks.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
include(GoogleTest)
include(cmake/floors.cmake)

if(QIWA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

qiwa_add_floors("")
target_link_libraries(qiwa_runtime PUBLIC Threads::Threads)

add_executable(qiwa_tests ${QIWA_TEST_SOURCES} ${QIWA_FAKE_SOURCES})
target_include_directories(qiwa_tests PRIVATE tests)
target_compile_definitions(qiwa_tests PRIVATE QIWA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(qiwa_tests PRIVATE qiwa_app GTest::gtest GTest::gmock GTest::gtest_main)
gtest_discover_tests(qiwa_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)

# The tags the program writes, read back by Debian's mutagen and the audio decoded by its ffmpeg.
add_executable(qiwa_tag_tool tests/music/tag_tool.cpp ${QIWA_FAKE_SOURCES})
target_include_directories(qiwa_tag_tool PRIVATE tests)
target_link_libraries(qiwa_tag_tool PRIVATE qiwa_app)
add_test(NAME tags_read_by_debian COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/music/tag_check.py
                                          $<TARGET_FILE:qiwa_tag_tool> ${CMAKE_SOURCE_DIR}/tests/data/tone_cbr.mp3)
set_tests_properties(tags_read_by_debian PROPERTIES LABELS "native;debian")

if(QIWA_BENCH_SOURCES)
  find_package(benchmark REQUIRED)
  foreach(src IN LISTS QIWA_BENCH_SOURCES)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${QIWA_FAKE_SOURCES})
    target_include_directories(${name} PRIVATE tests)
    target_link_libraries(${name} PRIVATE qiwa_app benchmark::benchmark)
  endforeach()
endif()
