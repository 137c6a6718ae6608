# The release: what `cmake --install` puts into a folder, and the ZIP that CPack makes of both Windows
# builds. Included at the end of the top CMakeLists.txt, once the program and the help files exist.
#
# Installed, all into one flat folder:
#   tarvale.exe     the 64-bit program (from an x86_64 build)
#   tarvale32.exe   the 32-bit program (from an i686 build)
#   tarvale.hlp     the help file; both programs look for it beside themselves
#   winhelp.hlp     help on help, for help engines without one of their own
#   help/           the same help as HTML pages, for systems without the help engine
#   README.md, LICENSE, docs/screenshot.png
# Test programs, benchmarks and the scripts' helpers are not installed.
#
# One build makes one of the two programs, so the ZIP is made from an x86_64 and an i686 build
# together: CPack installs each build named in TARVALE_PACKAGE_BUILDS into the same folder and zips
# it. scripts/package builds both and runs CPack; `cpack` in either build folder does the same once
# both are built.

# The version is the one of the program's version resource, so that the package and the program
# cannot disagree.
file(STRINGS ${CMAKE_SOURCE_DIR}/res/tarvale.rc tarvale_version_line REGEX "^PRODUCTVERSION")
if(NOT tarvale_version_line MATCHES "([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+)")
    message(FATAL_ERROR "res/tarvale.rc has no PRODUCTVERSION line")
endif()
set(TARVALE_VERSION ${CMAKE_MATCH_1}.${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_3 EQUAL 0 OR NOT CMAKE_MATCH_4 EQUAL 0)
    string(APPEND TARVALE_VERSION .${CMAKE_MATCH_3})
endif()
if(NOT CMAKE_MATCH_4 EQUAL 0)
    string(APPEND TARVALE_VERSION .${CMAKE_MATCH_4})
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/tarvale.rc)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TARVALE_INSTALLED_EXE tarvale.exe)
else()
    set(TARVALE_INSTALLED_EXE tarvale32.exe)
endif()
install(PROGRAMS $<TARGET_FILE:tarvale> DESTINATION . RENAME ${TARVALE_INSTALLED_EXE})
# `cmake --install --strip`, and CPack, strip the program with this build's own strip: the static
# run-time libraries bring debugging sections that make up two thirds of the file.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARVALE_INSTALLED_EXE}\"
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
install(FILES ${TARVALE_HELP_FILE} DESTINATION .)
install(DIRECTORY ${TARVALE_HELP_PAGES} DESTINATION .)
if(DEFINED TARVALE_HELPONHELP_FILE)
    install(FILES ${TARVALE_HELPONHELP_FILE} DESTINATION .)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
# The README shows it.
install(FILES ${CMAKE_SOURCE_DIR}/docs/screenshot.png DESTINATION docs)

# scripts/build puts the two builds side by side, in <folder>/x86_64 and <folder>/i686; a build in
# a folder of another name packages itself alone unless told where the other one is.
get_filename_component(tarvale_build_name ${CMAKE_BINARY_DIR} NAME)
get_filename_component(tarvale_build_parent ${CMAKE_BINARY_DIR} DIRECTORY)
if(tarvale_build_name STREQUAL "x86_64" OR tarvale_build_name STREQUAL "i686")
    set(tarvale_package_builds ${tarvale_build_parent}/x86_64 ${tarvale_build_parent}/i686)
else()
    set(tarvale_package_builds ${CMAKE_BINARY_DIR})
endif()
set(TARVALE_PACKAGE_BUILDS "${tarvale_package_builds}" CACHE STRING
    "Build folders whose installation goes into the package (an x86_64 and an i686 build)")

set(CPACK_INSTALL_CMAKE_PROJECTS)
foreach(tarvale_package_build IN LISTS TARVALE_PACKAGE_BUILDS)
    list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${tarvale_package_build} Tarvale ALL /)
endforeach()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tarvale)
set(CPACK_PACKAGE_VENDOR "the Tarvale developers")
set(CPACK_PACKAGE_VERSION ${TARVALE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tarvale, a graphical disk-space explorer for Windows")
set(CPACK_PACKAGE_FILE_NAME Tarvale-${TARVALE_VERSION}-windows)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
