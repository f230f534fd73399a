# Cross build for 64-bit Windows with MinGW-w64 (posix threads), tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TAVI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TAVI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest and gtest_discover_tests start every Windows program through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
