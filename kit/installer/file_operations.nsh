; What is done to each file: its hash and whether a link is on the way to
; it (for setup and uninstaller alike), the check that every file to be
; replaced is writable, the copy that records it and keeps what the trader
; changed, and the folders made on the way.

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
