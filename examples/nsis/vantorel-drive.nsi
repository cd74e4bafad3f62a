; Vantorel Drive: an example per-machine NSIS installer that uses
; client-maintenance.exe. Built with makensis by build.sh; see README.md,
; "Use it from your installer". Defines (makensis -D): TOOL_EXE (the tool),
; CLIENT_EXE (the program installed as launcher.exe and zarek-drive-ui.exe),
; VERSION, OUTFILE.
;
; The tool never runs from the installation folder: installer and uninstaller
; carry it and write it to $PLUGINSDIR, a temporary folder of their own that
; NSIS removes when they end. So it is there before the files are replaced on
; a first installation (to stop an older client), and on uninstall it can
; remove the maker folder that held the installation.
;
; Its output (one line per run and each line it prints) goes to the details
; view and, because a silent run (/S) shows no details, also to a log file in
; the temporary folder: %TEMP%\VantorelDrive-install.log and
; %TEMP%\VantorelDrive-uninstall.log (UTF-16). nsExec::ExecToLog would put
; the output in the details view only. Every step passes "-verbose", so the
; tool's decision log is in it too. nsExec reads the tool's output in the
; ANSI code page: the log's UTF-8 arrives whole for ASCII paths; a path
; beyond ASCII shows its UTF-8 bytes as ANSI characters. ExecToStack keeps
; at most NSIS_MAX_STRLEN characters of a run's output (1024 in the usual
; build): on a machine with many profiles only the first lines of a run.

Unicode true
Target amd64-unicode
!include LogicLib.nsh

!ifndef TOOL_EXE | CLIENT_EXE
  !error "define TOOL_EXE and CLIENT_EXE (build.sh does)"
!endif
!ifndef VERSION
  !define VERSION 1.0.0
!endif
!ifndef OUTFILE
  !define OUTFILE vantorel-drive-setup.exe
!endif

!define PRODUCT "Vantorel Drive"
!define MAKER "Vantorel"
; The name of the client's data folder in every profile's AppData\Local.
!define DATA_FOLDER "VantorelDrive"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorelDrive"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
; The installation folder is set in .onInit and is not a choice.
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var LogFile  ; handle of the log file

!define CSIDL_PROGRAM_FILES 0x26
!define CSIDL_PROGRAM_FILESX86 0x2a

; The installation folder is fixed: the start-up shortcut that
; "client-maintenance.exe --admin-upgrade-startup-shortcut" writes points at
; <Program Files>\Vantorel\VantorelDrive\bin\launcher.exe, where
; <Program Files> is the 32-bit program-files folder ("C:\Program Files (x86)"
; on x64 Windows), or the native one where there is no 32-bit one. Ask the
; shell for it as the tool does: in this 64-bit installer $PROGRAMFILES32
; gives "C:\Program Files" (seen under Wine).
Function .onInit
  System::Call 'shell32::SHGetFolderPathW(p 0, i ${CSIDL_PROGRAM_FILESX86}, p 0, i 0, w .r0) i .r1'
  ${If} $1 != 0
    System::Call 'shell32::SHGetFolderPathW(p 0, i ${CSIDL_PROGRAM_FILES}, p 0, i 0, w .r0) i .r1'
  ${EndIf}
  StrCpy $INSTDIR "$0\${MAKER}\VantorelDrive"
FunctionEnd

; RunTool and its helpers are needed in the installer and in the uninstaller,
; whose functions must begin with "un.".
!macro DefineToolFunctions PREFIX
; Writes one line to the details view and to the log file.
Function ${PREFIX}LogLine
  Exch $0
  DetailPrint "$0"
  ${If} $LogFile != ""
    FileWriteUTF16LE $LogFile "$0$\r$\n"
  ${EndIf}
  Pop $0
FunctionEnd

; Push "ARGUMENTS", Call RunTool: runs the tool from $PLUGINSDIR with those
; arguments, hidden, and logs its output line by line and its exit code. The
; tool always exits 0; a failure to start it is logged as "error".
Function ${PREFIX}RunTool
  Exch $0  ; arguments
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  nsExec::ExecToStack '"$PLUGINSDIR\client-maintenance.exe" $0'
  Pop $1  ; exit code, or "error" / "timeout"
  Pop $2  ; output
  ; One log line per output line.
  StrCpy $3 0   ; position in the output
  StrCpy $4 ""  ; the line so far
  ${Do}
    StrCpy $5 $2 1 $3
    IntOp $3 $3 + 1
    ${If} $5 == ""
    ${OrIf} $5 == "$\n"
      ${If} $4 != ""
        Push "client-maintenance.exe: $4"
        Call ${PREFIX}LogLine
      ${EndIf}
      StrCpy $4 ""
      ${IfThen} $5 == "" ${|} ${ExitDo} ${|}
    ${ElseIf} $5 != "$\r"
      StrCpy $4 "$4$5"
    ${EndIf}
  ${Loop}
  Push "client-maintenance.exe $0: exit code $1"
  Call ${PREFIX}LogLine
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DefineToolFunctions ""
!insertmacro DefineToolFunctions "un."

Section "${PRODUCT}"
  SetShellVarContext all
  InitPluginsDir
  File "/oname=$PLUGINSDIR\client-maintenance.exe" "${TOOL_EXE}"
  FileOpen $LogFile "$TEMP\VantorelDrive-install.log" w
  FileWriteUTF16LE /BOM $LogFile ""
  Push "Installing ${PRODUCT} ${VERSION} in $INSTDIR"
  Call LogLine

  ; A running client (this version or an older one, under any name it has
  ; had) holds the files about to be replaced: end it in every session.
  Push "--force-stop -verbose"
  Call RunTool

  SetOutPath "$INSTDIR\bin"
  File "/oname=launcher.exe" "${CLIENT_EXE}"
  File "/oname=zarek-drive-ui.exe" "${CLIENT_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The machine-wide shortcuts. Per-user ones are the client's own business
  ; (its start-up shortcut) and earlier versions' (old names).
  CreateDirectory "$SMPROGRAMS\${MAKER}"
  CreateShortcut "$SMPROGRAMS\${MAKER}\${PRODUCT}.lnk" "$INSTDIR\bin\launcher.exe" "" "" "" SW_SHOWNORMAL "" "${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${MAKER}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\bin\launcher.exe" "" "" "" SW_SHOWNORMAL "" "${PRODUCT}"

  SetRegView 64
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The new launcher is in place: every profile that starts the client at
  ; logon, under any of its names, now starts this one.
  Push "--admin-upgrade-startup-shortcut -verbose"
  Call RunTool

  Push "Installation finished"
  Call LogLine
  FileClose $LogFile
SectionEnd

; The uninstaller runs as a copy of itself in the temporary folder (NSIS does
; that), so uninstall.exe can be deleted; the tool runs from $PLUGINSDIR.
Section "Uninstall"
  SetShellVarContext all
  InitPluginsDir
  File "/oname=$PLUGINSDIR\client-maintenance.exe" "${TOOL_EXE}"
  FileOpen $LogFile "$TEMP\VantorelDrive-uninstall.log" w
  FileWriteUTF16LE /BOM $LogFile ""
  Push "Uninstalling ${PRODUCT} from $INSTDIR"
  Call un.LogLine

  ; Ask the client to close (it saves its state), then end what is left.
  Push "--stop -verbose"
  Call un.RunTool
  Push "--force-stop -verbose"
  Call un.RunTool
  ; Every profile's start-menu and desktop shortcuts under every name the
  ; client has had; the old names from the all-users folders.
  Push "--admin-remove-shortcuts -verbose"
  Call un.RunTool
  ; Every profile's start-up shortcuts and data folder.
  Push "--uninstall ${DATA_FOLDER} -verbose"
  Call un.RunTool

  ; This installation's own files, shortcuts and folders.
  Delete "$SMPROGRAMS\${MAKER}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${MAKER}\Uninstall ${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  Delete "$INSTDIR\bin\launcher.exe"
  Delete "$INSTDIR\bin\zarek-drive-ui.exe"
  RMDir "$INSTDIR\bin"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The maker's folders in Program Files and the all-users start menu, now
  ; that nothing of this installation is left in them (other products of the
  ; maker may still have files there: then they stay).
  Push "--remove-all-users-empty-folders -verbose"
  Call un.RunTool

  Push "Uninstallation finished"
  Call un.LogLine
  FileClose $LogFile
SectionEnd
