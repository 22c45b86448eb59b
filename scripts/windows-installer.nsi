; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of Veltrane (NSIS 3, Unicode, 64-bit stub). scripts/package-windows.sh
; builds it; it passes VERSION, STAGE (the folder holding what gets installed) and OUTFILE.
;
; Installs into Program Files\Veltrane: veltrane.exe, LICENSE.txt, uninstall.exe and doc\ (the
; user guide with its pictures); adds a Start-menu shortcut and the entry of "Apps & features".
; Both the installer and the uninstaller run silently with /S.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrane"
; What the program's context-menu registration writes under HKEY_CLASSES_ROOT.
!define CLASS_KEY "MPO (Multi Picture Object)"

; Deletes ROOT\Software\Classes\.mpo when its default value names our class and no subkey
; hangs below it.
!macro RemoveOurExtensionKey ROOT
  ReadRegStr $0 ${ROOT} "Software\Classes\.mpo" ""
  StrCmp $0 "${CLASS_KEY}" 0 +2
    DeleteRegKey /ifnosubkeys ${ROOT} "Software\Classes\.mpo"
!macroend

!include "MUI2.nsh"

Name "Veltrane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Veltrane"
RequestExecutionLevel admin
ShowInstDetails show
BrandingText "Veltrane ${VERSION}"

; The licence (GNU GPL version 3 or later, LICENSE with CR LF line ends) comes first; going on
; means accepting it.
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Veltrane"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/veltrane.exe"
  File "${STAGE}/LICENSE.txt"
  SetOutPath "$INSTDIR\doc"
  File "${STAGE}/doc/*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Veltrane.lnk" "$INSTDIR\veltrane.exe" "" "$INSTDIR\veltrane.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Veltrane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Veltrane developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\veltrane.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ; The program removes its own context-menu entry when there is one; ".mpo" then names our
  ; class only if we created it, and goes too when nothing else hangs below it.
  ; HKEY_CLASSES_ROOT shows the machine's and the user's classes merged: both are looked at.
  ExecWait '"$INSTDIR\veltrane.exe" --unregister-context-menu'
  !insertmacro RemoveOurExtensionKey HKLM
  !insertmacro RemoveOurExtensionKey HKCU

  Delete "$SMPROGRAMS\Veltrane.lnk"
  Delete "$INSTDIR\veltrane.exe"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\doc"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
