; The Vell Writer installer, built by makensis from the Windows build (CMakeLists.txt beside
; this file), which defines VERSION, PROGRAM (the built VellWriter.exe), PICTURE (the About
; box's picture), PICTURE_NAME (its file name) and OUTPUT (the installer file).
;
; It installs for the person who runs it, into their own programs folder: no administrator
; rights are asked for, and they may put their transfer program Vell_par.exe beside
; VellWriter.exe without them. It never installs a Vell_par.exe. The uninstaller removes the
; files, the Start-menu entry and the registration it made, and nothing else: the settings
; (HKCU\Software\VellWriter) stay, and so does a file the person put in the folder, with the
; folder around it.

Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define NAME "Vell Writer"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VellWriter"

Name "${NAME} ${VERSION}"
BrandingText "${NAME} ${VERSION}"
OutFile "${OUTPUT}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
; A second install goes where the first one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" ""

!include "MUI2.nsh"

!define MUI_ICON "${PICTURE}"
!define MUI_UNICON "${PICTURE}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The last page says where the program is and where the transfer program goes.
!define MUI_FINISHPAGE_TITLE "${NAME} is installed"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_TEXT "${NAME} is in this folder:$\r$\n$INSTDIR$\r$\n$\r$\nTo write images into the receiver, ${NAME} needs your transfer program Vell_par.exe. It is not part of this installer: copy your Vell_par.exe into the folder above, beside VellWriter.exe."
!define MUI_FINISHPAGE_SHOWREADME ""
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the folder now"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION OpenFolder
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Function OpenFolder
  ExecShell "open" "$INSTDIR"
FunctionEnd

Section "${NAME}"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "/oname=VellWriter.exe" "${PROGRAM}"
  File "/oname=${PICTURE_NAME}" "${PICTURE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\VellWriter.exe" "" "$INSTDIR\${PICTURE_NAME}" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PICTURE_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\VellWriter.exe"
  Delete "$INSTDIR\${PICTURE_NAME}"
  Delete "$INSTDIR\Uninstall.exe"
  ; Not /r: a folder that still holds the person's own files (their Vell_par.exe) stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
