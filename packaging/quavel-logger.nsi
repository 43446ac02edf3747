; The Windows installer, built on Debian with Debian's NSIS by
; scripts/package.sh from the zip's own files. Per user, without
; administrator rights; upgrades in place; /S, /D= for administrators.
;   makensis -DVERSION=1.00 -DVERSION_NUMBERS=1.0.0.0 -DSTAGE=<the zip's folder>
;            -DASSETS=<assets/> -DPUBLISHER=<name> -DCOPYRIGHT=<text> -DHOMEPAGE=<address>
;            -DOUTFILE=<setup.exe>
;            packaging/quavel-logger.nsi

Unicode true
; The program is 64-bit only; so is the installer, and wine64 alone runs it.
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
XPStyle on
SetCompressor /SOLID /FINAL lzma
SetCompressorDictSize 16

!include MUI2.nsh
!include LogicLib.nsh

!define NAME "Quavel Logger"
!define EXE "Quavel Logger.exe"
!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuavelLogger"
!define SHORTCUT "$SMPROGRAMS\${NAME}.lnk"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${NAME} ${VERSION}"
; Where Windows puts programs installed per user; an upgrade goes where the
; last install went.
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${KEY}" InstallLocation

!define MUI_ICON "${ASSETS}/quavel-logger.ico"
!define MUI_UNICON "${ASSETS}/quavel-logger.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${ASSETS}/installer-side.bmp"
!define MUI_WELCOMEPAGE_TEXT "Setup will install $(^NameDA) for you alone: it needs no administrator rights.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductName "${NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileDescription "${NAME} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} LegalCopyright "${COPYRIGHT}"

; What is installed, named once: the uninstaller removes the same list.
!macro EACH_FILE DO
    !insertmacro ${DO} "${EXE}"
    !insertmacro ${DO} README.txt
    !insertmacro ${DO} LICENSE.txt
    !insertmacro ${DO} Qt-LGPL-3.txt
    !insertmacro ${DO} Qt-GPL-3.txt
!macroend
!macro INSTALL_FILE FILE
    File "${STAGE}/${FILE}"
!macroend
!macro REMOVE_FILE FILE
    Delete "$INSTDIR\${FILE}"
!macroend

; Windows will not open a running program's file for writing: the user is
; asked to close it rather than left with half an install (silent: exit 2).
!macro WAIT_UNTIL_CLOSED UN
Function ${UN}WaitUntilClosed
    IfFileExists "$INSTDIR\${EXE}" 0 done
retry:
    ClearErrors
    FileOpen $0 "$INSTDIR\${EXE}" a
    IfErrors 0 closed
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${NAME} is running. Close it, then choose Retry." \
        /SD IDCANCEL IDRETRY retry
    Abort
closed:
    FileClose $0
done:
FunctionEnd
!macroend
!insertmacro WAIT_UNTIL_CLOSED ""
!insertmacro WAIT_UNTIL_CLOSED "un."

Function .onInit
    SetShellVarContext current
FunctionEnd

Function un.onInit
    SetShellVarContext current
FunctionEnd

; The installed folder is the upgrade's: no choice to offer.
Function SkipFolderOnUpgrade
    ReadRegStr $0 HKCU "${KEY}" InstallLocation
    ${If} ${FileExists} "$0\Uninstall.exe"
        Abort
    ${EndIf}
FunctionEnd

Section "-${NAME}" PROGRAM
    ; Another folder (/D=) would leave the installed copy behind, out of
    ; the list of installed programs.
    ReadRegStr $0 HKCU "${KEY}" InstallLocation
    ${If} ${FileExists} "$0\Uninstall.exe"
    ${AndIf} $0 != $INSTDIR
        MessageBox MB_OK|MB_ICONSTOP "${NAME} is installed in $0. Uninstall it first to install it elsewhere." /SD IDOK
        Abort
    ${EndIf}
    Call WaitUntilClosed
    SetOutPath "$INSTDIR"
    !insertmacro EACH_FILE INSTALL_FILE
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
    WriteRegStr HKCU "${KEY}" DisplayName "${NAME}"
    WriteRegStr HKCU "${KEY}" DisplayVersion "${VERSION}"
    WriteRegStr HKCU "${KEY}" Publisher "${PUBLISHER}"
    WriteRegStr HKCU "${KEY}" URLInfoAbout "${HOMEPAGE}"
    WriteRegStr HKCU "${KEY}" DisplayIcon "$INSTDIR\${EXE}"
    WriteRegStr HKCU "${KEY}" InstallLocation "$INSTDIR"
    WriteRegStr HKCU "${KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
    SectionGetSize ${PROGRAM} $0
    WriteRegDWORD HKCU "${KEY}" EstimatedSize $0
    WriteRegDWORD HKCU "${KEY}" NoModify 1
    WriteRegDWORD HKCU "${KEY}" NoRepair 1
SectionEnd

Section Uninstall
    Call un.WaitUntilClosed
    !insertmacro EACH_FILE REMOVE_FILE
    Delete "$INSTDIR\Uninstall.exe"
    ; The shortcut and entry are this copy's only if they name its folder.
    ReadRegStr $0 HKCU "${KEY}" InstallLocation
    ${If} $0 == $INSTDIR
        Delete "${SHORTCUT}"
        DeleteRegKey HKCU "${KEY}"
    ${EndIf}
    ; Only if empty: whatever else is in it is the user's.
    RMDir "$INSTDIR"
SectionEnd
