; The list of targets (the MetaStock and MetaTrader folders the plug-ins
; go into) and AddTarget, through which every finder, option and the page
; adds one.

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
