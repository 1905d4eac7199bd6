; Finding MetaTrader: the MQL4 and MQL5 data folders of every local user's
; terminals, named by their origin.txt, and the user logged on to this
; session, whose terminals (and MetaStock entries) are selected.

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
