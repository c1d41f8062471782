# 32-bit Windows, the build that ships.
set(vocaret_mingw_triplet i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
