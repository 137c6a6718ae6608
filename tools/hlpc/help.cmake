# The help file: ${CMAKE_BINARY_DIR}/tarvale.hlp, compiled from docs/help/*.md by the project's own help
# compiler, and its tests. Included from the top CMakeLists.txt after the tests are set up.
#
# The compiler and the reader run on the build machine while CMAKE_CXX_COMPILER makes Windows programs,
# so they are built by custom commands with the build machine's compiler.

find_program(TARVALE_HOST_CXX NAMES g++ c++ REQUIRED)

set(TARVALE_HOST_FLAGS -std=c++17 -O2 -Wall -Wextra)
if(TARVALE_WERROR)
    list(APPEND TARVALE_HOST_FLAGS -Werror)
endif()
set(TARVALE_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(TARVALE_HLPC ${TARVALE_HOST_DIR}/hlpc)
set(TARVALE_HELP_FILE ${CMAKE_BINARY_DIR}/tarvale.hlp)

set(TARVALE_HLPC_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/markup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hlpfile.cpp)
add_custom_command(OUTPUT ${TARVALE_HLPC}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVALE_HOST_DIR}
    COMMAND ${TARVALE_HOST_CXX} ${TARVALE_HOST_FLAGS} -o ${TARVALE_HLPC} ${TARVALE_HLPC_SOURCES}
    DEPENDS ${TARVALE_HLPC_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/markup.h ${CMAKE_CURRENT_LIST_DIR}/hlpfile.h
    COMMENT "Building the help compiler for the build machine"
    VERBATIM)

# A help file ${CMAKE_BINARY_DIR}/<file> compiled from the .md files of docs/<folder> by the target
# <target>. README.md describes the markup; every other .md file is a topic. CONFIGURE_DEPENDS picks up
# added and removed topics.
function(tarvale_help_file target file folder)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/${folder}/*.md)
    list(FILTER sources EXCLUDE REGEX "/README\\.md$")
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${file}
        COMMAND ${TARVALE_HLPC} ${CMAKE_BINARY_DIR}/${file} ${sources}
        DEPENDS ${TARVALE_HLPC} ${sources}
        COMMENT "Compiling the help file ${file}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${CMAKE_BINARY_DIR}/${file})
endfunction()

tarvale_help_file(tarvale_help tarvale.hlp help)
# Help on help: Windows has its own, Wine has none and looks for winhelp.hlp beside the program.
set(TARVALE_HELPONHELP_FILE ${CMAKE_BINARY_DIR}/winhelp.hlp)
tarvale_help_file(tarvale_helponhelp winhelp.hlp help-on-help)

if(TARVALE_TESTS)
    set(TARVALE_HLPREAD ${TARVALE_HOST_DIR}/hlpread)
    add_custom_command(OUTPUT ${TARVALE_HLPREAD}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVALE_HOST_DIR}
        COMMAND ${TARVALE_HOST_CXX} ${TARVALE_HOST_FLAGS} -o ${TARVALE_HLPREAD}
                ${CMAKE_SOURCE_DIR}/tests/help/hlpread.cpp
        DEPENDS ${CMAKE_SOURCE_DIR}/tests/help/hlpread.cpp
        COMMENT "Building the help file reader for the build machine"
        VERBATIM)
    add_custom_target(tarvale_help_reader ALL DEPENDS ${TARVALE_HLPREAD})

    # Both run natively: they are plain commands, not targets, so no emulator is put in front of them.
    add_test(NAME help_file_reader
        COMMAND ${TARVALE_HLPREAD} ${TARVALE_HELP_FILE}
                --title "Tarvale Help" --context "1132=The Preferences dialog" --context "1100=Contents")
    add_test(NAME help_on_help_reader
        COMMAND ${TARVALE_HLPREAD} ${TARVALE_HELPONHELP_FILE} --title "How to Use Help" --context "1=How to use help")
    add_test(NAME help_compiler_cases
        COMMAND sh ${CMAKE_SOURCE_DIR}/tests/help/compiler-cases.sh
                ${TARVALE_HLPC} ${TARVALE_HLPREAD} ${CMAKE_BINARY_DIR}/help-cases)
endif()
