# 32-bit Windows (the main product: Windows 7 and later, 32- and 64-bit).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QIWA_MINGW_TRIPLET i686-w64-mingw32)
set(QIWA_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
