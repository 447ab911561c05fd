# Windows cross build: QiwaMusic.exe, the skin library, the Win32 backend tests and the e2e driver.
enable_language(RC)  # the icon, manifest and version resource
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX)
# Static runtime: the exe imports system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)

add_library(qiwa_core STATIC ${QIWA_CORE_SOURCES} ${QIWA_WIN32_SOURCES})
target_include_directories(qiwa_core PUBLIC src)
target_compile_definitions(qiwa_core PUBLIC QIWA_SERVICE_HOST="${QIWA_SERVICE_HOST}")
target_link_libraries(qiwa_core PUBLIC winhttp comctl32 gdi32 winmm msacm32 ole32 windowscodecs uuid shlwapi)

add_executable(QiwaMusic WIN32 ${QIWA_EXE_SOURCES})
target_link_libraries(QiwaMusic PRIVATE qiwa_core)
target_link_options(QiwaMusic PRIVATE -municode)
set_target_properties(QiwaMusic PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The skin library image and skin data, as byte arrays (skin/).
target_link_libraries(QiwaMusic PRIVATE qiwa_skin_blobs)

# GoogleTest built from Debian's source package for the cross compiler.
set(GTEST_SRC /usr/src/googletest/googletest)
add_library(gtest_win32 STATIC ${GTEST_SRC}/src/gtest-all.cc ${GTEST_SRC}/src/gtest_main.cc)
target_include_directories(gtest_win32 SYSTEM PUBLIC ${GTEST_SRC}/include PRIVATE ${GTEST_SRC})
target_compile_options(gtest_win32 PRIVATE -finput-charset=UTF-8 -fexec-charset=UTF-8 -w)

add_executable(qiwa_win32_tests ${QIWA_WIN32_TEST_SOURCES})
target_include_directories(qiwa_win32_tests PRIVATE tests)
target_compile_definitions(qiwa_win32_tests PRIVATE QIWA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(qiwa_win32_tests PRIVATE qiwa_core gtest_win32)
target_link_libraries(qiwa_win32_tests PRIVATE qiwa_skin_blobs)
add_test(NAME win32_backends COMMAND qiwa_win32_tests)
set_tests_properties(win32_backends PROPERTIES LABELS wine ENVIRONMENT "WINEDEBUG=-all")
# The WinHTTP backends against a local test server of ours (tests/win32/http_test_server.py).
add_test(NAME win32_http COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win32/run_with_server.sh ${WINE_PROGRAM}
                                    $<TARGET_FILE:qiwa_win32_tests> "WinHttp*")
set_tests_properties(win32_http PROPERTIES LABELS wine ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300)

# Our skin library, its skin data and the qiwa_skin_blobs library that embeds both.
add_subdirectory(skin)
