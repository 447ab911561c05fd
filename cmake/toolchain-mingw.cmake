# MinGW-w64 cross build for Windows (posix thread model, for std::thread). Included by the two
# toolchain files below, which name the target: QIWA_MINGW_TRIPLET and QIWA_WINE_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QIWA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QIWA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QIWA_MINGW_TRIPLET}-windres)
set(QIWA_OBJDUMP ${QIWA_MINGW_TRIPLET}-objdump)
set(QIWA_DLLTOOL ${QIWA_MINGW_TRIPLET}-dlltool)
set(QIWA_NM ${QIWA_MINGW_TRIPLET}-nm)
set(CMAKE_FIND_ROOT_PATH /usr/${QIWA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine in the build folder's own prefix (of this bitness), on Xvfb when
# there is no display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
