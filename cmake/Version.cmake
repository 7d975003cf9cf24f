# The version, from project(VERSION) alone, as a header in the build tree: velmora_version.h,
# given to whatever links velmora_version (the start-up, the command line, the Windows resources).

# A part project(VERSION) leaves out is 0, as the Windows version block needs all four.
foreach(part MAJOR MINOR PATCH TWEAK)
    set(VELMORA_VERSION_${part} "${PROJECT_VERSION_${part}}")
    if(VELMORA_VERSION_${part} STREQUAL "")
        set(VELMORA_VERSION_${part} 0)
    endif()
endforeach()

# Shown to the user as major.minor with the minor in two digits: 1.0 is "1.00".
set(minor "${VELMORA_VERSION_MINOR}")
if(minor LESS 10)
    set(minor "0${minor}")
endif()
set(VELMORA_VERSION_SHOWN "${VELMORA_VERSION_MAJOR}.${minor}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora_version.h.in
               ${PROJECT_BINARY_DIR}/version/velmora_version.h @ONLY)
add_library(velmora_version INTERFACE)
target_include_directories(velmora_version INTERFACE ${PROJECT_BINARY_DIR}/version)

# The files that name the version in their own words (a release history, the manual's title)
# must name this one: a version raised in project() alone stops the configuration here.
foreach(check
        "app/dist/changelog|^velmora \\(([^)]+)\\)"
        "app/dist/org.velmora.Velmora.metainfo.xml|<release version=\"([^\"]+)\""
        "app/man/velmora.1|^\\.TH .*\"Velmora ([^\"]+)\"")
    string(REPLACE "|" ";" check "${check}")
    list(GET check 0 file)
    list(GET check 1 pattern)
    file(STRINGS ${PROJECT_SOURCE_DIR}/${file} lines REGEX "${pattern}" LIMIT_COUNT 1)
    string(REGEX MATCH "${pattern}" found "${lines}")
    if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR "${file} names version '${CMAKE_MATCH_1}' first, but project() says "
                            "${PROJECT_VERSION}: bring that file up to date.")
    endif()
endforeach()
