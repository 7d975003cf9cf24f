; Velmora's installer for 64-bit Windows, in Spanish. Built by the target `installer` of the
; Windows build (cmake/WindowsDeploy.cmake), which passes VERSION (and its VERSION_MAJOR and
; VERSION_MINOR), DEPLOY (the folder to install),
; UNINSTALL_LIST (the uninstaller's Delete lines for that folder), ICON and OUTFILE.
; A 64-bit installer for a 64-bit program: a 32-bit Windows refuses to start it at all.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"

!define APP "Velmora"
!define PUBLISHER "Velmora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${APP} ${VERSION}"

; The installer file's own version block.
VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1034 "ProductName" "${APP}"
VIAddVersionKey /LANG=1034 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1034 "FileDescription" "Instalador de Velmora"
VIAddVersionKey /LANG=1034 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1034 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1034 "LegalCopyright" "Copyright 2026 Velmora"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Se instalará Velmora ${VERSION}, la prueba manual del puerto paralelo del PC.$\r$\n$\r$\nVelmora no trae la biblioteca de acceso a los puertos, inpoutx64.dll: consígala usted y cópiela junto a velmora.exe, en la carpeta de instalación (o en System32). Sin ella, Velmora trabaja con un puerto simulado. LEEME.txt lo explica."
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Abrir Velmora"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\LEEME.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Leer LEEME.txt (la biblioteca inpoutx64.dll, que añade usted)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${DEPLOY}\LICENCIAS.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

Function .onInit
    SetRegView 64
    ; Installed for everyone, as the Programs and Features entry is.
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Velmora" SectionMain
    SectionIn RO
    SetOutPath "$INSTDIR"
    File /r "${DEPLOY}\*.*"
    WriteUninstaller "$INSTDIR\desinstalar.exe"

    ; The shortcut starts Velmora in its install folder (the output path above), where it finds
    ; its help text and the port library; its icon is the plug, velmora.exe's own.
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0 \
        SW_SHOWNORMAL "" "Prueba manual del puerto paralelo"

    ; Programs and Features.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\desinstalar.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\desinstalar.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${APP}.lnk"
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\desinstalar.exe"
    ; Files the user added (the port library, a help text of their own) stay, and so does the
    ; folder then.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
