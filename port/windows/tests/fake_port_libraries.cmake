# Stand-ins for the port library, to see the binding load a library by name, find its entries
# and ask whether its driver is open: velmora_fake_port<suffix>.dll, built with the definitions
# given after the suffix. With them, windows_port_test, the binding's console test. Included by
# the program's Windows build.
function(add_fake_port_library suffix)
    add_library(fake_port_library${suffix} SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_port_library.cpp)
    set_target_properties(fake_port_library${suffix} PROPERTIES PREFIX "" AUTOMOC OFF
                          OUTPUT_NAME "velmora_fake_port${suffix}")
    target_compile_definitions(fake_port_library${suffix} PRIVATE ${ARGN})
    target_link_libraries(fake_port_library${suffix} PRIVATE velmora_warnings)
    target_link_options(fake_port_library${suffix} PRIVATE -static)
endfunction()
add_fake_port_library("")
add_fake_port_library(_without_out32 WITHOUT_OUT32)
add_fake_port_library(_driver_open DRIVER_OPEN=1)
add_fake_port_library(_driver_closed DRIVER_OPEN=0)
# For the program's own test under wine: installed as inpoutx64.dll beside velmora.exe, it
# appends each Out32 to velmora-port-writes.txt in the current folder.
add_fake_port_library(_recording DRIVER_OPEN=1 RECORD_WRITES)
# For the command line's test: each velmora.com is a process of its own, so the bytes are kept
# in a file (velmora-port-bytes.bin beside it) for the next to read.
add_fake_port_library(_keeping DRIVER_OPEN=1 KEEP_BYTES)

add_executable(windows_port_test ${CMAKE_CURRENT_LIST_DIR}/windows_port_test.cpp)
target_link_libraries(windows_port_test PRIVATE port_windows velmora_warnings)
set_target_properties(windows_port_test PROPERTIES AUTOMOC OFF)
# Runs on a bare Windows (or wine) without the compiler's run-time libraries beside it.
target_link_options(windows_port_test PRIVATE -static)
