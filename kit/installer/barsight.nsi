; Barsight setup: installs the plug-ins into every MetaStock external
; function folder and every MetaTrader 4 (MQL4) and MetaTrader 5 (MQL5) data
; folder it finds or is given, for every user of the computer, and the
; program files (tools, guides, help pages, formulas) into
; $PROGRAMFILES\Barsight, with Start-menu entries for all users and an
; uninstaller that removes exactly what the installs placed.
;
; Where it looks: MetaStock in the registered uninstall entries (both
; registry views of HKLM, and HKCU) and at its default folders; MetaTrader
; data folders under every local user profile (ProfileList) and of the
; account running setup. Only the interactive user's terminals and
; MetaStock are selected by default; the targets page lists them all.
;
; Silent use: setup.exe /S [/METASTOCK=<folder>[;...]] [/MT4=<MQL4 folder>[;...]]
;             [/MT5=<MQL5 folder>[;...]] [/NOMETASTOCK] [/NOMT4] [/NOMT5]
;             [/SELECT=all|<i>[;<i>...]] [/LOG=<file>]
; A folder given is used instead of looking for that host's; /SELECT picks
; targets by their place in the list the log shows ("target <i>: ...").
; Exit codes: 0 done; 2 bad options; 3 a file to replace is in use (nothing
; was changed); 4 a file could not be written.
;
; Defines from scripts/make_release.py: VERSION, VERSION4, FILES, OUTFILE.
; The setup is 32-bit: it runs on every Windows, on 64-bit Windows in WoW64.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
SetOverwrite try  ; a file that cannot be written sets the error flag, never a dialog

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include TextFunc.nsh
!include nsDialogs.nsh
!include x64.nsh
!include "${FILES}"

!define PRODUCT "Barsight"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Barsight"
!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define PROFILES_KEY "SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList"
!define RECORD "$INSTDIR\installed.txt"
; What each installed file held when it was placed (SHA-256), by its path:
; the uninstaller removes a file only while it still holds that, and an
; upgrade keeps a trader's changed program or include beside the new one.
!define HASHES_KEY "Software\Barsight\Installed files"
!define TARGETS "$PLUGINSDIR\targets.txt"   ; KIND|SELECTED|FOLDER|LABEL per line
!define SUMMARY "$PLUGINSDIR\summary.txt"   ; where each part went, for the finish page
!define STARTMENU "$SMPROGRAMS\Barsight"
!ifndef LBS_MULTIPLESEL
  !define LBS_MULTIPLESEL 0x0008
!endif
!ifndef LB_SETHORIZONTALEXTENT
  !define LB_SETHORIZONTALEXTENT 0x0194
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"

; A signed release (make_release.py --sign): the uninstaller is signed as
; soon as it is written into setup, setup.exe once it is complete. %1 is
; the file; a non-zero exit stops the build.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1" "${UNINSTALLER_COPY}"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif
InstallDir "$PROGRAMFILES\Barsight"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"  ; an upgrade goes where the install is
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION4}"
VIAddVersionKey "ProductVersion" "${VERSION4}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 Barsight"

Var Log            ; handle of the setup's log
Var LogPath
Var LogOwn  ; 1 when the log is setup's own (no /LOG=): copied to the program folder at the end
Var Blocked        ; the first file that cannot be replaced, or ""
Var Linked         ; the first target folder or file that is a junction or link, or ""
Var Failed         ; a file could not be written
Var Record         ; handle of the record of installed files
Var Dialog
Var TargetList     ; the targets page's multi-select list
Var OtherMSField
Var OtherMT4Field
Var OtherMT5Field
Var OpenGuide      ; the finish page's check box
Var InteractiveSid ; the SID of the user logged on to this session, or ""
Var SkipMS         ; "1": no MetaStock search (given or refused on the command line)
Var SkipMT4
Var SkipMT5
Var Selection      ; /SELECT's value, or ""

Page custom TargetsPage TargetsLeave
Page instfiles
Page custom FinishPage FinishLeave
UninstPage instfiles

; The parts, from this folder (makensis works in the script's own folder),
; in the order setup's code is laid out: makensis places the functions in
; the order it reads them.
!include "log.nsh"
!include "targets.nsh"
!include "metatrader.nsh"
!include "metastock.nsh"
!include "options.nsh"
!include "pages.nsh"
!include "file_operations.nsh"

; ------------------------------------------------------------- install

; Applies OP (CHECK_WRITABLE or COPY_FILE) to every selected target's files.
!macro EACH_TARGET OP
  FileOpen $R4 "${TARGETS}" r
  ${Do}
    ClearErrors
    FileReadUTF16LE $R4 $R7
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R7 $R7
    ${WordFind} "$R7" "|" "+1" $R8   ; kind
    ${WordFind} "$R7" "|" "+2" $R5   ; selected
    ${WordFind} "$R7" "|" "+3" $R9   ; folder
    ${If} $R5 != "1"
      ${Continue}
    ${EndIf}
    Push $R4
    ${If} "${OP}" == "COPY_FILE"
      ${WordFind} "$R7" "|" "+4" $R5
      ${Log} "$R5 files: $R9"
      FileWriteUTF16LE $Record "T|$R9$\r$\n"  ; the uninstaller checks the way from here
    ${EndIf}
    ${If} $R8 == "MS"
      !insertmacro BARSIGHT_METASTOCK_FILES ${OP} "$R9"
    ${ElseIf} $R8 == "MT4"
      !insertmacro BARSIGHT_MT4_FILES ${OP} "$R9"
    ${ElseIf} $R8 == "MT5"
      !insertmacro BARSIGHT_MT5_FILES ${OP} "$R9"
    ${EndIf}
    Pop $R4
  ${Loop}
  FileClose $R4
!macroend

Section "Barsight"
  ; Never a half-updated folder: every existing file to be replaced, in
  ; every target, must be writable before anything is copied.
  StrCpy $Blocked ""
  StrCpy $Linked ""
  !insertmacro BARSIGHT_PROGRAM_FILES CHECK_WRITABLE "$INSTDIR"
  !insertmacro EACH_TARGET CHECK_WRITABLE
  ${If} $Linked != ""
    ${Fail} 4 "$Linked is reached through a junction or symbolic link: setup does not write through one. Nothing was changed."
  ${EndIf}
  ${If} $Blocked != ""
    ${Fail} 3 "$Blocked is in use: close the program that holds it (MetaStock or the MetaTrader terminal) and run setup again. Nothing was changed."
  ${EndIf}

  CreateDirectory $INSTDIR
  ClearErrors
  FileOpen $Record "${RECORD}" a  ; merged across upgrades
  ${If} ${Errors}
    ${Fail} 4 "cannot write ${RECORD}"
  ${EndIf}
  ; UTF-16LE, so that any path survives; a new record starts with its mark.
  FileSeek $Record 0 END $R0
  ${If} $R0 == 0
    FileWriteUTF16LE /BOM $Record ""
  ${EndIf}
  StrCpy $Failed ""

  ${Log} "Program files: $INSTDIR"
  FileWriteUTF16LE $Record "T|$INSTDIR$\r$\n"
  !insertmacro BARSIGHT_PROGRAM_FILES COPY_FILE "$INSTDIR"
  !insertmacro EACH_TARGET COPY_FILE

  WriteUninstaller "$INSTDIR\uninstall.exe"
  FileClose $Record
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Start-menu entries for every user of the computer.
  SetShellVarContext all
  CreateDirectory "${STARTMENU}"
  CreateShortcut "${STARTMENU}\Barsight guide.lnk" "$INSTDIR\INSTALL.htm"
  CreateShortcut "${STARTMENU}\Barsight help.lnk" "$INSTDIR\help\plugin\Inds1\none.htm"
  CreateShortcut "${STARTMENU}\Uninstall Barsight.lnk" "$INSTDIR\uninstall.exe"
  SetShellVarContext current

  ; Where everything went, for the finish page and the log.
  FileOpen $R7 "${SUMMARY}" w
  FileWriteUTF16LE /BOM $R7 ""
  !insertmacro WENT "Guide, signals, help pages, formulas and tools: $INSTDIR"
  !insertmacro WENT "Start menu (all users): Barsight guide, Barsight help, Uninstall Barsight"
  FileOpen $R4 "${TARGETS}" r
  ${Do}
    ClearErrors
    FileReadUTF16LE $R4 $R6
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R6 $R6
    ${WordFind} "$R6" "|" "+2" $R5
    ${If} $R5 == "1"
      ${WordFind} "$R6" "|" "+3" $R8
      ${WordFind} "$R6" "|" "+4" $R9
      !insertmacro WENT "$R9: $R8"
    ${EndIf}
  ${Loop}
  FileClose $R4
  FileClose $R7

  ${If} $Failed != ""
    ${Fail} 4 "$Failed could not be written"
  ${EndIf}
  ${Log} "Done"
  FileClose $Log
  StrCpy $Log ""
  ${If} $LogOwn == 1
    CopyFiles /SILENT "$LogPath" "$INSTDIR\setup.log"
  ${EndIf}
SectionEnd

; The uninstaller (the un. functions and its section).
!include "uninstall.nsh"
