# libFuzzer targets over everything that reads outside data (clang only).
add_library(qiwa_fuzz_core STATIC ${QIWA_CORE_SOURCES} ${QIWA_POSIX_SOURCES})
target_include_directories(qiwa_fuzz_core PUBLIC src ${CMAKE_SOURCE_DIR})
target_compile_definitions(qiwa_fuzz_core PUBLIC QIWA_SERVICE_HOST="${QIWA_SERVICE_HOST}")
target_compile_options(qiwa_fuzz_core PUBLIC -fsanitize=fuzzer-no-link,address,undefined
                       -fno-sanitize-recover=undefined)
target_link_options(qiwa_fuzz_core PUBLIC -fsanitize=address,undefined)
target_link_libraries(qiwa_fuzz_core PUBLIC pthread ${CMAKE_DL_LIBS})

file(GLOB QIWA_FUZZ_TARGETS RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(src IN LISTS QIWA_FUZZ_TARGETS)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE qiwa_fuzz_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
