# 64-bit Windows: the same sources, run here under Wine.
set(vocaret_mingw_triplet x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
