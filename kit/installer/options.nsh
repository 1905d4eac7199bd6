; The command line: the folder options (/METASTOCK=, /MT4=, /MT5=, /NO...),
; /SELECT and the numbered list of targets the log shows for it, the check
; of the program folder (/D=), and .onInit, which reads them all and finds
; the targets.

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
