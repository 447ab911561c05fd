# Host build: the portable core, its tests and benchmarks (also as 32-bit x86: the native32 preset).
find_package(Threads REQUIRED)
include(GoogleTest)
include(cmake/floors.cmake)

if(QIWA_GTEST_FROM_SOURCE)
  # Debian's googletest sources, built with this build's flags (the packaged library is 64-bit only).
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gmock gtest_main)  # its own GTest:: names come with it
    target_compile_options(${lib} PRIVATE -w)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()

set(QIWA_SANITIZERS address,undefined CACHE STRING "sanitizers of the native tests")
if(QIWA_SANITIZE)
  add_compile_options(-fsanitize=${QIWA_SANITIZERS} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${QIWA_SANITIZERS})
endif()

qiwa_add_floors("")
target_link_libraries(qiwa_runtime PUBLIC Threads::Threads)

add_executable(qiwa_tests ${QIWA_TEST_SOURCES} ${QIWA_FAKE_SOURCES})
target_include_directories(qiwa_tests PRIVATE tests)
target_compile_definitions(qiwa_tests PRIVATE QIWA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(qiwa_tests PRIVATE qiwa_app GTest::gtest GTest::gmock GTest::gtest_main)
if(CMAKE_CROSSCOMPILING_EMULATOR)
  # One run of them all: under the emulator each start of a test program costs a second.
  add_test(NAME native_tests COMMAND qiwa_tests --gtest_brief=1)
  set_tests_properties(native_tests PROPERTIES LABELS native)
else()
  gtest_discover_tests(qiwa_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)
endif()

# The tags the program writes, read back by Debian's mutagen and the audio decoded by its ffmpeg: a
# native tool (neither the i386 build nor the Windows ones run Debian's Python beside it).
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(qiwa_tag_tool tests/music/tag_tool.cpp ${QIWA_FAKE_SOURCES})
  target_include_directories(qiwa_tag_tool PRIVATE tests)
  target_link_libraries(qiwa_tag_tool PRIVATE qiwa_app)
  add_test(NAME tags_read_by_debian COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/music/tag_check.py
                                            $<TARGET_FILE:qiwa_tag_tool> ${CMAKE_SOURCE_DIR}/tests/data/tone_cbr.mp3)
  set_tests_properties(tags_read_by_debian PROPERTIES LABELS "native;debian")
endif()

if(QIWA_FUZZ_REPLAY)
  # Each fuzz target over its seed corpus, without libFuzzer (gcc has none): the fuzz smoke of this build.
  file(GLOB QIWA_FUZZ_TARGETS RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  add_library(qiwa_fuzz_replay OBJECT fuzz/replay.cpp)
  foreach(src IN LISTS QIWA_FUZZ_TARGETS)
    get_filename_component(name ${src} NAME_WE)
    string(REGEX REPLACE "_fuzz$" "" corpus ${name})
    add_executable(${name}_replay ${src} $<TARGET_OBJECTS:qiwa_fuzz_replay>)
    target_include_directories(${name}_replay PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name}_replay PRIVATE qiwa_app)
    add_test(NAME fuzz_seeds_${corpus} COMMAND ${name}_replay ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
    set_tests_properties(fuzz_seeds_${corpus} PROPERTIES LABELS fuzz)
  endforeach()
endif()

# Google Benchmark is Debian's 64-bit library: no benchmarks in the 32-bit build.
if(QIWA_BENCH_SOURCES AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  foreach(src IN LISTS QIWA_BENCH_SOURCES)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${QIWA_FAKE_SOURCES})
    target_include_directories(${name} PRIVATE tests)
    target_link_libraries(${name} PRIVATE qiwa_app benchmark::benchmark)
  endforeach()
endif()

# The floors' fence, tried on a scratch copy of the tree with includes that break it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME fence COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/fence/fence_test.py ${CMAKE_SOURCE_DIR})
set_tests_properties(fence PROPERTIES LABELS native TIMEOUT 600)
