# 64-bit Windows: the same program for 64-bit Windows, and what the Wine bench runs on machines
# that cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QIWA_MINGW_TRIPLET x86_64-w64-mingw32)
set(QIWA_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
