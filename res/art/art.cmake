# The program's pictures: the text sources in res/art become the .ico, .cur and .bmp files that the
# resource script names, in ${TARVALE_ART_DIR}. Included from the top-level CMakeLists.txt.

# CMAKE_CXX_COMPILER makes Windows programs; the converter runs on the build host, so it is built
# with the host's compiler by a custom command rather than add_executable.
find_program(TARVALE_HOST_CXX NAMES g++ c++ REQUIRED)

set(TARVALE_ART_DIR ${CMAKE_BINARY_DIR}/art)
set(TARVALE_PIXMAP ${CMAKE_BINARY_DIR}/tools/pixmap)
set(tarvale_pixmap_flags -std=c++17 -O2 -Wall -Wextra)
if(TARVALE_WERROR)
    list(APPEND tarvale_pixmap_flags -Werror)
endif()

add_custom_command(OUTPUT ${TARVALE_PIXMAP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools
    COMMAND ${TARVALE_HOST_CXX} ${tarvale_pixmap_flags} -o ${TARVALE_PIXMAP}
            ${CMAKE_SOURCE_DIR}/tools/pixmap.cpp
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/pixmap.cpp
    COMMENT "Building the host tool pixmap"
    VERBATIM)

# Source in res/art, then the file it becomes.
set(tarvale_art_pairs
    icon.txt tarvale.ico
    cursor1.txt cursor1.cur
    cursor2.txt cursor2.cur
    cursor3.txt cursor3.cur
    cursor4.txt cursor4.cur
    cursor5.txt cursor5.cur
    toolbar.txt toolbar.bmp)

set(TARVALE_ART_FILES)
list(LENGTH tarvale_art_pairs tarvale_art_count)
math(EXPR tarvale_art_last "${tarvale_art_count} - 1")
foreach(tarvale_art_index RANGE 0 ${tarvale_art_last} 2)
    math(EXPR tarvale_art_next "${tarvale_art_index} + 1")
    list(GET tarvale_art_pairs ${tarvale_art_index} tarvale_art_source)
    list(GET tarvale_art_pairs ${tarvale_art_next} tarvale_art_output)
    add_custom_command(OUTPUT ${TARVALE_ART_DIR}/${tarvale_art_output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVALE_ART_DIR}
        COMMAND ${TARVALE_PIXMAP} ${CMAKE_SOURCE_DIR}/res/art/${tarvale_art_source}
                ${TARVALE_ART_DIR}/${tarvale_art_output}
        DEPENDS ${TARVALE_PIXMAP} ${CMAKE_SOURCE_DIR}/res/art/${tarvale_art_source}
        COMMENT "Drawing ${tarvale_art_output}"
        VERBATIM)
    list(APPEND TARVALE_ART_FILES ${TARVALE_ART_DIR}/${tarvale_art_output})
endforeach()

add_custom_target(tarvale_art DEPENDS ${TARVALE_ART_FILES})

# windres reads the pictures named in the script; the build must know to run it again when one
# changes.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/res/tarvale.rc APPEND PROPERTY OBJECT_DEPENDS ${TARVALE_ART_FILES})
