# 32-bit x86 Linux with the host's gcc (-m32, Debian's gcc-multilib): the portable core's tests with a
# 32-bit size_t, long and pointer, as the main product has them. Where this machine does not execute
# 32-bit code (tools/wine-arch), the tests run under qemu-i386-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

execute_process(COMMAND env -u QIWA_WINE_ARCH ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-arch
                OUTPUT_VARIABLE qiwa_runs_32 OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT qiwa_runs_32 STREQUAL "win32")
  find_program(QIWA_QEMU_I386 qemu-i386-static qemu-i386 REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QIWA_QEMU_I386})
endif()
# AddressSanitizer does not get past its start under qemu-user (its shadow memory): UBSan alone there.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(QIWA_SANITIZERS undefined CACHE STRING "sanitizers of the native tests")
else()
  set(QIWA_SANITIZERS address,undefined CACHE STRING "sanitizers of the native tests")
endif()
