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

if(QIWA_BENCH_SOURCES)
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
