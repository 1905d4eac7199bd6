; The uninstaller: its options (/LOG=) and the removal of exactly what the
; installs recorded.

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
