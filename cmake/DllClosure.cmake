# Fails, naming the importer and the DLL, when a program or library in FOLDER (the deploy folder,
# Qt's plugins in its subfolders included) imports a DLL that a Windows PC with only what the
# installer gives it would not have. Windows looks for a program's imports, and for those of the
# plugins it loads, in the program's own folder and then in its system folder: so every import
# must be a file at the top of FOLDER or one of Windows' own DLLs below. OBJDUMP is mingw-w64's.
cmake_minimum_required(VERSION 3.25)
set(windows_dlls
    advapi32.dll authz.dll cfgmgr32.dll comdlg32.dll d3d9.dll d3d11.dll dwmapi.dll dwrite.dll
    dxgi.dll gdi32.dll imm32.dll kernel32.dll mpr.dll msvcrt.dll netapi32.dll ole32.dll
    oleaut32.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll
    version.dll winmm.dll winspool.drv ws2_32.dll wtsapi32.dll)
# Windows' API sets (api-ms-win-core-synch-l1-2-0.dll, ...) are names the loader itself resolves.
set(windows_api_set "^api-ms-win-")

file(GLOB shipped RELATIVE ${FOLDER} ${FOLDER}/*.dll)
string(TOLOWER "${shipped}" shipped)
file(GLOB_RECURSE binaries RELATIVE ${FOLDER} ${FOLDER}/*.exe ${FOLDER}/*.com ${FOLDER}/*.dll)
list(SORT binaries)
set(missing "")
foreach(binary ${binaries})
    execute_process(COMMAND ${OBJDUMP} -p ${FOLDER}/${binary} OUTPUT_VARIABLE dump
                    RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} could not read ${binary}: ${error}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    foreach(import ${imports})
        string(REGEX REPLACE "^DLL Name: " "" dll "${import}")
        string(TOLOWER "${dll}" name)
        if(NOT name IN_LIST shipped AND NOT name IN_LIST windows_dlls
           AND NOT name MATCHES "${windows_api_set}")
            string(APPEND missing "\n  ${binary} imports ${dll}")
        endif()
    endforeach()
endforeach()
list(LENGTH binaries count)
if(count EQUAL 0)
    message(FATAL_ERROR "${FOLDER}: no program or library to check: is it the deployed folder?")
endif()
if(missing)
    message(FATAL_ERROR "${FOLDER}: DLLs that are neither in the folder nor Windows' own, so the "
                        "installed program would not start:${missing}")
endif()
message(STATUS "${count} programs and libraries in ${FOLDER}: every DLL they import is there or "
               "Windows' own")
