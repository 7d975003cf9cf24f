# The Windows install: one folder with the program, its help text, the Qt libraries and plugins it
# loads, Qt's Spanish translation, the compiler's run-time libraries and the licences, as
# `cmake --install <build> --prefix <folder>` lays it out; and the target `installer`, which lays
# it out in <build>/deploy, checks that every DLL imported there is there or Windows' own
# (DllClosure.cmake), and makes Velmora-1.0.0.0-instalar.exe from it with NSIS. A further program
# needs only its name in VELMORA_WINDOWS_PROGRAMS: the check, the installer and its uninstaller
# take the whole folder.
set(VELMORA_WINDOWS_PROGRAMS velmora velmora_console)
set(VELMORA_DEPLOY_DIR ${PROJECT_BINARY_DIR}/deploy)
set(VELMORA_INSTALLER ${PROJECT_BINARY_DIR}/Velmora-${PROJECT_VERSION}-instalar.exe)
set(qt_plugins ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})

install(TARGETS ${VELMORA_WINDOWS_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/information_window/VelmoraInfo.txt DESTINATION .)
foreach(module Core Gui Widgets PrintSupport)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
endforeach()
install(FILES ${VELMORA_MINGW_RUNTIME} DESTINATION .)
# Qt looks for its plugins in folders beside the program, and for the rest where qt.conf says.
install(FILES ${qt_plugins}/platforms/qwindows.dll DESTINATION platforms)
install(DIRECTORY ${qt_plugins}/styles ${qt_plugins}/imageformats DESTINATION .
        FILES_MATCHING PATTERN "*.dll")
install(FILES ${PROJECT_SOURCE_DIR}/app/dist/windows/qt.conf DESTINATION .)
find_file(VELMORA_QTBASE_ES qtbase_es.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT VELMORA_QTBASE_ES)
    message(FATAL_ERROR "qtbase_es.qm not found: sudo apt-get install qt6-translations-l10n")
endif()
install(FILES ${VELMORA_QTBASE_ES} DESTINATION translations)

# The licences, with Windows line ends: Velmora's, and those of what ships beside it. The Qt
# built by tools/qt-mingw.sh records the Debian source package it was built from.
set(qt_source "Qt ${Qt6_VERSION}")
if(EXISTS ${QT6_INSTALL_PREFIX}/velmora-build-key)
    file(STRINGS ${QT6_INSTALL_PREFIX}/velmora-build-key qt_source LIMIT_COUNT 1)
endif()
string(REGEX REPLACE "^qt6-base " "" VELMORA_QT_DEBIAN_VERSION "${qt_source}")
set(licence_dir ${PROJECT_BINARY_DIR}/licencias)
function(velmora_windows_text source target)
    file(READ ${source} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${target} "${text}")
endfunction()
configure_file(${PROJECT_SOURCE_DIR}/app/dist/windows/LICENCIAS.txt.in
               ${PROJECT_BINARY_DIR}/LICENCIAS.lf.txt @ONLY)
velmora_windows_text(${PROJECT_BINARY_DIR}/LICENCIAS.lf.txt ${PROJECT_BINARY_DIR}/LICENCIAS.txt)
velmora_windows_text(${PROJECT_SOURCE_DIR}/app/dist/windows/LEEME.txt ${PROJECT_BINARY_DIR}/LEEME.txt)
velmora_windows_text(/usr/share/common-licenses/LGPL-3 ${licence_dir}/Qt-LGPL-3.0.txt)
velmora_windows_text(/usr/share/common-licenses/GPL-3 ${licence_dir}/GPL-3.0.txt)
velmora_windows_text(/usr/share/doc/gcc-mingw-w64-base/copyright
                     ${licence_dir}/MinGW-GCC-runtime.txt)
velmora_windows_text(/usr/share/doc/mingw-w64-common/copyright
                     ${licence_dir}/MinGW-w64-winpthreads.txt)
install(FILES ${PROJECT_BINARY_DIR}/LICENCIAS.txt ${PROJECT_BINARY_DIR}/LEEME.txt DESTINATION .)
install(DIRECTORY ${licence_dir} DESTINATION .)

find_program(VELMORA_MAKENSIS makensis NO_CMAKE_FIND_ROOT_PATH)
if(NOT VELMORA_MAKENSIS)
    message(STATUS "makensis is not installed (Debian's nsis): no Windows installer")
    return()
endif()
add_custom_target(installer
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELMORA_DEPLOY_DIR}
    COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${VELMORA_DEPLOY_DIR}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${VELMORA_DEPLOY_DIR} -DOBJDUMP=${CMAKE_OBJDUMP}
            -P ${PROJECT_SOURCE_DIR}/cmake/DllClosure.cmake
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${VELMORA_DEPLOY_DIR}
            -DOUTPUT=${PROJECT_BINARY_DIR}/uninstall-files.nsh
            -P ${PROJECT_SOURCE_DIR}/cmake/NsisUninstallList.cmake
    COMMAND ${VELMORA_MAKENSIS} -V2 -INPUTCHARSET UTF8
            -DVERSION=${PROJECT_VERSION} -DVERSION_MAJOR=${VELMORA_VERSION_MAJOR}
            -DVERSION_MINOR=${VELMORA_VERSION_MINOR} -DDEPLOY=${VELMORA_DEPLOY_DIR}
            -DUNINSTALL_LIST=${PROJECT_BINARY_DIR}/uninstall-files.nsh
            -DOUTFILE=${VELMORA_INSTALLER}
            -DICON=${PROJECT_SOURCE_DIR}/port_test_window/art/plug.ico
            ${PROJECT_SOURCE_DIR}/app/dist/windows/velmora.nsi
    DEPENDS ${VELMORA_WINDOWS_PROGRAMS}
    BYPRODUCTS ${VELMORA_INSTALLER}
    COMMENT "Windows installer: ${VELMORA_INSTALLER}"
    VERBATIM)
