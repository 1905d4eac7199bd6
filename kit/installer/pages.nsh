; The pages of an interactive setup: the targets page (the list to select
; from, a folder of each kind to add by hand) and the finish page (where
; each part went, the guide to open).

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
