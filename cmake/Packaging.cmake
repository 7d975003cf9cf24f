# Installation layout and the Debian package; on Windows, one folder and its installer.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/WindowsDeploy.cmake)
    return()
endif()
include(GNUInstallDirs)

set(VELMORA_PORT_GROUP "velmora-port")

# Qt's libraries come from the system: the installed files need no search path of their own, and
# a file with capabilities must not have one.
set_target_properties(velmora PROPERTIES INSTALL_RPATH "")
install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/information_window/VelmoraInfo.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)

# The manual page of the command line, compressed as Debian installs manual pages.
if(NOT WIN32)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/velmora.1.gz
        COMMAND sh -c "gzip -9n < '${PROJECT_SOURCE_DIR}/app/man/velmora.1' > '${PROJECT_BINARY_DIR}/velmora.1.gz'"
        DEPENDS ${PROJECT_SOURCE_DIR}/app/man/velmora.1 VERBATIM)
    add_custom_target(velmora_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/velmora.1.gz)
    install(FILES ${PROJECT_BINARY_DIR}/velmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

configure_file(${PROJECT_SOURCE_DIR}/app/dist/org.velmora.Velmora.desktop.in
               ${PROJECT_BINARY_DIR}/org.velmora.Velmora.desktop @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/org.velmora.Velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/dist/org.velmora.Velmora.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/port_test_window/art/plug-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME velmora.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/port_test_window/art/plug.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME velmora.svg)
# Debian's copyright and changelog, compressed without a time stamp as the policy asks.
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/app/dist/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/app/dist/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
# What lintian warns about on purpose, each with its reason (see the README).
install(FILES ${PROJECT_SOURCE_DIR}/app/dist/velmora.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmora)

# The raw port helper is the one file holding CAP_SYS_RAWIO, runnable only by its group.
if(TARGET velmora-portio)
    set(VELMORA_HELPER "${CMAKE_INSTALL_FULL_LIBEXECDIR}/velmora/velmora-portio")
    set_target_properties(velmora-portio PROPERTIES INSTALL_RPATH "")
    install(TARGETS velmora-portio RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmora
            PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
    configure_file(${PROJECT_SOURCE_DIR}/app/dist/grant-port-access.sh.in
                   ${PROJECT_BINARY_DIR}/grant-port-access.sh @ONLY)
    # A real install of the system grants the helper its group and capability at once (see the
    # script for when); the package does the same from its postinst.
    install(CODE "set(VELMORA_GRANT_SCRIPT \"${PROJECT_BINARY_DIR}/grant-port-access.sh\")
                  set(VELMORA_CONFIGURED_PREFIX \"${CMAKE_INSTALL_PREFIX}\")")
    install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/GrantPortAccess.cmake)
    # The blocks an administrator adds to what the helper serves; shipped with none active. For
    # the prefix /usr this is /etc/velmora/portio.conf, a conffile of the package.
    set(VELMORA_PORTIO_CONF "${CMAKE_INSTALL_FULL_SYSCONFDIR}/velmora/portio.conf")
    install(FILES ${PROJECT_SOURCE_DIR}/app/dist/portio.conf
            DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/velmora)
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velmora")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora <dev@velmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prueba manual del puerto paralelo del PC")
set(CPACK_PACKAGE_DESCRIPTION "Lee y escribe a mano el puerto paralelo del PC, en hexadecimal o en decimal,\ny muestra el valor y el registro de datos de 378h en indicadores bajo las\npatillas 2 a 9.")
# Paths are built into the program and the desktop entry: package a build configured for /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcups2 is opened at run time, so the package names it itself.
# qt6-translations-l10n gives Qt's own buttons and menus in Spanish.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-liberation, libcap2-bin, libcups2, passwd, qt6-translations-l10n")
if(TARGET velmora-portio)
    configure_file(${PROJECT_SOURCE_DIR}/app/dist/preinst.in ${PROJECT_BINARY_DIR}/deb/preinst @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/app/dist/postinst.in ${PROJECT_BINARY_DIR}/deb/postinst @ONLY)
    # No postrm: the system group stays on purge, since files outside the package may still
    # belong to it, and a group number given out again would hand them to whoever got it next.
    file(WRITE ${PROJECT_BINARY_DIR}/deb/conffiles "${VELMORA_PORTIO_CONF}\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        "${PROJECT_BINARY_DIR}/deb/preinst;${PROJECT_BINARY_DIR}/deb/postinst;${PROJECT_BINARY_DIR}/deb/conffiles")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
