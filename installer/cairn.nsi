; cairn-setup.exe: installs Cairn on 64-bit Windows, and uninstalls it.
;
; It installs the engine, the Explorer extension and the browser frame into a program folder,
; the launcher of self-extracting archives and cn into the system folder (where the context menu
; and scheduled jobs find them without a path), and the help file into the Windows folder's Help
; folder with its pages beside it; it registers both servers, makes the sample archive and the
; Send To entry for the user who installs, and writes the uninstall entry last, which is what a
; self-extracting archive waits for. Under Wine, whose Explorer cannot show an archive, the
; archive class's Open command starts the browser frame instead; the uninstaller puts it back.
; Archives, the sample archive included, are never removed.
;
; makensis -DENGINE=<cairn.dll> -DEXTENSION=<nsx12.dll> -DBROWSER=<crnbrowse.exe> -DLAUNCHER=<sfxstub.exe>
;          -DCN=<cn.exe> -DICON=<archive.ico> -DHELP=<folder of CN_Help.chm and pages/>
;          -DVERSION=<x.y.z.w> -DOUTFILE=<path of cairn-setup.exe> cairn.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cairn2000"
!define ARCHIVE_OPEN "Cairn Archive\Shell\Open\command"
!define SENDTO_ENTRY "Cairn Archive.crnSendToTarget"
!define HELP_PAGES "$WINDIR\Help\CN_Help"

Name "Cairn"
Caption "Cairn Setup"
UninstallCaption "Cairn Uninstall"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\Cairn"
ShowInstDetails show
ShowUninstDetails show
DirText "Setup will install Cairn in the following folder. Cairn keeps the full history of the files and folders you choose in one archive file, which you browse in Explorer."

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Cairn"
VIAddVersionKey /LANG=1033 "FileDescription" "Cairn Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; $0 = 1 under Wine, whose ntdll has an export of its own; 0 on Windows.
!macro IsWine un
Function ${un}IsWine
  Push $1
  System::Call 'kernel32::GetModuleHandleW(w "ntdll.dll") p.r1'
  System::Call 'kernel32::GetProcAddress(p r1, m "wine_get_version") p.r0'
  ${If} $0 P<> 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $1
FunctionEnd
!macroend
!insertmacro IsWine ""
!insertmacro IsWine "un."

Function .onInit
  SetRegView 64
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext current
FunctionEnd

Section "Cairn"
  SetOutPath "$INSTDIR"
  File "${ENGINE}"
  File "${EXTENSION}"
  File "${BROWSER}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetOutPath "$SYSDIR"
  File "${LAUNCHER}"
  File "${CN}"

  SetOutPath "$WINDIR\Help"
  File "${HELP}/CN_Help.chm"
  SetOutPath "${HELP_PAGES}"
  File "${HELP}/pages/*.htm"
  File "${HELP}/pages/*.css"
  SetOutPath "$INSTDIR"

  ClearErrors
  RegDLL "$INSTDIR\cairn.dll"
  RegDLL "$INSTDIR\nsx12.dll"
  ${If} ${Errors}
    DetailPrint "Cairn's components could not be registered."
    SetErrorLevel 2
    Abort "Cairn's components could not be registered."
  ${EndIf}
  ; The sample archive on the desktop and the Send To entry, for the user who installs.
  ExecWait '"$SYSDIR\rundll32.exe" "$INSTDIR\nsx12.dll",DllInstall'

  Call IsWine
  ${If} $0 = 1
    ReadRegStr $1 HKCR "${ARCHIVE_OPEN}" ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "ReplacedOpenCommand" "$1"
    WriteRegStr HKCR "${ARCHIVE_OPEN}" "" '"$INSTDIR\crnbrowse.exe" "%1"'
  ${EndIf}

  ; The uninstall entry comes last: once it names Cairn, Cairn is installed.
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  ${GetSize} "${HELP_PAGES}" "/S=0K" $2 $3 $4
  IntOp $1 $1 + $2
  IntOp $1 $1 + 400
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Cairn 2000"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\nsx12.dll"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Cairn"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The folder class, to find the user's own choice about the welcome wizard.
  ReadRegStr $5 HKCR "Cairn Archive\CLSID" ""

  Call un.IsWine
  ${If} $0 = 1
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "ReplacedOpenCommand"
    ${If} $1 != ""
      WriteRegStr HKCR "${ARCHIVE_OPEN}" "" "$1"
    ${EndIf}
  ${EndIf}

  ; Unregistration removes every key registration wrote.
  UnRegDLL "$INSTDIR\nsx12.dll"
  UnRegDLL "$INSTDIR\cairn.dll"
  ; Unregistration keeps the keys of programs' handlers, which others share: they go only where
  ; they are left empty.
  DeleteRegKey /ifempty HKCR "exefile\ShellEx\ContextMenuHandlers"
  DeleteRegKey /ifempty HKCR "exefile\ShellEx\PropertySheetHandlers"
  DeleteRegKey /ifempty HKCR "exefile\ShellEx"
  DeleteRegKey /ifempty HKCR "*\shellex\PropertySheetHandlers"
  DeleteRegKey /ifempty HKCR "*\shellex"
  DeleteRegKey /ifempty HKCR "*"
  DeleteRegKey /ifempty HKCR "Directory\shellex\PropertySheetHandlers"
  DeleteRegKey /ifempty HKCR "Directory\shellex"
  DeleteRegKey /ifempty HKCR "Directory"
  Delete "$SENDTO\${SENDTO_ENTRY}"
  ${If} $5 != ""
    DeleteRegKey HKCU "Software\Classes\CLSID\$5\Options"
    DeleteRegKey /ifempty HKCU "Software\Classes\CLSID\$5"
  ${EndIf}

  Delete /REBOOTOK "$INSTDIR\cairn.dll"
  Delete /REBOOTOK "$INSTDIR\nsx12.dll"
  Delete /REBOOTOK "$INSTDIR\crnbrowse.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete /REBOOTOK "$SYSDIR\sfxstub.exe"
  Delete /REBOOTOK "$SYSDIR\cn.exe"
  Delete "$WINDIR\Help\CN_Help.chm"
  Delete "${HELP_PAGES}\*.htm"
  Delete "${HELP_PAGES}\*.css"
  RMDir "${HELP_PAGES}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
