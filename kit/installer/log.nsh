; Setup's log: ${Log} writes a line to the log file and the details window,
; ${Fail} ends setup with an exit code and the reason, and WENT writes a
; line of the summary of where each part went (the finish page and the log).

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

; A line of the summary (the finish page and the log).
!macro WENT TEXT
  FileWriteUTF16LE $R7 "${TEXT}$\r$\n"
  ${Log} "went: ${TEXT}"
!macroend
