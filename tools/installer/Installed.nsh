; What is installed and what runs: the installer recognises its own earlier
; installation and its version, asks before replacing a newer one, and neither
; it nor the uninstaller writes or removes anything while a launcher or the game
; of the installation runs. Included by Vexa3711.nsi.

!define RUNNING_SENTENCE "${PRODUCT} is running. Close it, then choose Retry."

!macro RunningFunctions un
    ; $0 = 1 when a process runs from this installation's launcher or game.
    ; By the full image path, so that another installation's launcher does
    ; not count.
    Function ${un}IsRunning
        StrCpy $0 0
        System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r1' ; TH32CS_SNAPPROCESS
        ${If} $1 = 0
        ${OrIf} $1 = -1
            Return
        ${EndIf}
        System::Alloc 568 ; PROCESSENTRY32W
        Pop $2
        System::Call '*$2(i 568)'
        System::Call 'kernel32::Process32FirstW(p r1, p r2) i .r3'
        ${DoWhile} $3 <> 0
            System::Call '*$2(i, i, i .r4)' ; th32ProcessID
            System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r4) p .r5' ; PROCESS_QUERY_LIMITED_INFORMATION
            ${If} $5 <> 0
                StrCpy $6 ""
                System::Call 'kernel32::QueryFullProcessImageNameW(p r5, i 0, w .r6, *i ${NSIS_MAX_STRLEN})'
                System::Call 'kernel32::CloseHandle(p r5)'
                ${If} $6 == "$INSTDIR\${LAUNCHER}"
                ${OrIf} $6 == "$INSTDIR\${GAME}"
                    StrCpy $0 1
                    ${Break}
                ${EndIf}
            ${EndIf}
            System::Call 'kernel32::Process32NextW(p r1, p r2) i .r3'
        ${Loop}
        System::Free $2
        System::Call 'kernel32::CloseHandle(p r1)'
    FunctionEnd

    ; Waits for the player to close what runs: Retry or Cancel, never Ignore.
    ; $0 = 1 when they chose Cancel. A silent run stops at once with the
    ; sentence and exit code 2.
    Function ${un}WaitUntilClosed
    retry:
        Call ${un}IsRunning
        ${IfThen} $0 == 0 ${|} Return ${|}
        ${If} ${Silent}
            Push "${RUNNING_SENTENCE}"
            Call ${un}Fail
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${RUNNING_SENTENCE}" IDRETRY retry
        StrCpy $0 1
    FunctionEnd

    ; In a section: stops the installation or removal, having written nothing,
    ; when the player cancels.
    Function ${un}StopWhileRunning
        Call ${un}WaitUntilClosed
        ${If} $0 == 1
            DetailPrint "${RUNNING_SENTENCE}"
            SetErrorLevel 2
            Abort
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro RunningFunctions ""
!insertmacro RunningFunctions "un."

; $R0 = 1 when $INSTDIR is this product's own installation: the folder the
; uninstall entry names, or one holding both its uninstaller and its location
; record as files. A folder of either name is somebody else's.
Function IsOwnInstallation
    StrCpy $R0 0
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        StrCpy $R0 1
    ${ElseIf} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    ${AndIf} ${FileExists} "$INSTDIR\${LOCATION_RECORD}"
    ${AndIfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}\*.*"
    ${AndIfNot} ${FileExists} "$INSTDIR\${LOCATION_RECORD}\*.*"
        StrCpy $R0 1
    ${EndIf}
FunctionEnd

; $Installed: the version of the installation in $INSTDIR, "" when there is
; none. The newer of the entry's DisplayVersion (when the entry is this
; folder's) and the installed launcher's version resource: an update replaces
; the launcher without always rewriting the entry.
Function ReadInstalledVersion
    StrCpy $Installed ""
    Push $R0
    Call IsOwnInstallation
    StrCpy $1 $R0
    Pop $R0
    ${IfThen} $1 != 1 ${|} Return ${|}
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        ReadRegStr $Installed HKCU "${UNINSTALL_KEY}" "DisplayVersion"
    ${EndIf}
    ClearErrors
    GetDLLVersion "$INSTDIR\${LAUNCHER}" $2 $3
    ${IfNot} ${Errors}
        IntOp $4 $2 >> 16
        IntOp $5 $2 & 0xFFFF
        IntOp $6 $3 >> 16
        StrCpy $4 "$4.$5.$6"
        ${If} $Installed == ""
            StrCpy $Installed $4
        ${Else}
            ${VersionCompare} $4 $Installed $5
            ${IfThen} $5 == 1 ${|} StrCpy $Installed $4 ${|}
        ${EndIf}
    ${EndIf}
FunctionEnd

; $0: 0 the same version is installed, 1 an older one, 2 a newer one, 3 none.
Function CompareInstalled
    Call ReadInstalledVersion
    StrCpy $0 3
    ${If} $Installed != ""
        ${VersionCompare} ${VERSION} $Installed $0
    ${EndIf}
FunctionEnd

; The welcome page's sentence about the installation the default folder holds.
Function DescribeIntent
    Call CompareInstalled
    ${Select} $0
    ${Case} 0
        StrCpy $Intent "${PRODUCT} ${VERSION} is already installed in $INSTDIR. Setup repairs that installation; your saves and settings are kept."
    ${Case} 1
        StrCpy $Intent "${PRODUCT} $Installed is installed in $INSTDIR. Setup updates it to ${VERSION}; your saves and settings are kept."
    ${Case} 2
        StrCpy $Intent "A newer version of ${PRODUCT} ($Installed) is installed in $INSTDIR. Setup asks before replacing it with ${VERSION}."
    ${CaseElse}
        StrCpy $Intent "Setup installs ${PRODUCT} ${VERSION}."
    ${EndSelect}
FunctionEnd

; The folder page's last word: over a newer installation the player decides,
; and No (the default) keeps them on the page.
Function ConfirmReplacement
    Call CompareInstalled
    ${If} $0 == 2
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "A newer version of ${PRODUCT} ($Installed) is installed. Replace it with ${VERSION}?" IDYES replace
        Abort
    ${EndIf}
    replace:
FunctionEnd

Function ComponentsPageLeave
    Call WaitUntilClosed
    ${IfThen} $0 == 1 ${|} Abort ${|}
FunctionEnd

; The last refusals, after the folders were judged and before the first write:
; a newer installation (silently only with /DOWNGRADE), a launcher or game that
; runs, and a file of the installation that cannot be replaced. Any one of them
; later would leave old and new launcher files mixed.
Function BeforeWriting
    Call CompareInstalled
    ${If} $0 == 2
    ${AndIf} ${Silent}
        ${GetParameters} $R9
        !insertmacro OptionGiven "/DOWNGRADE" $1
        ${If} $1 != 1
            Push "A newer version of ${PRODUCT} ($Installed) is installed; this is ${VERSION}. Add /DOWNGRADE to replace it."
            Call Fail
        ${EndIf}
    ${EndIf}
    ${Select} $0
    ${Case} 0
        DetailPrint "Repairing ${PRODUCT} ${VERSION} in $INSTDIR"
    ${Case} 1
        DetailPrint "Updating ${PRODUCT} $Installed to ${VERSION} in $INSTDIR"
    ${Case} 2
        DetailPrint "Replacing ${PRODUCT} $Installed with ${VERSION} in $INSTDIR"
    ${EndSelect}
    Call StopWhileRunning
    !insertmacro ProbePayload
FunctionEnd

; Refuses, before anything is written, the existing path on the stack unless
; this process can open it for writing with nobody else sharing it: held by
; another program, read-only, or a folder in a file's place.
Function CheckReplaceable
    Exch $1
    ${If} ${FileExists} $1
        System::Call 'kernel32::CreateFileW(w r1, i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r2' ; GENERIC_WRITE, OPEN_EXISTING
        ${If} $2 = -1
        ${OrIf} $2 = 0
            Push "Setup cannot replace $\"$1$\": another program holds it, or it is not a file you can write. Close that program, then run Setup again."
            Call Fail
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    Pop $1
FunctionEnd
