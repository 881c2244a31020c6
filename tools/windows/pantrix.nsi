; Installer of the PANTRIX configurator for Windows, made by build.sh:
;   makensis -DVERSION=3.0 -DSTAGE=<staged folder> -DOUTFILE=<setup.exe> -DHAS_PANTRIX=1 pantrix.nsi
; Installs for all users into Program Files, with a Start-menu entry, the
; .esv and .hsv file types opening in pantrix.exe, and an uninstaller that
; Add/Remove Programs lists.
Unicode true
!include "MUI2.nsh"
!include "x64.nsh"

!define APP "PANTRIX Configurator"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PANTRIX"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\PANTRIX"
InstallDirRegKey HKLM "Software\PANTRIX" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "See LICENSE"

!define MUI_ICON "${STAGE}\pantrix.ico"
!define MUI_UNICON "${STAGE}\pantrix.ico"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licenses\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${Else}
    MessageBox MB_ICONSTOP "${APP} needs 64-bit Windows."
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; A file type: its extension names the type, the type opens with pantrix.exe.
!macro FileType EXT PROGID DESCRIPTION
  WriteRegStr HKLM "Software\Classes\.${EXT}" "" "${PROGID}"
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "${DESCRIPTION}"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\pantrix.exe,0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\pantrix.exe" "%1"'
!macroend

!macro RemoveFileType EXT PROGID
  ; The extension is left alone when another program has taken it over since.
  ReadRegStr $0 HKLM "Software\Classes\.${EXT}" ""
  StrCmp $0 "${PROGID}" 0 +2
    DeleteRegKey HKLM "Software\Classes\.${EXT}"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
!macroend

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\PANTRIX" "InstallDir" "$INSTDIR"

!if ${HAS_PANTRIX} == 1
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\pantrix.exe" "" "$INSTDIR\pantrix.ico" 0
  !insertmacro FileType "esv" "PANTRIX.Settings" "PANTRIX settings record"
  !insertmacro FileType "hsv" "PANTRIX.Brightness" "PANTRIX brightness record"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!endif

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "PANTRIX"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pantrix.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}.lnk"
  !insertmacro RemoveFileType "esv" "PANTRIX.Settings"
  !insertmacro RemoveFileType "hsv" "PANTRIX.Brightness"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  ; Only what the installer put there: records a user saved beside the
  ; programs stay.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\pantrix.ico"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\Language.mlf"
  Delete "$INSTDIR\Default.esv"
  Delete "$INSTDIR\Default.hsv"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\PANTRIX"
SectionEnd
