# The Windows build, cross-compiled with mingw-w64 against Qt built by tools/qt-mingw.sh. Its
# test programs run under wine from the build tree, through a wrapper that CTest uses as the
# emulator: a wine prefix of this build's own, made once at the first run, and Qt's DLLs and the
# compiler's run-time ones found where they lie (WINEPATH). The installed program is tested
# without that wrapper (e2e/velmora_wine_e2e.sh).
if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()

# The compiler's run-time DLLs the programs import, and their folders: libssp-0.dll is the stack
# protector that the hardening (-fstack-protector-strong) links.
set(VELMORA_MINGW_RUNTIME)
set(runtime_folders)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll libssp-0.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(file "${file}" REALPATH)
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "The MinGW run-time library ${dll} was not found")
    endif()
    list(APPEND VELMORA_MINGW_RUNTIME "${file}")
    get_filename_component(folder "${file}" DIRECTORY)
    list(APPEND runtime_folders "${folder}")
endforeach()
list(REMOVE_DUPLICATES runtime_folders)

find_program(VELMORA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(VELMORA_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(CMAKE_CROSSCOMPILING_EMULATOR)
    return()
elseif(NOT VELMORA_WINE OR NOT VELMORA_WINESERVER)
    message(STATUS "wine64 is not installed: the Windows tests can be built but not run")
    return()
endif()

set(wine_path)
foreach(folder "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" ${runtime_folders})
    string(REPLACE "/" "\\" folder "Z:${folder}")
    list(APPEND wine_path "${folder}")
endforeach()
list(JOIN wine_path ";" VELMORA_WINEPATH)
set(VELMORA_WINEPREFIX ${PROJECT_BINARY_DIR}/wine)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)
