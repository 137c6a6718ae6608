# The run time of the 32-bit program: crtdll.dll as its C runtime, and the static libraries GCC
# links into it rebuilt for the i486. The 64-bit program keeps msvcrt.dll and the installed libraries.
#
# crtdll.dll is in every Win32 system from Windows NT 3.1 and the first Windows 95 on, where
# msvcrt.dll came only with later updates. The libraries GCC adds to every link end with -lmsvcrt.
# For the program, the folder crtdll/ of the build comes first in the library path, and its
# libmsvcrt.a is a linker script that links MinGW-w64's import library of crtdll.dll instead. That
# library also brings the start-up code's entry points that crtdll.dll names otherwise
# (__getmainargs on its __GetMainArgs, __p__acmdln on its _acmdln_dll, ...). C++11 and later turn on
# MinGW-w64's own printf family (__USE_MINGW_ANSI_STDIO), so no format, 64-bit integers included,
# reaches crtdll's printf.
#
# libstdc++'s std::random_device, which the program never uses, comes in with the message strings
# of the standard exceptions, and it calls three functions that crtdll.dll does not export as such:
# read and close are its _read and _close under the old names of Visual C++'s oldnames.lib;
# rand_s is MinGW-w64's own code from its msvcrt.dll import library, linked alone: it looks up
# msvcrt.dll's rand_s, else ADVAPI32's RtlGenRandom, at run time and imports neither. The import
# library has crtdll's _onexit as data only: cmake/crtdll-onexit.c gives the start-up code a
# function to call.
#
# The processor: Windows 95 runs on a 386DX, Windows 98 and NT 4.0 on a 486, and most of the
# machines that ran them had a 486, a Pentium or a K6. Debian builds its MinGW-w64 compiler and
# static libraries for the Pentium Pro, whose cmov and fcomi those processors stop at. The program's
# own code is compiled for the i486 (the top CMakeLists.txt); cmake/i486-runtime.sh rebuilds
# MinGW-w64's start-up code and libraries and GCC's libgcc and libstdc++ for it from Debian's source
# packages of the installed versions, once per build folder, into runtime-i486/. The compiler driver
# takes its start-up objects from there (-B) and the linker its libraries (-L, after crtdll/).
#
# GoogleTest and the file streams of libstdc++ that it uses call functions crtdll.dll lacks
# (_wfopen, _fstat64, _lseeki64, _filelengthi64, _set_error_mode, getwc, putwc), so the test
# programs keep msvcrt.dll and the installed libraries around the very same code of the program.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(TARVALE_CRTDLL_DIR ${CMAKE_BINARY_DIR}/crtdll)
    set(TARVALE_RUNTIME_DIR ${CMAKE_BINARY_DIR}/runtime-i486)
    # GCC's source as Debian's gcc-12-source package installs it.
    set(TARVALE_GCC_SOURCE /usr/src/gcc-12/gcc-12.2.0-dfsg.tar.xz CACHE FILEPATH
        "GCC's source tarball, of the version of the installed cross compiler")
    # Symbols of i686 C functions carry a leading underscore: _read is read, __read is _read.
    file(CONFIGURE OUTPUT ${TARVALE_CRTDLL_DIR}/libmsvcrt.a CONTENT [[
/* Made by cmake/runtime32.cmake: crtdll.dll is the C runtime where GCC links msvcrt.dll's. */
INPUT(-lcrtdll)
PROVIDE(_read = __read);
PROVIDE(_close = __close);
]])
    set(tarvale_runtime_files crt2.o crtbegin.o crtend.o libgcc.a libgcc_eh.a libstdc++.a libsupc++.a
        libmingw32.a libmingwex.a libmoldname.a libcrtdll.a rand_s.o)
    list(TRANSFORM tarvale_runtime_files PREPEND ${TARVALE_RUNTIME_DIR}/)
    add_custom_command(OUTPUT ${TARVALE_RUNTIME_DIR}/stamp
        BYPRODUCTS ${tarvale_runtime_files}
        COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/i486-runtime.sh ${TARVALE_RUNTIME_DIR} ${TARVALE_GCC_SOURCE}
                ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER}
        DEPENDS ${CMAKE_SOURCE_DIR}/cmake/i486-runtime.sh
        COMMENT "Rebuilding the C and C++ runtime for the i486 (a few minutes, once per build folder)"
        USES_TERMINAL
        VERBATIM)
    add_custom_target(tarvale_runtime_i486 DEPENDS ${TARVALE_RUNTIME_DIR}/stamp)
endif()

# Links target, a 32-bit program, with crtdll.dll as its C runtime and the runtime rebuilt for the
# i486; a 64-bit one is left as it is.
function(tarvale_link_runtime target)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        add_dependencies(${target} tarvale_runtime_i486)
        target_link_options(${target} PRIVATE -B${TARVALE_RUNTIME_DIR}/)
        target_link_directories(${target} PRIVATE ${TARVALE_CRTDLL_DIR} ${TARVALE_RUNTIME_DIR})
        target_link_libraries(${target} PRIVATE ${TARVALE_RUNTIME_DIR}/rand_s.o)
        target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/crtdll-onexit.c)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TARVALE_CRTDLL_DIR}/libmsvcrt.a
            ${TARVALE_RUNTIME_DIR}/stamp)
    endif()
endfunction()
