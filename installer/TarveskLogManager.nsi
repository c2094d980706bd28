; The setup program of TarveskLogManager: the 64-bit component under Program Files, the
; 32-bit one under Program Files (x86), each registered with the regsvr32 of its bitness;
; a Start-menu entry for the viewer; an entry in Add/Remove Programs; an uninstaller that
; unregisters and removes all of it. On a 32-bit Windows only the 32-bit part is installed.
; Installing over an installed version upgrades it in place (same folders, registered anew).
; Built by scripts/make-installer.sh, which defines VERSION, BIN64, BIN32 and OUTFILE.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "TarveskLogManager"
!define PUBLISHER "Tarvesk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SUBFOLDER "Tarvesk\LogManager"
!define MENU_FOLDER "$SMPROGRAMS\Tarvesk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${SUBFOLDER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1031 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1031 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1031 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "© ${PUBLISHER}"

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

; The files of one bitness, as the build made them.
!macro Files BIN
  File "${BIN}\TarveskLogManager.dll"
  File "${BIN}\TarveskXMLHandler.dll"
  File "${BIN}\TarveskFileManager.dll"
  File "${BIN}\TarveskDataLayer.dll"
  File "${BIN}\LogManagerHost.exe"
  File "${BIN}\logmanager.exe"
!macroend

; Runs the regsvr32 of the current file-system view (system32: 64-bit with redirection off,
; else the 32-bit one) on each COM DLL of FOLDER. OPTION is /s or "/s /u".
!macro RegisterAll OPTION FOLDER
  !insertmacro RegSvr "${OPTION}" "${FOLDER}\TarveskXMLHandler.dll"
  !insertmacro RegSvr "${OPTION}" "${FOLDER}\TarveskFileManager.dll"
  !insertmacro RegSvr "${OPTION}" "${FOLDER}\TarveskDataLayer.dll"
  !insertmacro RegSvr "${OPTION}" "${FOLDER}\TarveskLogManager.dll"
!macroend
!macro RegSvr OPTION DLL
  ${If} ${FileExists} "${DLL}"
    ExecWait '"$SYSDIR\regsvr32.exe" ${OPTION} "${DLL}"' $0
    ${If} $0 != 0
      DetailPrint "regsvr32 ${OPTION} ${DLL}: Fehler $0"
      SetErrors
    ${EndIf}
  ${EndIf}
!macroend

!macro RemoveFiles FOLDER
  Delete "${FOLDER}\TarveskLogManager.dll"
  Delete "${FOLDER}\TarveskXMLHandler.dll"
  Delete "${FOLDER}\TarveskFileManager.dll"
  Delete "${FOLDER}\TarveskDataLayer.dll"
  Delete "${FOLDER}\LogManagerHost.exe"
  Delete "${FOLDER}\logmanager.exe"
  Delete "${FOLDER}\uninstall.exe"
  RMDir "${FOLDER}"
  RMDir "${FOLDER}\.."
!macroend

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    StrCpy $INSTDIR "$PROGRAMFILES64\${SUBFOLDER}"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES32\${SUBFOLDER}"
  ${EndIf}
FunctionEnd

Section "Install"
  ClearErrors
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
    SetOutPath "$PROGRAMFILES64\${SUBFOLDER}"
    !insertmacro Files "${BIN64}"
    !insertmacro RegisterAll "/s" "$PROGRAMFILES64\${SUBFOLDER}"
    ${EnableX64FSRedirection}
  ${EndIf}
  SetOutPath "$PROGRAMFILES32\${SUBFOLDER}"
  !insertmacro Files "${BIN32}"
  !insertmacro RegisterAll "/s" "$PROGRAMFILES32\${SUBFOLDER}"
  IfErrors 0 +2
    MessageBox MB_ICONEXCLAMATION|MB_OK "Die Komponenten konnten nicht vollständig registriert werden." /SD IDOK

  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\LogManager.lnk" "$INSTDIR\LogManagerHost.exe"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${If} ${RunningX64}
    ${GetSize} "$PROGRAMFILES32\${SUBFOLDER}" "/S=0K" $1 $2 $3
    IntOp $0 $0 + $1
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\LogManagerHost.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
    !insertmacro RegisterAll "/s /u" "$PROGRAMFILES64\${SUBFOLDER}"
    !insertmacro RemoveFiles "$PROGRAMFILES64\${SUBFOLDER}"
    ${EnableX64FSRedirection}
  ${EndIf}
  !insertmacro RegisterAll "/s /u" "$PROGRAMFILES32\${SUBFOLDER}"
  !insertmacro RemoveFiles "$PROGRAMFILES32\${SUBFOLDER}"
  SetShellVarContext all
  Delete "${MENU_FOLDER}\LogManager.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
