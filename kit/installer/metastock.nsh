; Finding MetaStock: its External Function DLLs folders from the registered
; uninstall entries (both registry views of HKLM, HKCU and the logged-on
; user's) and its default folders.

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
