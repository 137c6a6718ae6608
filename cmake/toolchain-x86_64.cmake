set(TARVALE_ARCH x86_64)
set(TARVALE_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
