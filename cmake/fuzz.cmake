# libFuzzer targets over everything that reads outside data (clang only). Clang keeps string literals
# UTF-8, so the targets are built from copies of src/ and fuzz/ whose literals are GBK, as g++ makes them.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(QIWA_GBK_TREE ${CMAKE_BINARY_DIR}/gbk)
add_custom_target(qiwa_gbk_copies ALL
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gbk-literals --tree ${CMAKE_SOURCE_DIR}/src
          ${QIWA_GBK_TREE}/src
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gbk-literals --tree ${CMAKE_SOURCE_DIR}/fuzz
          ${QIWA_GBK_TREE}/fuzz
  BYPRODUCTS ${QIWA_GBK_TREE}/stamp
  COMMENT "GBK literal copies for clang" VERBATIM)

set(core_copies)
foreach(src IN LISTS QIWA_CORE_SOURCES QIWA_POSIX_SOURCES)
  list(APPEND core_copies ${QIWA_GBK_TREE}/${src})
endforeach()
set_source_files_properties(${core_copies} PROPERTIES GENERATED TRUE)
add_library(qiwa_fuzz_core STATIC ${core_copies})
add_dependencies(qiwa_fuzz_core qiwa_gbk_copies)
target_include_directories(qiwa_fuzz_core PUBLIC ${QIWA_GBK_TREE}/src ${QIWA_GBK_TREE})
target_compile_definitions(qiwa_fuzz_core PUBLIC QIWA_SERVICE_HOST="${QIWA_SERVICE_HOST}")
target_compile_options(qiwa_fuzz_core PUBLIC -fsanitize=fuzzer-no-link,address,undefined
                       -fno-sanitize-recover=undefined -Wno-invalid-source-encoding)
target_link_options(qiwa_fuzz_core PUBLIC -fsanitize=address,undefined)
target_link_libraries(qiwa_fuzz_core PUBLIC pthread ${CMAKE_DL_LIBS})

file(GLOB QIWA_FUZZ_TARGETS RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(src IN LISTS QIWA_FUZZ_TARGETS)
  get_filename_component(name ${src} NAME_WE)
  set_source_files_properties(${QIWA_GBK_TREE}/${src} PROPERTIES GENERATED TRUE)
  add_executable(${name} ${QIWA_GBK_TREE}/${src})
  add_dependencies(${name} qiwa_gbk_copies)
  target_link_libraries(${name} PRIVATE qiwa_fuzz_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
