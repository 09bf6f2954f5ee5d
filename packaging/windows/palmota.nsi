; The Windows installer of Palmota, built by scripts/windows-package with makensis:
;   makensis -DVERSION=x.y.z -DSTAGE=<unpacked zip folder> -DOUTFILE=<setup.exe>
;            -DFILES=<list of Delete/RMDir lines for the uninstaller> -DLICENSE=<LICENSE>
;            -DSIZE_KB=<the files' size in KiB> [-DICON=<palmota.ico>]
; In French, for the desks that use it: the licence on a page of its own, the folder, then
; the Reader's port, which goes onto the Start-menu and desktop shortcuts as --port N.
; Installs under Program Files with an uninstaller registered in Add/Remove programs.
; /S installs or uninstalls silently; a silent install takes the port as /PORT=N (default 1).
; A 64-bit installer: the programs are 64-bit only, and a 32-bit one would need the WoW64
; layer (wine32 where the package is checked) for nothing.
Target amd64-unicode
Unicode true
SetCompressor /SOLID lzma
!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include nsDialogs.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Palmota"
; The serial ports Windows knows: one value a port, its data the port's name (COM3).
!define SERIAL_PORTS_KEY "HARDWARE\DEVICEMAP\SERIALCOMM"

Name "Palmota ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Palmota"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
!ifdef ICON
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!endif

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1036 "ProductName" "Palmota"
VIAddVersionKey /LANG=1036 "CompanyName" "Tarvinelo"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de Palmota ${VERSION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "Les auteurs de Palmota, licence MIT"

; The port given to the shortcuts, as palmota's --port takes it: a number N for COMN, or a
; port name.
Var Port
Var PortBox
!define PORT_PAGE_TEXT "Choisissez le port du lecteur dans la liste des ports présents, ou \
tapez son numéro (3 pour COM3) ou son nom. Les raccourcis de Palmota l'ouvriront ; dans la \
fenêtre, le choix « Port COM » peut le changer."

!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
Page custom PortPage PortPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The only language compiled in: every page and message is French.
!insertmacro MUI_LANGUAGE "French"

Function .onInit
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PORT=" $Port
  ${If} ${Errors}
  ${OrIf} $Port == ""
    StrCpy $Port "1"
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; The Reader's port: the COM ports present to pick from, or any name typed.
Function PortPage
  !insertmacro MUI_HEADER_TEXT "Port du lecteur" \
    "Le port série (COM) sur lequel le lecteur de badges est branché."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 36u "${PORT_PAGE_TEXT}"
  Pop $0
  ${NSD_CreateLabel} 0 44u 30% 12u "Port du lecteur :"
  Pop $0
  ${NSD_CreateComboBox} 30% 42u 40% 80u ""
  Pop $PortBox
  StrCpy $1 0
  ${Do}
    EnumRegValue $2 HKLM "${SERIAL_PORTS_KEY}" $1
    ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
    ReadRegStr $3 HKLM "${SERIAL_PORTS_KEY}" $2
    ${IfThen} $3 != "" ${|} ${NSD_CB_AddString} $PortBox $3 ${|}
    IntOp $1 $1 + 1
  ${Loop}
  ${If} $1 == 0
    ${NSD_CreateLabel} 0 62u 100% 12u "Aucun port série n'est présent : tapez celui du lecteur."
    Pop $0
  ${EndIf}
  ${NSD_SetText} $PortBox $Port
  nsDialogs::Show
FunctionEnd

; COM3, com3 and 3 are the port numbered 3; another name is kept as typed.
Function PortPageLeave
  ${NSD_GetText} $PortBox $0
  StrCpy $1 $0 3
  ${If} $1 == "COM"
    StrCpy $2 $0 "" 3
    IntOp $3 $2 + 0
    ${If} $3 > 0
    ${AndIf} "$3" == "$2"
      StrCpy $0 $2
    ${EndIf}
  ${EndIf}
  ${If} $0 == ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "Indiquez le port du lecteur, par exemple 1 pour COM1."
    Abort
  ${EndIf}
  StrCpy $Port $0
FunctionEnd

Section "Palmota"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Palmota.lnk" "$INSTDIR\palmota.exe" "--port $Port" \
    "$INSTDIR\palmota.exe" 0
  CreateShortcut "$DESKTOP\Palmota.lnk" "$INSTDIR\palmota.exe" "--port $Port" \
    "$INSTDIR\palmota.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Palmota"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarvinelo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\palmota.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ; The language the installer ran in, as Windows Installer records it (1036: French).
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Language" $LANGUAGE
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The files' size, summed when the installer was made: measuring the folder here would
  ; take the System plug-in (FileFunc's GetSize), native code the install needs nothing else of.
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes exactly the files and shortcuts the installer made, then the folders if empty.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Palmota.lnk"
  Delete "$DESKTOP\Palmota.lnk"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
