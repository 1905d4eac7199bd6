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

; ---------------------------------------------------------------- the log

!macro LOG TEXT
  ${If} $Log != ""
    FileWriteUTF16LE $Log "${TEXT}$\r$\n"
  ${EndIf}
  DetailPrint "${TEXT}"
!macroend
!define Log "!insertmacro LOG"

; Ends the setup with an exit code and the reason in the log.
!macro FAIL CODE TEXT
  ${Log} "FAILED: ${TEXT}"
  ${If} $Log != ""
    FileClose $Log
    StrCpy $Log ""
  ${EndIf}
  ${IfNot} ${Silent}
    MessageBox MB_ICONSTOP "${TEXT}"
  ${EndIf}
  SetErrorLevel ${CODE}
  Quit
!macroend
!define Fail "!insertmacro FAIL"

; ------------------------------------------------------------ the targets
; The targets live in a file, one per line, since any number of terminals
; outgrows an NSIS string: KIND (MS, MT4, MT5), SELECTED (1 or 0), the
; folder, the label the page shows.

; Adds a target unless its folder is listed already; a listed one asked for
; again as selected (a folder typed on the page, the account's own
; terminals) becomes selected. $R0 kind, $R1 folder, $R2 label, $R3 selected.
Function AddTarget
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  StrCpy $R6 "new"
  FileOpen $R7 "${TARGETS}.new" w
  ClearErrors
  FileOpen $R4 "${TARGETS}" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileReadUTF16LE $R4 $R5
      ${If} ${Errors}
        ${ExitDo}
      ${EndIf}
      ${TrimNewLines} $R5 $R5
      ${WordFind} "$R5" "|" "+3" $R8
      ${If} $R8 == $R1  ; the same folder (compared without case, as Windows does)
        StrCpy $R6 "known"
        ${If} $R3 == "1"
          ${WordFind} "$R5" "|" "+1" $R8   ; its kind
          ${WordFind} "$R5" "|" "+2}" $R5  ; its folder and label
          StrCpy $R5 "$R8|1|$R5"
        ${EndIf}
      ${EndIf}
      FileWriteUTF16LE $R7 "$R5$\r$\n"
    ${Loop}
    FileClose $R4
  ${EndIf}
  ${If} $R6 == "new"
    ${WordReplace} "$R2" "|" "/" "+" $R5
    FileWriteUTF16LE $R7 "$R0|$R3|$R1|$R5$\r$\n"
  ${EndIf}
  FileClose $R7
  Delete "${TARGETS}"
  Rename "${TARGETS}.new" "${TARGETS}"
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
FunctionEnd

; $R0: a data folder (MQL4 or MQL5); returns in $R1 its terminal's name from
; origin.txt (UTF-16LE with a byte-order mark) beside it, or "".
Function OriginOf
  StrCpy $R1 ""
  ClearErrors
  FileOpen $R2 "$R0\..\origin.txt" r
  ${IfNot} ${Errors}
    FileReadUTF16LE $R2 $R1
    FileClose $R2
    ${TrimNewLines} $R1 $R1
  ${EndIf}
FunctionEnd

; Every terminal data folder under $R7 (a MetaQuotes\Terminal folder) of
; user $R8, selected when $R9 is 1: its MQL4 and MQL5 folders, each a target.
Function FindTerminalsIn
  Push $R4
  Push $R5
  ClearErrors
  FindFirst $R4 $R5 "$R7\*"
  ${DoUntil} ${Errors}
    ${If} $R5 != "."
    ${AndIf} $R5 != ".."
      ${If} $SkipMT4 != "1"
      ${AndIf} ${FileExists} "$R7\$R5\MQL4\*.*"
        StrCpy $R0 "$R7\$R5\MQL4"
        Call OriginOf
        ${If} $R1 == ""
          StrCpy $R1 $R5
        ${EndIf}
        StrCpy $R2 "MetaTrader 4 - $R8 - $R1"
        StrCpy $R0 "MT4"
        StrCpy $R1 "$R7\$R5\MQL4"
        StrCpy $R3 $R9
        Call AddTarget
      ${EndIf}
      ${If} $SkipMT5 != "1"
      ${AndIf} ${FileExists} "$R7\$R5\MQL5\*.*"
        StrCpy $R0 "$R7\$R5\MQL5"
        Call OriginOf
        ${If} $R1 == ""
          StrCpy $R1 $R5
        ${EndIf}
        StrCpy $R2 "MetaTrader 5 - $R8 - $R1"
        StrCpy $R0 "MT5"
        StrCpy $R1 "$R7\$R5\MQL5"
        StrCpy $R3 $R9
        Call AddTarget
      ${EndIf}
    ${EndIf}
    ClearErrors
    FindNext $R4 $R5
  ${Loop}
  FindClose $R4
  Pop $R5
  Pop $R4
FunctionEnd

; The SID (S-1-5-21-...) of the user logged on to this session, who may not
; be the account setup runs as (elevated with an administrator's password),
; in $InteractiveSid; "" when it cannot be told.
;
; The calls are written for 32-bit and 64-bit alike: addresses as p, each
; output in a register of its own, and a text the system hands back by
; address copied out with lstrcpynW, bounded by the register's size (in a
; System structure, "w" is an address stored at the address, not the text
; found there).
!macro TEXT_AT ADDRESS REG
  System::Call 'kernel32::lstrcpynW(w .${REG}, p ${ADDRESS}, i ${NSIS_MAX_STRLEN})'
!macroend
Function FindInteractiveSid
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $InteractiveSid ""
  ; WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName (5) and
  ; WTSDomainName (7); each text is freed by WTSFreeMemory once copied.
  System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i 5, *p .r1, *i .r2) i .r0'
  ${If} $0 != 0
  ${AndIf} $1 != 0
    !insertmacro TEXT_AT r1 r3
    System::Call 'wtsapi32::WTSFreeMemory(p r1)'
    StrCpy $2 ""
    System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i 7, *p .r1, *i .r5) i .r0'
    ${If} $0 != 0
    ${AndIf} $1 != 0
      !insertmacro TEXT_AT r1 r2
      System::Call 'wtsapi32::WTSFreeMemory(p r1)'
    ${EndIf}
    ; SECURITY_MAX_SID_SIZE is 68 bytes: 256 leaves room.
    System::Alloc 256
    Pop $4
    ; DOMAIN\user names a domain account unambiguously; the bare name
    ; serves where there is no domain. An empty name would give the
    ; domain's own SID: no look-up then.
    StrCpy $0 0
    ${If} $3 != ""
      ${If} $2 != ""
        System::Call 'advapi32::LookupAccountNameW(p 0, w "$2\$3", p r4, *i 256, w .r5, *i ${NSIS_MAX_STRLEN}, *i .r6) i .r0'
      ${EndIf}
      ${If} $0 == 0
        System::Call 'advapi32::LookupAccountNameW(p 0, w r3, p r4, *i 256, w .r5, *i ${NSIS_MAX_STRLEN}, *i .r6) i .r0'
      ${EndIf}
    ${EndIf}
    ; Only a user's SID (SidTypeUser, 1) names a profile.
    ${If} $0 != 0
    ${AndIf} $6 == 1
      System::Call 'advapi32::ConvertSidToStringSidW(p r4, *p .r1) i .r0'
      ${If} $0 != 0
      ${AndIf} $1 != 0
        !insertmacro TEXT_AT r1 r2
        System::Call 'kernel32::LocalFree(p r1)'
        StrCpy $InteractiveSid $2
      ${EndIf}
    ${EndIf}
    System::Free $4
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Every local user's terminals (ProfileList: each profile's folder, the
; system's own profiles left out), then the terminals of the account setup
; runs as. The interactive user's are selected.
Function FindTerminals
  ; The profile list is read in the system's own registry view.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  StrCpy $R6 0
  ${Do}
    ClearErrors
    EnumRegKey $R5 HKLM "${PROFILES_KEY}" $R6
    ${If} ${Errors}
    ${OrIf} $R5 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $R6 $R6 + 1
    ${If} $R5 == "S-1-5-18"
    ${OrIf} $R5 == "S-1-5-19"
    ${OrIf} $R5 == "S-1-5-20"
      ${Continue}
    ${EndIf}
    ReadRegStr $R7 HKLM "${PROFILES_KEY}\$R5" "ProfileImagePath"
    ${If} $R7 == ""
      ${Continue}
    ${EndIf}
    ExpandEnvStrings $R7 $R7  ; a REG_EXPAND_SZ such as %SystemDrive%\Users\ann
    ${GetFileName} $R7 $R8    ; the profile folder's name: the user's
    StrCpy $R9 0
    ${If} $R5 == $InteractiveSid
      StrCpy $R9 1
    ${EndIf}
    Push $R6
    StrCpy $R7 "$R7\AppData\Roaming\MetaQuotes\Terminal"
    Call FindTerminalsIn
    Pop $R6
  ${Loop}
  SetRegView default
  ; The account setup runs as (its folders may be in no profile entry);
  ; selected when the interactive user could not be told.
  StrCpy $R9 0
  ${If} $InteractiveSid == ""
    StrCpy $R9 1
  ${EndIf}
  ${GetFileName} $PROFILE $R8
  StrCpy $R7 "$APPDATA\MetaQuotes\Terminal"
  Call FindTerminalsIn
FunctionEnd

; $R0: a registered command or icon ("C:\a b\x.exe" /x, C:\a\x.exe,0);
; returns in $R1 the folder of its program, or "".
Function ProgramFolderOf
  Push $R2
  StrCpy $R1 $R0
  StrCpy $R2 $R1 1
  ${If} $R2 == '"'
    ${WordFind} "$R1" '"' "+1" $R1   ; what the quotes enclose
  ${Else}
    ${WordFind} "$R1" ".exe" "+1{" $R2
    ${If} $R2 != $R1
      StrCpy $R1 "$R2.exe"           ; up to the program's name
    ${EndIf}
  ${EndIf}
  ${WordFind} "$R1" "," "+1{" $R2    ; an icon index after the file
  ${If} $R2 != $R1
    StrCpy $R1 $R2
  ${EndIf}
  ${GetParent} $R1 $R1
  Pop $R2
FunctionEnd

; $R1: a folder an uninstall entry names for program $R7; when it holds
; External Function DLLs, that folder is a target and $R9 is "found".
Function TryMetaStockFolder
  ${If} $R1 == ""
    Return
  ${EndIf}
  StrCpy $R8 $R1 1 -1
  ${If} $R8 == "\"
    StrCpy $R1 $R1 -1
  ${EndIf}
  ${If} ${FileExists} "$R1\External Function DLLs\*.*"
    StrCpy $R0 "MS"
    StrCpy $R1 "$R1\External Function DLLs"
    StrCpy $R2 "MetaStock - $R7"
    StrCpy $R3 1
    Call AddTarget
    StrCpy $R9 "found"
  ${EndIf}
FunctionEnd

; The uninstall entries under ROOT\KEY: each "MetaStock..." program's
; External Function DLLs folder, from its InstallLocation, else the folder
; of its DisplayIcon, else that of its UninstallString (the first that holds
; one).
!macro FIND_METASTOCK_IN ROOT KEY
  StrCpy $R6 0
  ${Do}
    ClearErrors
    EnumRegKey $R5 ${ROOT} "${KEY}" $R6
    ${If} ${Errors}
    ${OrIf} $R5 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $R6 $R6 + 1
    ReadRegStr $R7 ${ROOT} "${KEY}\$R5" "DisplayName"
    StrCpy $R8 $R7 9
    ${If} $R8 != "MetaStock"
      ${Continue}
    ${EndIf}
    Push $R6
    StrCpy $R9 ""
    ReadRegStr $R1 ${ROOT} "${KEY}\$R5" "InstallLocation"
    Call TryMetaStockFolder
    ${If} $R9 == ""
      ReadRegStr $R0 ${ROOT} "${KEY}\$R5" "DisplayIcon"
      StrCpy $R1 ""
      ${If} $R0 != ""
        Call ProgramFolderOf
      ${EndIf}
      Call TryMetaStockFolder
    ${EndIf}
    ${If} $R9 == ""
      ReadRegStr $R0 ${ROOT} "${KEY}\$R5" "UninstallString"
      StrCpy $R1 ""
      ${If} $R0 != ""
        Call ProgramFolderOf
      ${EndIf}
      Call TryMetaStockFolder
    ${EndIf}
    Pop $R6
  ${Loop}
!macroend

Function FindMetaStock
  SetRegView 32
  !insertmacro FIND_METASTOCK_IN HKLM "${UNINSTALL_ROOT}"
  SetRegView 64
  !insertmacro FIND_METASTOCK_IN HKLM "${UNINSTALL_ROOT}"
  SetRegView default
  ; The account setup runs as, and the logged-on user's own (an
  ; administrator's password elevates setup as another account).
  !insertmacro FIND_METASTOCK_IN HKCU "${UNINSTALL_ROOT}"
  ${If} $InteractiveSid != ""
    !insertmacro FIND_METASTOCK_IN HKU "$InteractiveSid\${UNINSTALL_ROOT}"
  ${EndIf}
  ; Then where MetaStock installs by default.
  StrCpy $R0 "MS"
  StrCpy $R2 "MetaStock"
  StrCpy $R3 1
  StrCpy $R1 "$PROGRAMFILES32\Equis\MetaStock\External Function DLLs"
  ${If} ${FileExists} "$R1\*.*"
    Call AddTarget
  ${EndIf}
  StrCpy $R1 "$PROGRAMFILES64\Equis\MetaStock\External Function DLLs"
  ${If} ${FileExists} "$R1\*.*"
    Call AddTarget
  ${EndIf}
  ; The 32-bit program folder by the environment too: an x86_64 build of
  ; setup reads $PROGRAMFILES32 as the 64-bit folder.
  ReadEnvStr $R1 "ProgramFiles(x86)"
  ${If} $R1 != ""
    StrCpy $R1 "$R1\Equis\MetaStock\External Function DLLs"
    StrCpy $R0 "MS"
    StrCpy $R2 "MetaStock"
    StrCpy $R3 1
    ${If} ${FileExists} "$R1\*.*"
      Call AddTarget
    ${EndIf}
  ${EndIf}
FunctionEnd

; A command-line option naming folders: /<NAME>=a;b (each must exist) or
; /NO<NAME>. $R0 the kind, $R8 the option's name, $R9 the command line.
; Sets Skip<kind> when the folders are given or the host refused.
!macro FOLDER_OPTION KIND NAME SKIP LABEL
  ClearErrors
  ${GetOptions} $R9 "/NO${NAME}" $R0
  ${IfNot} ${Errors}
    StrCpy ${SKIP} "1"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/${NAME}=" $R4
  ${IfNot} ${Errors}
    ${If} ${SKIP} == "1"
      ${Fail} 2 "/${NAME} and /NO${NAME} contradict each other"
    ${EndIf}
    StrCpy ${SKIP} "1"
    ${If} $R4 == ""
      ${Fail} 2 "the ${LABEL} folder '' does not exist"
    ${EndIf}
    StrCpy $R5 1
    ${Do}
      ClearErrors
      ${WordFind} "$R4" ";" "E+$R5" $R1
      ${If} ${Errors}
        ${If} $R5 == 1  ; no ";" at all: the whole value is one folder
          StrCpy $R1 $R4
        ${Else}
          ${ExitDo}
        ${EndIf}
      ${EndIf}
      ${If} $R1 != ""
        ${IfNot} ${FileExists} "$R1\*.*"
          ${Fail} 2 "the ${LABEL} folder $R1 does not exist"
        ${EndIf}
        StrCpy $R0 "${KIND}"
        StrCpy $R2 "${LABEL} - $R1"
        StrCpy $R3 1
        Push $R5
        Call AddTarget
        Pop $R5
      ${EndIf}
      ${If} $R1 == $R4
        ${ExitDo}
      ${EndIf}
      IntOp $R5 $R5 + 1
    ${Loop}
  ${EndIf}
!macroend

; /SELECT=all or /SELECT=i;j;...: the targets selected, by their place in
; the list (0 first), as a click on the page's list would select them.
Function ApplySelection
  ; $R9: "all" or the ";"-separated places
  FileOpen $R4 "${TARGETS}" r
  FileOpen $R5 "${TARGETS}.new" w
  StrCpy $R6 0
  ${Do}
    ClearErrors
    FileReadUTF16LE $R4 $R7
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R7 $R7
    StrCpy $R8 0
    ${If} $R9 == "all"
      StrCpy $R8 1
    ${Else}
      ${WordFind} ";$R9;" ";$R6;" "E*" $R3
      ${IfNot} ${Errors}
        StrCpy $R8 1
      ${EndIf}
    ${EndIf}
    ${WordFind} "$R7" "|" "+1" $R0
    ${WordFind} "$R7" "|" "+2}" $R1   ; all after the selected flag
    FileWriteUTF16LE $R5 "$R0|$R8|$R1$\r$\n"
    IntOp $R6 $R6 + 1
  ${Loop}
  FileClose $R4
  FileClose $R5
  Delete "${TARGETS}"
  Rename "${TARGETS}.new" "${TARGETS}"
FunctionEnd

; Writes the target list to the log: "target <place>: <label> = <folder>",
; with "(selected)" for those that will be installed.
Function LogTargets
  StrCpy $R6 0
  FileOpen $R4 "${TARGETS}" r
  ${Do}
    ClearErrors
    FileReadUTF16LE $R4 $R7
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R7 $R7
    ${WordFind} "$R7" "|" "+2" $R1
    ${WordFind} "$R7" "|" "+3" $R2
    ${WordFind} "$R7" "|" "+4" $R3
    ${If} $R1 == "1"
      ${Log} "target $R6: $R3 = $R2 (selected)"
    ${Else}
      ${Log} "target $R6: $R3 = $R2"
    ${EndIf}
    IntOp $R6 $R6 + 1
  ${Loop}
  FileClose $R4
  ${If} $R6 == 0
    ${Log} "No host found: installing the program files alone"
  ${EndIf}
FunctionEnd

; ------------------------------------------------ options and the targets

; The program folder receives an uninstaller that an administrator runs and
; the Start-menu entries of every user: it must be a folder only
; administrators can change, so inside Program Files (/D= elsewhere, on a
; drive or in a profile other users may write, is refused).
Function CheckProgramFolder
  Push $0
  Push $1
  Push $2
  ; The folder as Windows resolves it ("..\" and "." taken out).
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
  ${If} $1 != 0
    StrCpy $INSTDIR $0
  ${EndIf}
  StrLen $1 "$PROGRAMFILES\"
  StrCpy $2 "$INSTDIR" $1
  ${If} $2 != "$PROGRAMFILES\"
    StrLen $1 "$PROGRAMFILES64\"
    StrCpy $2 "$INSTDIR" $1
    ${If} $2 != "$PROGRAMFILES64\"
      ${Fail} 2 "the program folder must be inside $PROGRAMFILES: other users may change $INSTDIR and with it the uninstaller an administrator runs"
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  SetShellVarContext current
  InitPluginsDir
  Delete "${TARGETS}"
  ${GetParameters} $R9
  ; "/MT4=C:\a b\MQL4" (the whole option quoted for a path with spaces)
  ; reads as /MT4=C:\a b\MQL4: GetOptions takes a value up to the next " /".
  ${WordReplace} $R9 '"/' '/' "+" $R9
  ${WordReplace} $R9 '" ' ' ' "+" $R9
  StrCpy $R8 $R9 1 -1
  ${If} $R8 == '"'
    StrCpy $R9 $R9 -1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/LOG=" $LogPath
  ${If} ${Errors}
    ; Setup's own folder, made for this run and writable by it alone: a
    ; fixed name in %TEMP% could be planted (a link) by another program of
    ; the user and turn the elevated setup's write against the machine.
    ; The program folder gets a copy once the install is done.
    StrCpy $LogPath "$PLUGINSDIR\setup.log"
    StrCpy $LogOwn 1
  ${EndIf}
  FileOpen $Log $LogPath w
  FileWriteUTF16LE /BOM $Log ""
  ${Log} "Barsight ${VERSION} setup"
  Call CheckProgramFolder

  StrCpy $SkipMS ""
  StrCpy $SkipMT4 ""
  StrCpy $SkipMT5 ""
!ifndef BARSIGHT_HAVE_MT5
  ; This setup carries no MetaTrader 5 files: no MQL5 folder is a target.
  ClearErrors
  ${GetOptions} $R9 "/MT5=" $R4
  ${IfNot} ${Errors}
    ${Fail} 2 "this setup carries no MetaTrader 5 files (/MT5)"
  ${EndIf}
  StrCpy $SkipMT5 "1"
!endif
  !insertmacro FOLDER_OPTION MS METASTOCK $SkipMS "MetaStock"
  !insertmacro FOLDER_OPTION MT4 MT4 $SkipMT4 "MetaTrader 4"
  !insertmacro FOLDER_OPTION MT5 MT5 $SkipMT5 "MetaTrader 5"
  ClearErrors
  ${GetOptions} $R9 "/SELECT=" $Selection
  ${If} ${Errors}
    StrCpy $Selection ""
  ${EndIf}
  Call FindInteractiveSid
  ${Log} "interactive user: $InteractiveSid"
  ${If} $SkipMS != "1"
    Call FindMetaStock
  ${EndIf}
  ${If} $SkipMT4 != "1"
  ${OrIf} $SkipMT5 != "1"
    Call FindTerminals
  ${EndIf}
  ${If} $Selection != ""
    StrCpy $R9 $Selection
    Call ApplySelection
  ${EndIf}
  Call LogTargets
FunctionEnd

; The targets page (interactive setup): every target found in one
; scrolling list, the interactive user's selected; below it, always in
; view, a folder of each kind to add by hand (a portable install).
Function TargetsPage
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 10u "Install the plug-ins into the selected programs (click to select or clear):"
  Pop $R0
  nsDialogs::CreateControl "LISTBOX" ${__NSD_ListBox_STYLE}|${LBS_MULTIPLESEL}|${WS_HSCROLL} \
    ${__NSD_ListBox_EXSTYLE} 0 11u 100% 60u ""
  Pop $TargetList
  SendMessage $TargetList ${LB_SETHORIZONTALEXTENT} 1600 0  ; long folders scroll sideways
  StrCpy $R6 0
  FileOpen $R4 "${TARGETS}" r
  ${Do}
    ClearErrors
    FileReadUTF16LE $R4 $R7
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R7 $R7
    ${WordFind} "$R7" "|" "+2" $R1
    ${WordFind} "$R7" "|" "+3" $R2
    ${WordFind} "$R7" "|" "+4" $R3
    ${NSD_LB_AddString} $TargetList "$R3  ($R2)"
    ${If} $R1 == "1"
      SendMessage $TargetList ${LB_SETSEL} 1 $R6
    ${EndIf}
    IntOp $R6 $R6 + 1
  ${Loop}
  FileClose $R4
  SendMessage $TargetList ${LB_SETTOPINDEX} 0 0  ; from the first, whatever was selected last
  ${NSD_CreateLabel} 0 76u 34% 10u "Another MetaStock folder:"
  Pop $R0
  ${NSD_CreateText} 34% 74u 66% 12u ""
  Pop $OtherMSField
  ${NSD_CreateLabel} 0 90u 34% 10u "Another MQL4 folder:"
  Pop $R0
  ${NSD_CreateText} 34% 88u 66% 12u ""
  Pop $OtherMT4Field
  ${NSD_CreateLabel} 0 104u 34% 10u "Another MQL5 folder:"
  Pop $R0
  ${NSD_CreateText} 34% 102u 66% 12u ""
  Pop $OtherMT5Field
  nsDialogs::Show
FunctionEnd

; A folder typed on the page: $R0 its field, $R8 its kind, $R9 its label.
!macro OTHER_FOLDER FIELD KIND LABEL
  ${NSD_GetText} ${FIELD} $R1
  ${If} $R1 != ""
    StrCpy $R0 "${KIND}"
    StrCpy $R2 "${LABEL} - $R1"
    StrCpy $R3 1
    Call AddTarget
  ${EndIf}
!macroend

Function TargetsLeave
  ; Every field is checked before any choice is taken over, so that a page
  ; shown again after a refusal reads the same controls.
  ${ForEach} $R5 0 2 + 1
    ${If} $R5 == 0
      ${NSD_GetText} $OtherMSField $R0
    ${ElseIf} $R5 == 1
      ${NSD_GetText} $OtherMT4Field $R0
    ${Else}
      ${NSD_GetText} $OtherMT5Field $R0
    ${EndIf}
    ${If} $R0 != ""
    ${AndIfNot} ${FileExists} "$R0\*.*"
      MessageBox MB_ICONEXCLAMATION "The folder $R0 does not exist."
      Abort
    ${EndIf}
  ${Next}
  ; The list's selection, as places, through the same path as /SELECT.
  StrCpy $R9 ""
  SendMessage $TargetList ${LB_GETCOUNT} 0 0 $R6
  ${For} $R5 0 $R6
    ${If} $R5 < $R6
      SendMessage $TargetList ${LB_GETSEL} $R5 0 $R7
      ${If} $R7 > 0
        StrCpy $R9 "$R9$R5;"
      ${EndIf}
    ${EndIf}
  ${Next}
  ${If} $R9 == ""
    StrCpy $R9 "none"
  ${EndIf}
  Call ApplySelection
  !insertmacro OTHER_FOLDER $OtherMSField MS "MetaStock"
  !insertmacro OTHER_FOLDER $OtherMT4Field MT4 "MetaTrader 4"
  !insertmacro OTHER_FOLDER $OtherMT5Field MT5 "MetaTrader 5"
  Call LogTargets
FunctionEnd

; The finish page: where each part went, and the guide to open.
Function FinishPage
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 10u "Barsight ${VERSION} is installed:"
  Pop $R0
  ${NSD_CreateListBox} 0 11u 100% 84u ""
  Pop $R8
  SendMessage $R8 ${LB_SETHORIZONTALEXTENT} 1600 0
  FileOpen $R4 "${SUMMARY}" r
  ${Do}
    ClearErrors
    FileReadUTF16LE $R4 $R7
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R7 $R7
    ${NSD_LB_AddString} $R8 $R7
  ${Loop}
  FileClose $R4
  ${NSD_CreateCheckbox} 0 100u 100% 12u "Open the Barsight guide now"
  Pop $OpenGuide
  ${NSD_Check} $OpenGuide
  nsDialogs::Show
FunctionEnd

Function FinishLeave
  ${NSD_GetState} $OpenGuide $R0
  ${If} $R0 == ${BST_CHECKED}
    ; Through Explorer, which opens it in the logged-on user's browser (a
    ; browser started by setup itself would run with its rights).
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\INSTALL.htm"'
  ${EndIf}
FunctionEnd

; A line of the summary (the finish page and the log).
!macro WENT TEXT
  FileWriteUTF16LE $R7 "${TEXT}$\r$\n"
  ${Log} "went: ${TEXT}"
!macroend

; ------------------------------------------------ hashes and links

; The SHA-256 of a file as 64 hex digits (CryptoAPI), "" when it cannot be
; read. Push the path, call, pop the hash.
!macro FILE_HASH_FUNCTION UN
Function ${UN}FileHash
  Exch $R5
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $7
  StrCpy $7 ""
  ; GENERIC_READ, sharing read, write and delete, OPEN_EXISTING,
  ; FILE_FLAG_SEQUENTIAL_SCAN
  System::Call 'kernel32::CreateFileW(w R5, i 0x80000000, i 7, p 0, i 3, i 0x08000000, p 0) p .r0'
  ${If} $0 != -1
    ; PROV_RSA_AES, CRYPT_VERIFYCONTEXT; CALG_SHA_256
    System::Call 'advapi32::CryptAcquireContextW(*p .r1, p 0, p 0, i 24, i 0xF0000000) i .r2'
    ${If} $2 != 0
      System::Call 'advapi32::CryptCreateHash(p r1, i 0x800C, p 0, i 0, *p .r3) i .r2'
      ${If} $2 != 0
        System::Alloc 65536
        Pop $4
        ${Do}
          System::Call 'kernel32::ReadFile(p r0, p r4, i 65536, *i .r5, p 0) i .r2'
          ${If} $2 == 0
          ${OrIf} $5 == 0
            ${ExitDo}
          ${EndIf}
          System::Call 'advapi32::CryptHashData(p r3, p r4, i r5, i 0) i .r2'
          ${If} $2 == 0
            ${ExitDo}
          ${EndIf}
        ${Loop}
        ${If} $2 != 0
          ; HP_HASHVAL into the buffer, then as hex (CRYPT_STRING_HEXRAW, no line ends)
          System::Call 'advapi32::CryptGetHashParam(p r3, i 2, p r4, *i 32, i 0) i .r2'
          ${If} $2 != 0
            System::Call 'crypt32::CryptBinaryToStringW(p r4, i 32, i 0x4000000C, w .r7, *i ${NSIS_MAX_STRLEN}) i .r2'
            ${If} $2 == 0
              StrCpy $7 ""
            ${EndIf}
          ${EndIf}
        ${EndIf}
        System::Free $4
        System::Call 'advapi32::CryptDestroyHash(p r3)'
      ${EndIf}
      System::Call 'advapi32::CryptReleaseContext(p r1, i 0)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  StrCpy $R5 $7
  Pop $7
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  Exch $R5
FunctionEnd

; "1" when the path is a reparse point (a junction or a symbolic link: what
; it names may be anywhere), else "". Push the path, call, pop the answer.
Function ${UN}IsLink
  Exch $R5
  Push $R6
  System::Call 'kernel32::GetFileAttributesW(w R5) i .R6'
  ${If} $R6 != -1
    IntOp $R6 $R6 & 0x400  ; FILE_ATTRIBUTE_REPARSE_POINT
  ${Else}
    StrCpy $R6 0
  ${EndIf}
  ${If} $R6 != 0
    StrCpy $R5 1
  ${Else}
    StrCpy $R5 ""
  ${EndIf}
  Pop $R6
  Exch $R5
FunctionEnd

; "1" when the path or a folder on the way to it from ROOT (ROOT included)
; is a reparse point. Push ROOT, then the path; call; pop the answer.
Function ${UN}LinkOnTheWay
  Exch $R5  ; the path
  Exch
  Exch $R6  ; the root
  Push $R7
  Push $R8
  Push $R9
  StrCpy $R7 ""
  ${Do}
    Push $R5
    Call ${UN}IsLink
    Pop $R7
    ; (no root, from an older record: the path alone)
    ${If} $R7 == 1
    ${OrIf} $R5 == $R6
    ${OrIf} $R5 == ""
    ${OrIf} $R6 == ""
      ${ExitDo}
    ${EndIf}
    ; up one folder: everything before the last "\"
    StrLen $R8 $R5
    ${Do}
      IntOp $R8 $R8 - 1
      ${If} $R8 < 0
        StrCpy $R5 ""
        ${ExitDo}
      ${EndIf}
      StrCpy $R9 $R5 1 $R8
      ${If} $R9 == "\"
        StrCpy $R5 $R5 $R8
        ${ExitDo}
      ${EndIf}
    ${Loop}
  ${Loop}
  StrCpy $R5 $R7
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $R6
  Exch $R5
FunctionEnd
!macroend
!insertmacro FILE_HASH_FUNCTION ""
!insertmacro FILE_HASH_FUNCTION "un."

; Whether a file is a program or include a trader may have edited: those
; are kept when changed, the binaries always replaced.
!macro IS_EDITABLE NAME RESULT
  StrCpy ${RESULT} "${NAME}" 4 -4
  ${If} ${RESULT} == ".mq4"
  ${OrIf} ${RESULT} == ".mq5"
  ${OrIf} ${RESULT} == ".mqh"
    StrCpy ${RESULT} 1
  ${Else}
    StrCpy ${RESULT} ""
  ${EndIf}
!macroend

; -------------------------------------------------- per-file operations

; Whether an existing file can be opened for writing (a running host keeps
; its DLL open): the first that cannot is remembered in $Blocked.
; Setup runs with an administrator's rights: it never writes through a
; junction or symbolic link in a target (the target folder itself, a folder
; below it, the file), which could send the files anywhere: the first is
; remembered in $Linked.
!macro CHECK_WRITABLE DIR FOLDER NAME SOURCE HASH
  StrCpy $R0 "${DIR}\${FOLDER}\${NAME}"
  ${If} "${FOLDER}" == ""
    StrCpy $R0 "${DIR}\${NAME}"
  ${EndIf}
  ${If} $Linked == ""
    Push "${DIR}"
    Push $R0
    Call LinkOnTheWay
    Pop $R1
    ${If} $R1 == 1
      StrCpy $Linked $R0
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} $R0
  ${AndIf} "${NAME}" != "BarsightPlugin.dll.config"
    ClearErrors
    FileOpen $R1 $R0 a
    ${If} ${Errors}
      ${If} $Blocked == ""
        StrCpy $Blocked $R0
      ${EndIf}
    ${Else}
      FileClose $R1
    ${EndIf}
  ${EndIf}
!macroend

; Copies one file and records it. The settings file that holds the user's
; window position is never overwritten; a new one is recorded with its size
; and time, so that the uninstaller removes it only if it is unchanged.
; A program or include the trader changed since it was placed (its content
; is neither what setup placed nor what it brings now) is kept; the new one
; goes beside it as NAME.new.
!macro COPY_FILE DIR FOLDER NAME SOURCE HASH
  StrCpy $R0 "${DIR}\${FOLDER}"
  ${If} "${FOLDER}" == ""
    StrCpy $R0 "${DIR}"
  ${EndIf}
  StrCpy $R3 "${NAME}"
  !insertmacro IS_EDITABLE "${NAME}" $R2
  ${If} $R2 == 1
  ${AndIf} ${FileExists} "$R0\${NAME}"
    Push "$R0\${NAME}"
    Call FileHash
    Pop $R2
    ReadRegStr $R1 HKLM "${HASHES_KEY}" "$R0\${NAME}"
    ${If} $R2 != "${HASH}"
    ${AndIf} $R2 != $R1
      StrCpy $R3 "${NAME}.new"
      ${Log} "kept (changed since it was installed): $R0\${NAME}; the new one is $R3"
    ${EndIf}
  ${EndIf}
  ${If} "${NAME}" == "BarsightPlugin.dll.config"
  ${AndIf} ${FileExists} "$R0\${NAME}"
    ${Log} "kept (the user's settings): $R0\${NAME}"
  ${Else}
    Push $R0
    Call MakeFolder
    SetOutPath $R0
    ClearErrors
    File "/oname=$R0\$R3" "${SOURCE}"
    ${If} ${Errors}
      StrCpy $Failed "$R0\$R3"
      ${Log} "could not write: $R0\$R3"
    ${ElseIf} "${NAME}" == "BarsightPlugin.dll.config"
      Push "$R0\${NAME}"
      Call SizeAndTime
      Pop $R2
      FileWriteUTF16LE $Record "C|$R0\${NAME}|$R2$\r$\n"
      ${Log} "installed: $R0\${NAME}"
    ${Else}
      FileWriteUTF16LE $Record "F|$R0\$R3$\r$\n"
      WriteRegStr HKLM "${HASHES_KEY}" "$R0\$R3" "${HASH}"
      ${Log} "installed: $R0\$R3"
    ${EndIf}
  ${EndIf}
!macroend

; Creates a folder (and its parents) that does not exist yet, recording
; each one created so that the uninstaller removes it if it is empty then.
Function MakeFolder
  Exch $R5
  Push $R6
  ${IfNot} ${FileExists} "$R5\*.*"
    ${GetParent} $R5 $R6
    Push $R6
    Call MakeFolder
    CreateDirectory $R5
    FileWriteUTF16LE $Record "D|$R5$\r$\n"
  ${EndIf}
  Pop $R6
  Pop $R5
FunctionEnd

; A file's size and last-write time as "size|high|low".
Function SizeAndTime
  Exch $R5
  Push $R6
  Push $R7
  Push $R8
  StrCpy $R6 0
  ClearErrors
  FileOpen $R7 $R5 r
  ${IfNot} ${Errors}
    FileSeek $R7 0 END $R6
    FileClose $R7
  ${EndIf}
  GetFileTime $R5 $R7 $R8
  StrCpy $R5 "$R6|$R7|$R8"
  Pop $R8
  Pop $R7
  Pop $R6
  Exch $R5
FunctionEnd

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

; ----------------------------------------------------------- uninstall

; The uninstaller's log: /LOG=<file> (none by default; what it keeps and why
; is also in its details window).
Function un.onInit
  StrCpy $Log ""
  ${un.GetParameters} $R9
  ClearErrors
  ${un.GetOptions} $R9 "/LOG=" $LogPath
  ${IfNot} ${Errors}
    FileOpen $Log $LogPath w
    FileWriteUTF16LE /BOM $Log ""
    ${Log} "Barsight ${VERSION} uninstall"
  ${EndIf}
FunctionEnd

; Removes exactly what the installs recorded: files, the settings file only
; if it is unchanged since, and the folders they created once empty. A file
; that cannot be removed (a running host holds it) stays in the record, and
; the uninstaller stays registered, so that a later run can finish the job.
Var Leftover
Var Root  ; the target whose files the record lists now

Section "Uninstall"
  StrCpy $Leftover ""
  ClearErrors
  FileOpen $R0 "${RECORD}" r
  ${IfNot} ${Errors}
    FileOpen $R8 "${RECORD}.left" w
    FileWriteUTF16LE /BOM $R8 ""
    ${Do}
      ClearErrors
      FileReadUTF16LE $R0 $R1
      ${If} ${Errors}
        ${ExitDo}
      ${EndIf}
      ${un.TrimNewLines} $R1 $R1
      StrCpy $R2 $R1 2
      StrCpy $R3 $R1 "" 2
      ${If} $R2 == "T|"
        StrCpy $Root $R3
        FileWriteUTF16LE $R8 "$R1$\r$\n"  ; a later run checks the same way
      ${ElseIf} $R2 == "F|"
        ; Only a file reached without a junction or link from its target,
        ; that still holds what setup placed (an older record has no hash:
        ; removed as before).
        Push $Root
        Push $R3
        Call un.LinkOnTheWay
        Pop $R4
        ReadRegStr $R5 HKLM "${HASHES_KEY}" $R3
        ${If} $R4 == 1
          ${Log} "kept (reached through a junction or symbolic link): $R3"
        ${ElseIf} ${FileExists} $R3
          StrCpy $R6 $R5
          ${If} $R5 != ""
            Push $R3
            Call un.FileHash
            Pop $R6
          ${EndIf}
          ; (A file that cannot be read, held by a running host, is no
          ; changed file: its removal is tried and fails below.)
          ${If} $R6 != $R5
          ${AndIf} $R6 != ""
            ${Log} "kept (changed since it was installed): $R3"
          ${Else}
            ClearErrors
            Delete $R3
            ${If} ${Errors}
              ${Log} "in use, not removed: $R3"
              FileWriteUTF16LE $R8 "$R1$\r$\n"
              StrCpy $Leftover $R3
            ${Else}
              ; The terminal's compiled program of a source setup placed.
              StrCpy $R4 $R3 4 -4
              StrCpy $R5 ""
              ${If} $R4 == ".mq4"
                StrCpy $R5 "$R3" -4
                StrCpy $R5 "$R5.ex4"
              ${ElseIf} $R4 == ".mq5"
                StrCpy $R5 "$R3" -4
                StrCpy $R5 "$R5.ex5"
              ${EndIf}
              ${If} $R5 != ""
              ${AndIf} ${FileExists} $R5
                Push $R5
                Call un.IsLink
                Pop $R4
                ${If} $R4 != 1
                  Delete $R5
                  ${Log} "removed its compiled program: $R5"
                ${EndIf}
              ${EndIf}
            ${EndIf}
          ${EndIf}
        ${EndIf}
      ${ElseIf} $R2 == "C|"
        ${un.WordFind} "$R3" "|" "+1" $R4     ; the path
        StrLen $R5 "$R4|"
        StrCpy $R6 $R3 "" $R5              ; its size and time at install
        Push $R4
        Call un.SizeAndTime
        Pop $R7
        ${If} $R7 == $R6
          ClearErrors
          Delete $R4
          ${If} ${Errors}
            FileWriteUTF16LE $R8 "$R1$\r$\n"
            StrCpy $Leftover $R4
          ${EndIf}
        ${Else}
          ${Log} "kept (changed since it was installed): $R4"
        ${EndIf}
      ${ElseIf} $R2 == "D|"
        FileWriteUTF16LE $R8 "$R1$\r$\n"  ; folders go below, and stay recorded until empty
      ${EndIf}
    ${Loop}
    FileClose $R0
    FileClose $R8
    ; Folders last, deepest first: a pass per level of nesting.
    ${For} $R9 1 6
      FileOpen $R0 "${RECORD}" r
      ${Do}
        ClearErrors
        FileReadUTF16LE $R0 $R1
        ${If} ${Errors}
          ${ExitDo}
        ${EndIf}
        ${un.TrimNewLines} $R1 $R1
        StrCpy $R2 $R1 2
        ${If} $R2 == "D|"
          StrCpy $R3 $R1 "" 2
          Push $R3
          Call un.IsLink
          Pop $R4
          ${If} $R4 != 1
            RMDir $R3  ; only when empty
          ${EndIf}
        ${EndIf}
      ${Loop}
      FileClose $R0
    ${Next}
  ${EndIf}
  ${If} $Leftover != ""
    Delete "${RECORD}"
    Rename "${RECORD}.left" "${RECORD}"
    DetailPrint "Close the program that holds $Leftover and uninstall again."
    ${IfNot} ${Silent}
      MessageBox MB_ICONEXCLAMATION "$Leftover is in use and was not removed: close MetaStock or the MetaTrader terminal and uninstall again."
    ${EndIf}
    ${If} $Log != ""
      FileClose $Log
    ${EndIf}
    SetErrorLevel 3
    Quit  ; ends with that code (a section that runs to its end reports success)
  ${Else}
    Delete "${RECORD}.left"
    Delete "${RECORD}"
    SetShellVarContext all
    Delete "${STARTMENU}\Barsight guide.lnk"
    Delete "${STARTMENU}\Barsight help.lnk"
    Delete "${STARTMENU}\Uninstall Barsight.lnk"
    RMDir "${STARTMENU}"
    SetShellVarContext current
    Delete "$INSTDIR\uninstall.exe"
    Delete "$INSTDIR\setup.log"
    RMDir $INSTDIR
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${HASHES_KEY}"
    DeleteRegKey /ifempty HKLM "Software\Barsight"
    ${Log} "Done"
    ${If} $Log != ""
      FileClose $Log
      StrCpy $Log ""
    ${EndIf}
  ${EndIf}
SectionEnd

Function un.SizeAndTime
  Exch $R5
  Push $R6
  Push $R7
  Push $R8
  StrCpy $R6 0
  ClearErrors
  FileOpen $R7 $R5 r
  ${IfNot} ${Errors}
    FileSeek $R7 0 END $R6
    FileClose $R7
  ${EndIf}
  GetFileTime $R5 $R7 $R8
  StrCpy $R5 "$R6|$R7|$R8"
  Pop $R8
  Pop $R7
  Pop $R6
  Exch $R5
FunctionEnd
