; Barsight setup: installs the plug-ins into the MetaStock external function
; folder and into every MetaTrader 4 data folder (MQL4) it finds or is given,
; and the program files (tools, guides, help pages, formulas) into
; $PROGRAMFILES\Barsight, with an uninstaller that removes exactly what the
; installs placed.
;
; Silent use: setup.exe /S [/METASTOCK=<folder>] [/MT4=<MQL4 folder>[;...]]
;             [/NOMETASTOCK] [/NOMT4] [/LOG=<file>]
; Exit codes: 0 done; 2 bad options; 3 a file to replace is in use (nothing
; was changed); 4 a file could not be written.
;
; Defines from scripts/make_release.py: VERSION, VERSION4, FILES, OUTFILE.

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
!include "${FILES}"

!define PRODUCT "Barsight"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Barsight"
!define RECORD "$INSTDIR\installed.txt"

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
Var MetaStock      ; the MetaStock external function folder, or ""
Var MT4List        ; MQL4 folders, each followed by "|"
Var Blocked        ; the first file that cannot be replaced, or ""
Var Failed         ; a file could not be written
Var Record         ; handle of the record of installed files
Var Dialog
Var MetaStockFound ; "1" when setup found (or was given) the MetaStock folder
Var MetaStockBox
Var MetaStockField
Var MT4Boxes       ; "<checkbox handle>=<folder>|" for each MetaTrader folder
Var OtherMT4Field

Page custom TargetsPage TargetsLeave
Page instfiles
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

; ------------------------------------------------ options and the targets

Function .onInit
  SetShellVarContext current
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
    StrCpy $LogPath "$TEMP\barsight-setup.log"
  ${EndIf}
  FileOpen $Log $LogPath w
  FileWriteUTF16LE /BOM $Log ""
  ${Log} "Barsight ${VERSION} setup"

  StrCpy $MetaStock ""
  StrCpy $MT4List ""
  ClearErrors
  ${GetOptions} $R9 "/NOMETASTOCK" $R0
  ${IfNot} ${Errors}
    StrCpy $R1 "no"
  ${Else}
    StrCpy $R1 ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/METASTOCK=" $R0
  ${IfNot} ${Errors}
    ${If} $R1 == "no"
      ${Fail} 2 "/METASTOCK and /NOMETASTOCK contradict each other"
    ${EndIf}
    ${If} $R0 == ""
    ${OrIfNot} ${FileExists} "$R0\*.*"
      ${Fail} 2 "the MetaStock folder '$R0' does not exist"
    ${EndIf}
    StrCpy $MetaStock $R0
  ${ElseIf} $R1 != "no"
    ; Where MetaStock keeps its external function DLLs by default.
    ${If} ${FileExists} "$PROGRAMFILES32\Equis\MetaStock\External Function DLLs\*.*"
      StrCpy $MetaStock "$PROGRAMFILES32\Equis\MetaStock\External Function DLLs"
    ${EndIf}
  ${EndIf}

  ClearErrors
  ${GetOptions} $R9 "/NOMT4" $R0
  ${IfNot} ${Errors}
    StrCpy $R1 "no"
  ${Else}
    StrCpy $R1 ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/MT4=" $R0
  ${IfNot} ${Errors}
    ${If} $R1 == "no"
      ${Fail} 2 "/MT4 and /NOMT4 contradict each other"
    ${EndIf}
    ; A ";"-separated list of MQL4 folders, each of which must exist.
    StrCpy $R2 1
    ${Do}
      ${WordFind} "$R0" ";" "E+$R2" $R3
      ${If} ${Errors}
        ${If} $R2 == 1  ; no ";" at all: the whole value is one folder
          StrCpy $R3 $R0
        ${Else}
          ${ExitDo}
        ${EndIf}
      ${EndIf}
      ClearErrors
      ${If} $R3 != ""
        ${IfNot} ${FileExists} "$R3\*.*"
          ${Fail} 2 "the MetaTrader folder $R3 does not exist"
        ${EndIf}
        StrCpy $MT4List "$MT4List$R3|"
      ${EndIf}
      ${If} $R3 == $R0
        ${ExitDo}
      ${EndIf}
      IntOp $R2 $R2 + 1
    ${Loop}
  ${ElseIf} $R1 != "no"
    Call FindMT4Folders
  ${EndIf}

  StrCpy $MetaStockFound ""
  ${If} $MetaStock != ""
    StrCpy $MetaStockFound "1"
  ${EndIf}
  ${If} $MetaStock == ""
    ${Log} "MetaStock: not found or not chosen"
  ${Else}
    ${Log} "MetaStock: $MetaStock"
  ${EndIf}
  ${If} $MT4List == ""
    ${Log} "MetaTrader 4: no data folder found or chosen"
  ${EndIf}
  ${If} $MetaStock == ""
  ${AndIf} $MT4List == ""
    ${Log} "No host found: installing the program files alone"
  ${EndIf}
FunctionEnd

; Every %APPDATA%\MetaQuotes\Terminal\<id>\MQL4 of the user running setup.
Function FindMT4Folders
  StrCpy $R4 "$APPDATA\MetaQuotes\Terminal"
  ClearErrors
  FindFirst $R5 $R6 "$R4\*"
  ${DoUntil} ${Errors}
    ${If} $R6 != "."
    ${AndIf} $R6 != ".."
    ${AndIf} ${FileExists} "$R4\$R6\MQL4\*.*"
      StrCpy $MT4List "$MT4List$R4\$R6\MQL4|"
    ${EndIf}
    FindNext $R5 $R6
  ${Loop}
  FindClose $R5
FunctionEnd

; $R0: an MQL4 folder; returns in $R1 its terminal's install folder from
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

; The targets page (interactive setup): a check box per target found.
Function TargetsPage
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 12u "Install the plug-ins into these programs:"
  Pop $R0
  StrCpy $R7 16
  ${If} $MetaStockFound == "1"
    ${NSD_CreateCheckbox} 0 $R7u 100% 12u "MetaStock: $MetaStock"
    Pop $MetaStockBox
    ${NSD_Check} $MetaStockBox
    IntOp $R7 $R7 + 14
  ${Else}
    ${NSD_CreateLabel} 0 $R7u 100% 10u "MetaStock external function folder (empty: none):"
    Pop $R0
    IntOp $R7 $R7 + 11
    ${NSD_CreateText} 0 $R7u 100% 12u ""
    Pop $MetaStockField
    IntOp $R7 $R7 + 16
  ${EndIf}
  StrCpy $MT4Boxes ""
  StrCpy $R8 $MT4List
  ${Do}
    ${WordFind} "$R8" "|" "+1" $R0
    ${If} $R0 == $R8
    ${OrIf} $R0 == ""
      ${ExitDo}
    ${EndIf}
    Push $R7
    Call OriginOf
    Pop $R7
    ${If} $R1 == ""
      StrCpy $R1 $R0
    ${EndIf}
    ${NSD_CreateCheckbox} 0 $R7u 100% 12u "MetaTrader 4: $R1"
    Pop $R3
    ${NSD_Check} $R3
    StrCpy $MT4Boxes "$MT4Boxes$R3=$R0|"
    IntOp $R7 $R7 + 14
    StrLen $R2 "$R0|"
    StrCpy $R8 $R8 "" $R2
  ${Loop}
  ${NSD_CreateLabel} 0 $R7u 100% 10u "Another MetaTrader MQL4 folder (a portable install; empty: none):"
  Pop $R0
  IntOp $R7 $R7 + 11
  ${NSD_CreateText} 0 $R7u 100% 12u ""
  Pop $OtherMT4Field
  nsDialogs::Show
FunctionEnd

Function TargetsLeave
  ; Every field is checked before any choice is taken over, so that a page
  ; shown again after a refusal reads the same controls.
  ${If} $MetaStockFound != "1"
    ${NSD_GetText} $MetaStockField $R0
    ${If} $R0 != ""
    ${AndIfNot} ${FileExists} "$R0\*.*"
      MessageBox MB_ICONEXCLAMATION "The folder $R0 does not exist."
      Abort
    ${EndIf}
  ${EndIf}
  ${NSD_GetText} $OtherMT4Field $R0
  ${If} $R0 != ""
  ${AndIfNot} ${FileExists} "$R0\*.*"
    MessageBox MB_ICONEXCLAMATION "The folder $R0 does not exist."
    Abort
  ${EndIf}

  ${If} $MetaStockFound == "1"
    ${NSD_GetState} $MetaStockBox $R0
    ${If} $R0 == ${BST_CHECKED}
      ; keeps $MetaStock as found
    ${Else}
      StrCpy $MetaStock ""
    ${EndIf}
  ${Else}
    ${NSD_GetText} $MetaStockField $MetaStock
  ${EndIf}
  StrCpy $R8 $MT4Boxes
  StrCpy $MT4List ""
  ${Do}
    ${WordFind} "$R8" "|" "+1" $R0
    ${If} $R0 == $R8
    ${OrIf} $R0 == ""
      ${ExitDo}
    ${EndIf}
    ${WordFind} "$R0" "=" "+1" $R1       ; the check box
    ${WordFind} "$R0" "=" "+1}" $R2      ; its folder
    ${NSD_GetState} $R1 $R3
    ${If} $R3 == ${BST_CHECKED}
      StrCpy $MT4List "$MT4List$R2|"
    ${EndIf}
    StrLen $R2 "$R0|"
    StrCpy $R8 $R8 "" $R2
  ${Loop}
  ${NSD_GetText} $OtherMT4Field $R0
  ${If} $R0 != ""
    StrCpy $MT4List "$MT4List$R0|"
  ${EndIf}
FunctionEnd

; -------------------------------------------------- per-file operations

; Whether an existing file can be opened for writing (a running host keeps
; its DLL open): the first that cannot is remembered in $Blocked.
!macro CHECK_WRITABLE DIR FOLDER NAME SOURCE
  StrCpy $R0 "${DIR}\${FOLDER}\${NAME}"
  ${If} "${FOLDER}" == ""
    StrCpy $R0 "${DIR}\${NAME}"
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
!macro COPY_FILE DIR FOLDER NAME SOURCE
  StrCpy $R0 "${DIR}\${FOLDER}"
  ${If} "${FOLDER}" == ""
    StrCpy $R0 "${DIR}"
  ${EndIf}
  ${If} "${NAME}" == "BarsightPlugin.dll.config"
  ${AndIf} ${FileExists} "$R0\${NAME}"
    ${Log} "kept (the user's settings): $R0\${NAME}"
  ${Else}
    Push $R0
    Call MakeFolder
    SetOutPath $R0
    ClearErrors
    File "/oname=$R0\${NAME}" "${SOURCE}"
    ${If} ${Errors}
      StrCpy $Failed "$R0\${NAME}"
      ${Log} "could not write: $R0\${NAME}"
    ${ElseIf} "${NAME}" == "BarsightPlugin.dll.config"
      Push "$R0\${NAME}"
      Call SizeAndTime
      Pop $R2
      FileWriteUTF16LE $Record "C|$R0\${NAME}|$R2$\r$\n"
      ${Log} "installed: $R0\${NAME}"
    ${Else}
      FileWriteUTF16LE $Record "F|$R0\${NAME}$\r$\n"
      ${Log} "installed: $R0\${NAME}"
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

Section "Barsight"
  ; Never a half-updated folder: every existing file to be replaced, in
  ; every target, must be writable before anything is copied.
  StrCpy $Blocked ""
  !insertmacro BARSIGHT_PROGRAM_FILES CHECK_WRITABLE "$INSTDIR"
  ${If} $MetaStock != ""
    !insertmacro BARSIGHT_METASTOCK_FILES CHECK_WRITABLE "$MetaStock"
  ${EndIf}
  StrCpy $R8 $MT4List
  ${Do}
    ${WordFind} "$R8" "|" "+1" $R9
    ${If} $R9 == $R8
    ${OrIf} $R9 == ""
      ${ExitDo}
    ${EndIf}
    !insertmacro BARSIGHT_MT4_FILES CHECK_WRITABLE "$R9"
    StrLen $R1 "$R9|"
    StrCpy $R8 $R8 "" $R1
  ${Loop}
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
  !insertmacro BARSIGHT_PROGRAM_FILES COPY_FILE "$INSTDIR"
  ${If} $MetaStock != ""
    ${Log} "MetaStock files: $MetaStock"
    !insertmacro BARSIGHT_METASTOCK_FILES COPY_FILE "$MetaStock"
  ${EndIf}
  StrCpy $R8 $MT4List
  ${Do}
    ${WordFind} "$R8" "|" "+1" $R9
    ${If} $R9 == $R8
    ${OrIf} $R9 == ""
      ${ExitDo}
    ${EndIf}
    StrCpy $R0 $R9
    Call OriginOf
    ${Log} "MetaTrader 4 files: $R9 (terminal: $R1)"
    !insertmacro BARSIGHT_MT4_FILES COPY_FILE "$R9"
    StrLen $R1 "$R9|"
    StrCpy $R8 $R8 "" $R1
  ${Loop}

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
  ${If} $Failed != ""
    ${Fail} 4 "$Failed could not be written"
  ${EndIf}
  ${Log} "Done"
  FileClose $Log
  StrCpy $Log ""
SectionEnd

; ----------------------------------------------------------- uninstall

Function un.onInit
  StrCpy $Log ""
FunctionEnd

; Removes exactly what the installs recorded: files, the settings file only
; if it is unchanged since, and the folders they created once empty. A file
; that cannot be removed (a running host holds it) stays in the record, and
; the uninstaller stays registered, so that a later run can finish the job.
Var Leftover

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
      ${If} $R2 == "F|"
        ClearErrors
        Delete $R3
        ${If} ${Errors}
          DetailPrint "in use, not removed: $R3"
          FileWriteUTF16LE $R8 "$R1$\r$\n"
          StrCpy $Leftover $R3
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
          DetailPrint "kept (changed since install): $R4"
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
          RMDir $R3  ; only when empty
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
    SetErrorLevel 3
    Quit  ; ends with that code (a section that runs to its end reports success)
  ${Else}
    Delete "${RECORD}.left"
    Delete "${RECORD}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir $INSTDIR
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
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
