; Installs the Orvane keyboard utility per machine, registers the task that
; starts it at every logon, and starts it through that task in every
; session where a user is signed in. Built by makensis with these
; defined: ARCH (x86 or x64), DIST (the distribution folder), TASK_TOOL
; (orvane_logon_task.exe of the same build), ICON, OUTFILE and SIGN (the
; script that signs a PE when a certificate is given).
;
; Exit codes: 0 done, 1 cancelled, 2 the running utility could not be ended
; in every session (or its executable is in use) and nothing was changed,
; 3 another setup of it runs, 4 the logon task could not be registered or
; removed, 5 the install folder could not be given permissions only
; administrators can change, and nothing was installed, 6 the Windows
; Installer package of either bitness is installed, and nothing was
; changed, 7 the other bitness's setup
; install could not be removed (its uninstaller failed or is missing), and
; nothing was changed here, 8 (uninstall) files could not be removed now or
; at the next restart; 3010 (uninstall) done, but files in use are removed
; at the next restart, and the Apps & features entry with them.
Unicode true
!if ${ARCH} == x64
  Target amd64-unicode
!endif

!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include x64.nsh

!getdllversion "${DIST}/Orvane_Keyboard_Hid.exe" VERSION_
!define VERSION "${VERSION_1}.${VERSION_2}.${VERSION_3}.${VERSION_4}"
!define PRODUCT "Orvane Keyboard"
!define EXE "Orvane_Keyboard_Hid.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane_Keyboard"
!define DUMPS_KEY "SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps\${EXE}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; The installer once written, and the uninstaller each time setup writes it.
!finalize '"${SIGN}" "%1"' = 0
!uninstfinalize '"${SIGN}" "%1"' = 0
; Files keep no build-time dates: two builds of a commit are byte-identical.
SetDateSave off
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel admin
AllowSkipFiles off
ShowInstDetails show
!if ${ARCH} == x64
  InstallDir "$PROGRAMFILES64\Varnel\Orvane_Keyboard"
!else
  InstallDir "$PROGRAMFILES32\Varnel\Orvane_Keyboard"
!endif

VIProductVersion "${VERSION}"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "Varnel"
VIAddVersionKey LegalCopyright "Varnel"
VIAddVersionKey FileDescription "${PRODUCT} Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!macro Fail CODE TEXT
  DetailPrint "${TEXT}"
  MessageBox MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel ${CODE}
  Quit
!macroend

; One setup or uninstall at a time, machine-wide; the registry view that
; matches the build.
!macro Begin
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "Global\Varnel Orvane_Keyboard Setup") p .r0 ?e'
  Pop $1
  ${If} $1 = 183  ; ERROR_ALREADY_EXISTS
    !insertmacro Fail 3 "Another ${PRODUCT} setup is running."
  ${EndIf}
  SetShellVarContext all
  !if ${ARCH} == x64
    SetRegView 64
  !endif
!macroend

; Ends the utility's copies in every session before anything changes
; (orvane_logon_task end: as SYSTEM it asks each session's copy to end, as
; an administrator it asks this session's and terminates the others'; any
; copy left after 10 s is terminated). Fails, changing nothing, when a copy
; cannot be ended.
!macro EndUtility
  !insertmacro RunTaskTool 'end "$INSTDIR"'
  ${If} $0 != 0
    !insertmacro Fail 2 "${PRODUCT} is running and could not be ended in every session. Nothing was changed: end it and run setup again."
  ${EndIf}
!macroend

; Windows Error Reporting reads its crash-dump settings from the 64-bit
; registry view on 64-bit Windows, so the 32-bit setup writes them there too
; (32-bit Windows ignores the view).
!macro DumpsView
  SetRegView 64
!macroend
!macro SetupView
  !if ${ARCH} == x64
    SetRegView 64
  !else
    SetRegView 32
  !endif
!macroend

; One setup install per machine, of either bitness: the other bitness's,
; in the other registry view, is removed by its own uninstaller first, as
; a package replaces the other bitness's package. 32-bit Windows has one
; view, and so no other install.
!macro RemoveOtherBitness
  ${If} ${RunningX64}
    !if ${ARCH} == x64
      SetRegView 32
    !else
      SetRegView 64
    !endif
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" InstallLocation
    !insertmacro SetupView
    ${If} $1 != ""
      ${IfNot} ${FileExists} "$1\uninstall.exe"
        !insertmacro Fail 7 "${PRODUCT} of the other bitness is installed in $1 without its uninstaller. Nothing was changed: remove it in Apps & features first."
      ${EndIf}
      ExecWait '"$1\uninstall.exe" /S _?=$1' $0
      ${If} $0 != 0
        !insertmacro Fail 7 "${PRODUCT} of the other bitness in $1 could not be removed (its uninstaller ended with code $0). Nothing was changed here."
      ${EndIf}
      Delete "$1\uninstall.exe"
      RMDir "$1"
      RMDir "$1\.."  ; the publisher's folder, when nothing else is in it
    ${EndIf}
  ${EndIf}
!macroend

; Leaves the tool's exit code in $0: only "0" is success. nsExec leaves
; "error" when the tool cannot be started, which an integer comparison would
; read as 0, so the results are compared as strings.
!macro RunTaskTool ARGS
  InitPluginsDir
  File "/oname=$PLUGINSDIR\orvane_logon_task.exe" "${TASK_TOOL}"
  nsExec::ExecToLog '"$PLUGINSDIR\orvane_logon_task.exe" ${ARGS}'
  Pop $0
!macroend

; One install per machine: the Windows Installer package's, found by its
; upgrade code (installer/Orvane_Keyboard.wxs), stays the only one.
!macro RefusePackage UPGRADE_CODE
  System::Call 'msi::MsiEnumRelatedProductsW(w "${UPGRADE_CODE}", i 0, i 0, w .r0) i .r1'
  ${If} $1 = 0
    !insertmacro Fail 6 "${PRODUCT} is installed by its Windows Installer package. Nothing was changed: uninstall it in Apps & features first."
  ${EndIf}
!macroend

Function .onInit
  !insertmacro Begin
  !insertmacro RefusePackage "{3F2CE9FB-E55D-40DA-B226-3DE553EE8FB7}"  ; 32-bit
  !insertmacro RefusePackage "{2F3D88AD-4EB2-4E24-A4D2-3476C456E21F}"  ; 64-bit
FunctionEnd

Function un.onInit
  !insertmacro Begin
FunctionEnd

Section
  !insertmacro EndUtility
  !insertmacro RemoveOtherBitness
  ; An executable still in use (by another session's instance) cannot be
  ; replaced: stop before anything of the old install is touched.
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${EXE}" a
    ${If} ${Errors}
      !insertmacro Fail 2 "$INSTDIR\${EXE} is in use. Nothing was changed: end ${PRODUCT} in every session and run setup again."
    ${EndIf}
    FileClose $0
  ${EndIf}

  ; The utility runs elevated at every logon: before anything lands in its
  ; folder, only administrators may change what is there (also on upgrade).
  CreateDirectory "$INSTDIR"
  !insertmacro RunTaskTool 'protect "$INSTDIR"'
  ${If} $0 != 0
    RMDir "$INSTDIR"  ; when setup made it: a folder with anything in it stays
    RMDir "$INSTDIR\.."  ; the publisher's folder, likewise
    !insertmacro Fail 5 "$INSTDIR could not be given permissions that only administrators can change. Nothing was installed."
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "${DIST}/${EXE}"
  File "${DIST}/orvane_probe.exe"
  File "${DIST}/orvane_post.exe"
  File "${DIST}/README.md"
  SetOverwrite off  ; the user's own settings stay as they are
  File "${DIST}/config"
  SetOverwrite on
  SetOutPath "$INSTDIR\skins"
  File "${DIST}/skins/OSDIntelligence.png"
  File "${DIST}/skins/OSDPerformance.png"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "Varnel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon '"$INSTDIR\${EXE}",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0

  ; A crash leaves a mini dump for support in the user's CrashDumps folder.
  !insertmacro DumpsView
  WriteRegExpandStr HKLM "${DUMPS_KEY}" DumpFolder "%LOCALAPPDATA%\CrashDumps"
  WriteRegDWORD HKLM "${DUMPS_KEY}" DumpCount 5
  WriteRegDWORD HKLM "${DUMPS_KEY}" DumpType 1
  !insertmacro SetupView

  !insertmacro RunTaskTool 'register "$INSTDIR"'
  ${If} $0 != 0
    !insertmacro Fail 4 "${PRODUCT} is installed, but the task that starts it at logon could not be registered."
  ${EndIf}

  ; Started as each signed-in user's logon starts it, through the task, in
  ; every session without a copy: never as whoever runs setup, who may be
  ; an administrator elevating for someone else, or SYSTEM.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${If} ${Errors}
    !insertmacro RunTaskTool 'start "$INSTDIR"'
    ${If} $0 != 0
      DetailPrint "${PRODUCT} could not be started in every session (see above): it starts at each user's next logon."
    ${EndIf}
  ${EndIf}
SectionEnd

Section Uninstall
  !insertmacro EndUtility
  !insertmacro RunTaskTool remove
  ${If} $0 != 0
    !insertmacro Fail 4 "The task that starts ${PRODUCT} at logon could not be removed. Nothing else was removed."
  ${EndIf}
  ; A file still in use is deleted at the next restart; one that cannot
  ; even be given to the restart fails the uninstall, saying so.
  ClearErrors
  Delete /REBOOTOK "$INSTDIR\${EXE}"
  Delete /REBOOTOK "$INSTDIR\orvane_probe.exe"
  Delete /REBOOTOK "$INSTDIR\orvane_post.exe"
  Delete /REBOOTOK "$INSTDIR\README.md"
  Delete /REBOOTOK "$INSTDIR\config"
  Delete /REBOOTOK "$INSTDIR\skins\OSDIntelligence.png"
  Delete /REBOOTOK "$INSTDIR\skins\OSDPerformance.png"
  RMDir /REBOOTOK "$INSTDIR\skins"
  ${If} ${Errors}
    !insertmacro Fail 8 "Files of ${PRODUCT} in $INSTDIR could not be removed, now or at the next restart. The task is removed; the rest stays: remove the folder by hand."
  ${EndIf}
  ; Run from the folder (_?=), the uninstaller cannot delete itself, and so
  ; not the folder: Apps & features runs a copy of it from elsewhere.
  Delete "$INSTDIR\uninstall.exe"
  !insertmacro DumpsView
  DeleteRegKey HKLM "${DUMPS_KEY}"
  !insertmacro SetupView
  ${If} ${RebootFlag}
    ; The entry stays until the restart has removed the rest; an
    ; administrator's first logon after it removes the entry.
    RMDir /REBOOTOK "$INSTDIR"
    RMDir /REBOOTOK "$INSTDIR\.."
    WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\RunOnce" "Orvane_Keyboard uninstall" \
      '"$SYSDIR\reg.exe" delete "HKLM\${UNINSTALL_KEY}" /f'
    DetailPrint "Some files are in use: they are removed at the next restart."
    SetErrorLevel 3010
  ${Else}
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."  ; the publisher's folder, when nothing else is in it
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
