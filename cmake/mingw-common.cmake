# Shared settings of the two mingw-w64 toolchain files.
# The posix thread model gives std::mutex, which GoogleTest needs; linked statically.
set(CMAKE_C_COMPILER ${ORVI_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVI_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVI_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORVI_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Programs built here run under wine64; the i686 ones as 32-bit processes on
# 64-bit Windows, which needs Wine's 32-bit loader (wine32) and a kernel that runs 32-bit code.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine-run.sh)
