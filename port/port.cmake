# The port layer: the drivers and the Inp32/Out32 binding, without Qt, so that the helper, the
# emulator test and the Windows cross-build can use them. Needs the velmora_warnings target.
set(PORT_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(port STATIC
    ${PORT_DIR}/inpout.cpp ${PORT_DIR}/inpout.h
    ${PORT_DIR}/port_driver.h
    ${PORT_DIR}/port_error.cpp ${PORT_DIR}/port_error.h
    ${PORT_DIR}/simulated_port.cpp ${PORT_DIR}/simulated_port.h
)
if(WIN32)
    target_sources(port PRIVATE
        ${PORT_DIR}/windows_port.cpp ${PORT_DIR}/windows_port.h)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_sources(port PRIVATE
        ${PORT_DIR}/direct_port.cpp ${PORT_DIR}/direct_port.h
        ${PORT_DIR}/helper_port.cpp ${PORT_DIR}/helper_port.h
        ${PORT_DIR}/portio/portio_protocol.h
        ${PORT_DIR}/ppdev_port.cpp ${PORT_DIR}/ppdev_port.h
        ${PORT_DIR}/routing_port.cpp ${PORT_DIR}/routing_port.h)
    # What the helper serves, shared by the helper and the program, which must tell the same.
    add_library(portio_policy STATIC
        ${PORT_DIR}/portio/portio_policy.cpp ${PORT_DIR}/portio/portio_policy.h)
    target_include_directories(portio_policy PUBLIC ${PORT_DIR}/portio)
    include(GNUInstallDirs)
    target_compile_definitions(portio_policy PUBLIC
        VELMORA_PORTIO_CONF="${CMAKE_INSTALL_FULL_SYSCONFDIR}/velmora/portio.conf")
    target_link_libraries(portio_policy PRIVATE velmora_warnings)
    target_link_libraries(port PUBLIC portio_policy)
    include(GNUInstallDirs)
    # Where the install puts the helper; the program looks there first.
    set(VELMORA_PORTIO_INSTALLED_PATH "${CMAKE_INSTALL_FULL_LIBEXECDIR}/velmora/velmora-portio"
        CACHE INTERNAL "Installed path of the port helper")
    # The build tree's own helper, for a program run from the build tree (PROJECT_BINARY_DIR is
    # unset in the Windows cross-build, which has no helper).
    set_property(SOURCE ${PORT_DIR}/helper_port.cpp APPEND PROPERTY COMPILE_DEFINITIONS
        VELMORA_PORTIO_INSTALLED_PATH="${VELMORA_PORTIO_INSTALLED_PATH}"
        VELMORA_BUILD_APP_DIR="${PROJECT_BINARY_DIR}/app")
endif()
target_include_directories(port PUBLIC ${PORT_DIR})
target_link_libraries(port PRIVATE velmora_warnings)
