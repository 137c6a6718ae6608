# The help file: ${CMAKE_BINARY_DIR}/tarvale.hlp, compiled from docs/help/*.md by the project's own help
# compiler, the same help as HTML pages in ${CMAKE_BINARY_DIR}/help, and their tests. Included from the top CMakeLists.txt after the tests are set up.
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
    ${CMAKE_CURRENT_LIST_DIR}/hlpfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/htmlpages.cpp)
add_custom_command(OUTPUT ${TARVALE_HLPC}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVALE_HOST_DIR}
    COMMAND ${TARVALE_HOST_CXX} ${TARVALE_HOST_FLAGS} -o ${TARVALE_HLPC} ${TARVALE_HLPC_SOURCES}
    DEPENDS ${TARVALE_HLPC_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/markup.h ${CMAKE_CURRENT_LIST_DIR}/hlpfile.h
            ${CMAKE_CURRENT_LIST_DIR}/htmlpages.h
    COMMENT "Building the help compiler for the build machine"
    VERBATIM)

# A help file ${CMAKE_BINARY_DIR}/<file> compiled from the .md files of docs/<folder> by the target
# <target>, or with --html the folder of pages ${CMAKE_BINARY_DIR}/<file>. README.md describes the
# markup; every other .md file is a topic. CONFIGURE_DEPENDS picks up added and removed topics.
function(tarvale_help_file target file folder)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/${folder}/*.md)
    list(FILTER sources EXCLUDE REGEX "/README\\.md$")
    set(output ${CMAKE_BINARY_DIR}/${file})
    set(options)
    if(ARGN STREQUAL "--html")
        set(options --html)
        set(output ${CMAKE_BINARY_DIR}/${file}/index.html)
    endif()
    add_custom_command(OUTPUT ${output}
        COMMAND ${TARVALE_HLPC} ${options} ${CMAKE_BINARY_DIR}/${file} ${sources}
        DEPENDS ${TARVALE_HLPC} ${sources}
        COMMENT "Compiling the help ${file}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

tarvale_help_file(tarvale_help tarvale.hlp help)
# Help on help: Windows has its own, Wine has none and looks for winhelp.hlp beside the program.
set(TARVALE_HELPONHELP_FILE ${CMAKE_BINARY_DIR}/winhelp.hlp)
tarvale_help_file(tarvale_helponhelp winhelp.hlp help-on-help)
# The same help as HTML pages, for the systems whose help engine cannot show the file, with a page
# of help on them in help/using.
set(TARVALE_HELP_PAGES ${CMAKE_BINARY_DIR}/help)
tarvale_help_file(tarvale_help_pages help help --html)
tarvale_help_file(tarvale_help_pages_using help/using using-help-pages --html)

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
    add_test(NAME help_pages
        COMMAND sh ${CMAKE_SOURCE_DIR}/tests/help/html-check.sh ${TARVALE_HELP_PAGES} ${CMAKE_SOURCE_DIR}/docs/help
                "1132=The Preferences dialog")
    add_test(NAME help_pages_using
        COMMAND sh ${CMAKE_SOURCE_DIR}/tests/help/html-check.sh ${TARVALE_HELP_PAGES}/using
                ${CMAKE_SOURCE_DIR}/docs/using-help-pages)
    add_test(NAME help_compiler_cases
        COMMAND sh ${CMAKE_SOURCE_DIR}/tests/help/compiler-cases.sh
                ${TARVALE_HLPC} ${TARVALE_HLPREAD} ${CMAKE_BINARY_DIR}/help-cases)
endif()
