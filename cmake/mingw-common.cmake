# Shared part of the MinGW-w64 toolchain files; TARVALE_TRIPLET names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TARVALE_ARCH})
# The win32 thread model: the program starts its threads with CreateThread, and the POSIX
# model's runtime would import functions that Windows 95, 98 and NT 4.0 lack.
set(CMAKE_C_COMPILER ${TARVALE_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TARVALE_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${TARVALE_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVALE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
