# The C runtime of the 32-bit program: crtdll.dll, which every Win32 system has from Windows NT 3.1
# and the first Windows 95 on, where msvcrt.dll came only with later updates. The 64-bit program
# keeps msvcrt.dll.
#
# The libraries GCC adds to every link end with -lmsvcrt. For the program, the folder crtdll/ of
# the build comes first in the library path, and its libmsvcrt.a is a linker script that links
# MinGW-w64's import library of crtdll.dll instead. That library also brings the start-up code's
# entry points that crtdll.dll names otherwise (__getmainargs on its __GetMainArgs, __p__acmdln on
# its _acmdln_dll, ...). C++11 and later turn on MinGW-w64's own printf family
# (__USE_MINGW_ANSI_STDIO), so no format, 64-bit integers included, reaches crtdll's printf.
#
# libstdc++'s std::random_device, which the program never uses, comes in with the message strings
# of the standard exceptions, and it calls three functions that crtdll.dll does not export as such:
# read and close are its _read and _close under the old names of Visual C++'s oldnames.lib;
# rand_s is MinGW-w64's own code from its msvcrt.dll import library, linked alone: it looks up
# msvcrt.dll's rand_s, else ADVAPI32's RtlGenRandom, at run time and imports neither.
#
# GoogleTest and the file streams of libstdc++ that it uses call functions crtdll.dll lacks
# (_wfopen, _fstat64, _lseeki64, _filelengthi64, _set_error_mode, getwc, putwc), so the test
# programs keep msvcrt.dll around the very same libraries of the program.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(TARVALE_CRTDLL_DIR ${CMAKE_BINARY_DIR}/crtdll)
    find_library(TARVALE_MSVCRT_IMPORTS libmsvcrt.a REQUIRED)
    file(ARCHIVE_EXTRACT INPUT ${TARVALE_MSVCRT_IMPORTS} DESTINATION ${TARVALE_CRTDLL_DIR} PATTERNS *-rand_s.o)
    file(GLOB TARVALE_RAND_S ${TARVALE_CRTDLL_DIR}/*-rand_s.o)
    list(LENGTH TARVALE_RAND_S rand_s_count)
    if(NOT rand_s_count EQUAL 1)
        message(FATAL_ERROR "no single rand_s object in ${TARVALE_MSVCRT_IMPORTS}: ${TARVALE_RAND_S}")
    endif()
    # Symbols of i686 C functions carry a leading underscore: _read is read, __read is _read.
    file(CONFIGURE OUTPUT ${TARVALE_CRTDLL_DIR}/libmsvcrt.a CONTENT [[
/* Made by cmake/crtdll.cmake: crtdll.dll is the C runtime where GCC links msvcrt.dll's. */
INPUT(-lcrtdll)
PROVIDE(_read = __read);
PROVIDE(_close = __close);
]])
endif()

# Links target, a 32-bit program, with crtdll.dll as its C runtime; a 64-bit one is left as it is.
function(tarvale_link_crtdll target)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_directories(${target} PRIVATE ${TARVALE_CRTDLL_DIR})
        target_link_libraries(${target} PRIVATE ${TARVALE_RAND_S})
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TARVALE_CRTDLL_DIR}/libmsvcrt.a)
    endif()
endfunction()
