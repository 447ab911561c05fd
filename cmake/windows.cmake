# Windows cross build (32- or 64-bit, from the toolchain file): QiwaMusic.exe, the skin library, the
# Win32 backend tests and the e2e driver.
enable_language(RC)  # the icon, manifest and version resource
# The resource script includes these; a change to them must rebuild it.
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/qiwa.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/res/qiwa.manifest;${CMAKE_SOURCE_DIR}/res/qiwa.ico")
# The bench reads the bitness of a build folder's programs here, to give them a prefix of the same.
set(QIWA_WINE_ARCH ${QIWA_WINE_ARCH} CACHE INTERNAL "Wine prefix kind of this build's programs")

find_program(QIWA_PYTHON python3 REQUIRED)

# An import library made at build time, as an INTERFACE library `name` to link: from a .def of our own
# (`DEF file`), or a delay-import library of a system DLL (`DELAY lib dll`), which then loads on the
# first call of one of its functions instead of at start.
function(qiwa_import_library name)
  cmake_parse_arguments(arg "" "DEF" "DELAY" ${ARGN})
  set(out ${CMAKE_BINARY_DIR}/imports/lib${name}.a)
  if(arg_DEF)
    add_custom_command(OUTPUT ${out} COMMAND ${QIWA_DLLTOOL} -d ${arg_DEF} -l ${out} DEPENDS ${arg_DEF}
      COMMENT "Import library ${name}")
  else()
    list(GET arg_DELAY 0 system_lib)
    list(GET arg_DELAY 1 dll)
    set(machine $<IF:$<STREQUAL:${QIWA_WINE_ARCH},win64>,i386:x86-64,i386>)
    add_custom_command(OUTPUT ${out}
      COMMAND ${QIWA_PYTHON} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/delay-import.py ${QIWA_NM} ${QIWA_DLLTOOL}
              ${machine} ${CMAKE_FIND_ROOT_PATH}/lib/lib${system_lib}.a ${dll} ${out}
      DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/delay-import.py
      COMMENT "Delay-import library of ${dll}")
  endif()
  add_custom_target(${name}_file DEPENDS ${out})
  add_library(${name} INTERFACE)
  add_dependencies(${name} ${name}_file)
  target_link_libraries(${name} INTERFACE ${out})
endfunction()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/imports)

# comctl32, with an import library of our own for what the toolchain's lacks (GetWindowSubclass on x86_64).
add_library(qiwa_comctl32 INTERFACE)
if(QIWA_WINE_ARCH STREQUAL "win64")
  qiwa_import_library(qiwa_comctl32_extra DEF ${CMAKE_CURRENT_LIST_DIR}/comctl32-extra.def)
  target_link_libraries(qiwa_comctl32 INTERFACE qiwa_comctl32_extra)
endif()
target_link_libraries(qiwa_comctl32 INTERFACE comctl32)

# What the window needs before it shows is kernel32, user32, gdi32 and comctl32: the network, the audio
# and COM (for pictures) load when first used, so start-up neither waits for them nor maps them.
qiwa_import_library(qiwa_delay_winhttp DELAY winhttp WINHTTP.dll)
qiwa_import_library(qiwa_delay_winmm DELAY winmm WINMM.dll)
qiwa_import_library(qiwa_delay_msacm32 DELAY msacm32 MSACM32.dll)
qiwa_import_library(qiwa_delay_ole32 DELAY ole32 ole32.dll)
qiwa_import_library(qiwa_delay_shell32 DELAY shell32 SHELL32.dll)  # the application data folder, rarely asked
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX)
# The delay-loaded functions of winmm, ole32 and shell32 declared without dllimport, so that calls reach
# their delay-load thunks: 32-bit ld drops a thunk that only its import slot names, leaving the slot empty.
add_compile_definitions(_WINMM_ _OLE32_ _SHELL32_)
# Static runtime: the exe imports system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)

include(cmake/floors.cmake)
# Section per function, so the exe's link can drop what nothing calls.
add_compile_options(-ffunction-sections -fdata-sections)
qiwa_add_floors(WIN32)
target_link_libraries(qiwa_runtime PUBLIC qiwa_delay_winhttp qiwa_delay_winmm qiwa_delay_msacm32 qiwa_delay_shell32)
target_link_libraries(qiwa_app PUBLIC qiwa_comctl32 gdi32 qiwa_delay_ole32 windowscodecs uuid)

add_executable(QiwaMusic WIN32 ${QIWA_EXE_SOURCES})
target_link_libraries(QiwaMusic PRIVATE qiwa_app)
# The link map stays beside it: the file checks read the import slots' addresses from it.
target_link_options(QiwaMusic PRIVATE -municode -s -Wl,--gc-sections -Wl,-Map=${CMAKE_BINARY_DIR}/QiwaMusic.map)
set_target_properties(QiwaMusic PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The skin library image and skin data, as byte arrays (skin/).
target_link_libraries(QiwaMusic PRIVATE qiwa_skin_blobs)

# The program with skin data that fails its check, for the e2e tests: it must start with the system's look.
add_executable(QiwaMusic_broken_skin WIN32 ${QIWA_EXE_SOURCES})
target_link_libraries(QiwaMusic_broken_skin PRIVATE qiwa_app qiwa_skin_blobs_broken)
target_link_options(QiwaMusic_broken_skin PRIVATE -municode -s -Wl,--gc-sections)
set_target_properties(QiwaMusic_broken_skin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# GoogleTest built from Debian's source package for the cross compiler.
set(GTEST_SRC /usr/src/googletest/googletest)
add_library(gtest_win32 STATIC ${GTEST_SRC}/src/gtest-all.cc ${GTEST_SRC}/src/gtest_main.cc)
target_include_directories(gtest_win32 SYSTEM PUBLIC ${GTEST_SRC}/include PRIVATE ${GTEST_SRC})
target_compile_options(gtest_win32 PRIVATE -finput-charset=UTF-8 -fexec-charset=UTF-8 -w)

add_executable(qiwa_win32_tests ${QIWA_WIN32_TEST_SOURCES})
target_include_directories(qiwa_win32_tests PRIVATE tests)
target_compile_definitions(qiwa_win32_tests PRIVATE QIWA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(qiwa_win32_tests PRIVATE qiwa_app gtest_win32)
target_link_libraries(qiwa_win32_tests PRIVATE qiwa_skin_blobs crypt32)
# The skin library's drawing, compiled in, so that its shapes can be checked pixel by pixel.
target_sources(qiwa_win32_tests PRIVATE skin/src/draw.cpp skin/src/theme.cpp skin/src/skin_format.cpp)
target_include_directories(qiwa_win32_tests PRIVATE skin/src)
# What Debian's lame decodes of the player's test songs: the player's Win32 tests compare its sound with it.
find_program(QIWA_LAME lame)
if(QIWA_LAME)
  foreach(song gapless_1 gapless_2 tone_low tone_high)
    set(decoded ${CMAKE_BINARY_DIR}/lame-decoded/${song}.raw)
    add_custom_command(OUTPUT ${decoded} COMMAND ${QIWA_LAME} --quiet --decode -t ${CMAKE_SOURCE_DIR}/tests/data/${song}.mp3 ${decoded}
                       DEPENDS ${CMAKE_SOURCE_DIR}/tests/data/${song}.mp3 COMMENT "lame --decode ${song}.mp3")
    list(APPEND QIWA_LAME_DECODED ${decoded})
  endforeach()
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/lame-decoded)
  add_custom_target(qiwa_lame_decoded DEPENDS ${QIWA_LAME_DECODED})
  add_dependencies(qiwa_win32_tests qiwa_lame_decoded)
endif()
target_compile_definitions(qiwa_win32_tests PRIVATE QIWA_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_test(NAME win32_backends COMMAND qiwa_win32_tests)
# Every Wine test takes one of the bench's lanes (tests/e2e/lanes.json): a prefix, display and service
# port of its own, so two run side by side (ctest -j2 with the test presets' resource file).
set_tests_properties(win32_backends PROPERTIES LABELS wine ENVIRONMENT "WINEDEBUG=-all" RESOURCE_GROUPS lanes:1 COST 90)
# The WinHTTP backends against a local test server of ours (tests/win32/http_test_server.py).
add_test(NAME win32_http COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win32/run_with_server.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                                    $<TARGET_FILE:qiwa_win32_tests> "WinHttp*")
set_tests_properties(win32_http PROPERTIES LABELS wine ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300
                     RESOURCE_GROUPS lanes:1)

# The files themselves, read without Wine: bitness, subsystem, imports, the skin library's export.
add_test(NAME pe_files COMMAND ${QIWA_PYTHON} ${CMAKE_SOURCE_DIR}/tests/win32/pe_check.py ${QIWA_OBJDUMP}
                               ${QIWA_WINE_ARCH} ${CMAKE_BINARY_DIR})
set_tests_properties(pe_files PROPERTIES LABELS pe)

# The e2e driver (a console program that reads and drives the program's window from outside)
# and the probe DLL it loads into the program to read its popup menu.
add_library(qiwa_probe SHARED tests/e2e/driver/probe.cpp)
set_target_properties(qiwa_probe PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_executable(qiwa_driver tests/e2e/driver/driver.cpp tests/e2e/driver/desk.cpp tests/e2e/driver/json.cpp tests/e2e/driver/remote.cpp
                           tests/e2e/driver/target.cpp)
target_include_directories(qiwa_driver PRIVATE ${CMAKE_BINARY_DIR}/floors/runtime)
target_link_libraries(qiwa_driver PRIVATE qiwa_comctl32 winmm psapi)
target_link_options(qiwa_driver PRIVATE -municode)
set_target_properties(qiwa_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(qiwa_driver qiwa_probe)

# One ctest per tests/e2e/test_*.py, each in a lane of its own while it runs. Those that time the program
# against a clock or a yardstick of the same run take both lanes: nothing of ours runs beside them.
set(QIWA_E2E_ALONE test_guarantees test_listening test_lyrics_follow test_play_early)
# The soak's 200 searches and 30 plays took 9 minutes on this 2-core machine under a light load.
set(QIWA_E2E_LONG test_soak)
# The longest start first, so that the other lane works through the rest beside them instead of waiting
# alone at the end (ctest orders a fresh build by COST, the seconds each took here).
set(QIWA_E2E_COST test_soak=370 test_faults=300 test_play=140 test_guarantees=110 test_desktop_input=90)
file(GLOB QIWA_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(test_file IN LISTS QIWA_E2E_TESTS)
  get_filename_component(test_name ${test_file} NAME_WE)
  add_test(NAME e2e_${test_name} COMMAND ${QIWA_PYTHON} -m unittest -v ${test_name}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  set(lanes lanes:1)
  if(test_name IN_LIST QIWA_E2E_ALONE)
    set(lanes 2,lanes:1)
  endif()
  set(timeout 600)
  if(test_name IN_LIST QIWA_E2E_LONG)
    set(timeout 1800)
  endif()
  set(cost 30)
  foreach(known IN LISTS QIWA_E2E_COST)
    if(known MATCHES "^${test_name}=([0-9]+)$")
      set(cost ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set_tests_properties(e2e_${test_name} PROPERTIES LABELS e2e TIMEOUT ${timeout} RESOURCE_GROUPS ${lanes} COST ${cost}
                       ENVIRONMENT "QIWA_BUILD_DIR=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
endforeach()

# Our skin library, its skin data and the qiwa_skin_blobs library that embeds both.
add_subdirectory(skin)

# Measurements under Wine (tools/figures): a timer and probe of the program, and the smallest
# window program of ours as the yardstick.
add_executable(win32_bench bench/win32_bench.cpp)
target_link_libraries(win32_bench PRIVATE qiwa_app qiwa_skin_blobs psapi msacm32 ole32 windowscodecs)
target_link_options(win32_bench PRIVATE -municode)
add_executable(minimal_window WIN32 bench/minimal_window.cpp)
target_link_libraries(minimal_window PRIVATE comctl32)
target_link_options(minimal_window PRIVATE -municode -s)
set_target_properties(win32_bench minimal_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
