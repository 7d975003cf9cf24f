# Writes OUTPUT, the uninstaller's list for NSIS: a Delete for every file under FOLDER (the
# deploy folder the installer copies whole), then an RMDir for each of its folders, deepest
# first. Only what the installer put there goes: a port library the user added stays.
file(GLOB_RECURSE files RELATIVE ${FOLDER} ${FOLDER}/*)
file(GLOB_RECURSE folders LIST_DIRECTORIES true RELATIVE ${FOLDER} ${FOLDER}/*)
list(REMOVE_ITEM folders ${files})
list(SORT folders)
list(REVERSE folders)
set(text "")
foreach(file ${files})
    string(REPLACE "/" "\\" file "${file}")
    string(APPEND text "Delete \"$INSTDIR\\${file}\"\n")
endforeach()
foreach(folder ${folders})
    string(REPLACE "/" "\\" folder "${folder}")
    string(APPEND text "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
