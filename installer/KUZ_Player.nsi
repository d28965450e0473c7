; Installer of KUZ Player: the 32-bit player and its decrypting source filter under Program Files,
; the filter registered, a Start-menu shortcut and an Add/Remove Programs entry; its uninstaller
; unregisters the filter and removes exactly what the installer created.
;
; makensis -DVERSION=x.y.z -DPLAYER_EXE=path -DFILTER_DLL=path -DICON=path -DOUTFILE=path KUZ_Player.nsi

!include LogicLib.nsh

!define PRODUCT "KUZ Player"
!define PUBLISHER "KUZ Player developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT_FOLDER "$SMPROGRAMS\${PRODUCT}"

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true
XPStyle on
; A file that cannot be written fails the install instead of being skipped.
AllowSkipFiles off

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
BrandingText "${PRODUCT} ${VERSION}"
; $PROGRAMFILES of a 32-bit installer: "Program Files (x86)" on 64-bit Windows, as the player is 32-bit.
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Whether this install started in a folder without the product, so a failure may remove it again.
Var FreshInstall
Var Bytes

!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "${PRODUCT} Setup needs administrator rights." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; Adds the size of file $0 in bytes to $Bytes.
Function AddFileSize
  FileOpen $1 $0 r
  FileSeek $1 0 END $2
  FileClose $1
  IntOp $Bytes $Bytes + $2
FunctionEnd

Function .onInit
  !insertmacro RequireAdmin
  ; The shortcut goes to every user's Start menu, as the program is installed for every user.
  SetShellVarContext all
FunctionEnd

Section "${PRODUCT}"
  ${If} ${FileExists} "$INSTDIR\WQCryptoSource.dll"
    StrCpy $FreshInstall 0
  ${Else}
    StrCpy $FreshInstall 1
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=KUZ_Player.exe" "${PLAYER_EXE}"
  File "/oname=WQCryptoSource.dll" "${FILTER_DLL}"

  ; RegDLL calls DllRegisterServer in this (32-bit) process and sets the error flag when it fails.
  ClearErrors
  RegDLL "$INSTDIR\WQCryptoSource.dll"
  ${If} ${Errors}
    DetailPrint "DllRegisterServer of WQCryptoSource.dll failed"
    ; A first install is taken back: whatever the filter registered, then the files.
    ${If} $FreshInstall == 1
      UnRegDLL "$INSTDIR\WQCryptoSource.dll"
      Delete "$INSTDIR\WQCryptoSource.dll"
      Delete "$INSTDIR\KUZ_Player.exe"
      SetOutPath "$TEMP"
      RMDir "$INSTDIR"
    ${EndIf}
    MessageBox MB_ICONSTOP "The decrypting source filter could not be registered. ${PRODUCT} was not installed." /SD IDOK
    Abort
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${SHORTCUT_FOLDER}"
  CreateShortcut "${SHORTCUT_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\KUZ_Player.exe"

  ; EstimatedSize: the files written here, in KiB rounded up.
  StrCpy $Bytes 0
  StrCpy $0 "$INSTDIR\KUZ_Player.exe"
  Call AddFileSize
  StrCpy $0 "$INSTDIR\WQCryptoSource.dll"
  Call AddFileSize
  StrCpy $0 "$INSTDIR\uninstall.exe"
  Call AddFileSize
  IntOp $Bytes $Bytes + 1023
  IntOp $Bytes $Bytes / 1024

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KUZ_Player.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $Bytes
  ; There is nothing to modify or repair: Add/Remove Programs offers removal only.
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  !insertmacro RequireAdmin
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ; The filter first, while its DLL is there; if that fails nothing is removed, so that no
  ; registration is left pointing at a deleted file.
  ${If} ${FileExists} "$INSTDIR\WQCryptoSource.dll"
    ClearErrors
    UnRegDLL "$INSTDIR\WQCryptoSource.dll"
    ${If} ${Errors}
      DetailPrint "DllUnregisterServer of WQCryptoSource.dll failed"
      MessageBox MB_ICONSTOP "The decrypting source filter could not be unregistered. ${PRODUCT} was not removed." /SD IDOK
      Abort
    ${EndIf}
  ${EndIf}

  ; Only the names written by the installer, and folders only when empty: whatever else a user
  ; put there stays.
  Delete /REBOOTOK "$INSTDIR\KUZ_Player.exe"
  Delete /REBOOTOK "$INSTDIR\WQCryptoSource.dll"
  Delete "${SHORTCUT_FOLDER}\${PRODUCT}.lnk"
  RMDir "${SHORTCUT_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
