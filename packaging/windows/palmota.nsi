; The Windows installer of Palmota, built by scripts/windows-package with makensis:
;   makensis -DVERSION=x.y.z -DSTAGE=<unpacked zip folder> -DOUTFILE=<setup.exe>
;            -DFILES=<list of Delete/RMDir lines for the uninstaller> [-DICON=<palmota.ico>]
; Installs under Program Files with a Start-menu shortcut and an uninstaller registered in
; Add/Remove programs. /S installs or uninstalls silently.
; A 64-bit installer: the programs are 64-bit only, and a 32-bit one would need the WoW64
; layer (wine32 where the package is checked) for nothing.
Target amd64-unicode
SetCompressor /SOLID lzma
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Palmota"

Name "Palmota ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Palmota"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
!ifdef ICON
Icon "${ICON}"
UninstallIcon "${ICON}"
!endif

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Palmota"
VIAddVersionKey "CompanyName" "Tarvinelo"
VIAddVersionKey "FileDescription" "Palmota ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Palmota authors, MIT licence"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Palmota"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Palmota.lnk" "$INSTDIR\palmota.exe" "" "$INSTDIR\palmota.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Palmota"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarvinelo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\palmota.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes exactly the files the installer put there, then the folders if they are empty.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Palmota.lnk"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
