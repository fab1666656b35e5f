; The Vexa 3711 installer and uninstaller. cmake/Installer.cmake builds it and
; defines VERSION, PAYLOAD_DIR, PAYLOAD_SCRIPT, CONTROLLER_PAK,
; OUTFILE and SIGNER.
;
; Per user and without elevation by default. A folder the player cannot write
; (Program Files, say) makes it an installation for all users: a copy of the
; installer started with administrator rights writes and registers the
; application folder, and this process then does the player's own part (their
; data, the check), so that their files are theirs.
;
; Command line: /S, /D=<folder> (last and unquoted, as always with NSIS),
; /PLAYERDATA=<folder>, /DESKTOPSHORTCUT, /ALLUSERS (register for all users).
Unicode true
Target amd64-unicode
ManifestSupportedOS all
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define PRODUCT "Vexa 3711"
!define PUBLISHER "Vexa 3711 publisher"
!define LAUNCHER "Vexa3711.exe"
!define UNINSTALLER "Uninstall.exe"
!define LOCATION_RECORD "player-data-location.txt"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexa3711"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!finalize '"${SIGNER}" "%1"' = 0
!uninstfinalize '"${SIGNER}" "%1"' = 0

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include "${PAYLOAD_SCRIPT}"

Var PlayerData    ; the folder player-data-location.txt names
Var AllUsers      ; 1: /ALLUSERS was given
Var Machine       ; 1: registered for all users (HKLM, common shortcuts)
Var Elevate       ; 1: the application folder needs administrator rights
Var ElevatedCopy  ; 1: this is the copy started with those rights
Var Problem       ; why a folder was refused; "" when none was
Var Requested     ; the folder /D= named, exactly as given

!define MUI_ICON "${PAYLOAD_DIR}/Vexa3711.ico"
!define MUI_UNICON "${PAYLOAD_DIR}/Vexa3711.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Start it from the Start menu.$\r$\n$\r$\nYour saves and settings are kept in $PlayerData."
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "${PRODUCT} will be removed from the folder below. Your player data is not touched: saves, the Controller Pak, settings, logs and downloaded launcher updates stay in your player-data folder."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"

Section "${PRODUCT}" SecMain
    SectionIn RO
    AddSize ${PAYLOAD_SIZE_KB} ; the files are unpacked in functions, which NSIS does not count
    ; Every refusal comes before the first write.
    Call PrepareTarget
    ${If} $Problem != ""
        Push $Problem
        Call Fail
    ${EndIf}
    ${If} $Elevate == 1
        Call InstallWithRights
    ${Else}
        Call InstallApplication
    ${EndIf}
    ${If} $ElevatedCopy != 1
        Call CreatePlayerData
        Call CheckInstallation
    ${EndIf}
SectionEnd

Section /o "Desktop shortcut" SecDesktop
    ; Made with the Start-menu shortcut, possibly by the copy with administrator rights.
SectionEnd

Section "Uninstall"
    ; Only what the installer wrote into the application folder. The player-data
    ; folder (saves, Controller Pak, settings, logs, launcher-updates) is never touched.
    !insertmacro RemovePayload
    Delete "$INSTDIR\${LOCATION_RECORD}"
    ; A later installation elsewhere owns the entry and shortcuts: they stay.
    ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        Delete "$SMPROGRAMS\${PRODUCT}.lnk"
        Delete "$DESKTOP\${PRODUCT}.lnk"
        DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ${EndIf}
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
SectionEnd

!macro OptionGiven name var
    ClearErrors
    ${GetOptions} $R9 "${name}" $R0
    StrCpy ${var} 0
    ${IfNot} ${Errors}
        StrCpy ${var} 1
    ${EndIf}
!macroend

!macro SharedFunctions un
    ; $R0 = 1 when this process may create folders in the existing folder $R1.
    ; Nothing stays behind: the probe folder goes again at once.
    Function ${un}CanCreateIn
        System::Call 'kernel32::GetTickCount() i .R0'
        StrCpy $R2 "$R1\~vexa-probe-$R0"
        System::Call 'kernel32::CreateDirectoryW(w R2, p 0) i .R0'
        ${If} $R0 <> 0
            System::Call 'kernel32::RemoveDirectoryW(w R2)'
            StrCpy $R0 1
        ${EndIf}
    FunctionEnd

    ; Starts this program again with administrator rights (Windows asks) and
    ; waits for it. $R1: its arguments. $R0: its exit code, "" when it did not start.
    Function ${un}RunElevated
        StrCpy $R0 ""
        StrCpy $R2 $EXEPATH
        ; SHELLEXECUTEINFOW in its 64-bit layout (System packs, so the padding is
        ; spelled out), fMask SEE_MASK_NOCLOSEPROCESS; hProcess is at offset 104.
        System::Call '*(i 112, i 0x40, p $HWNDPARENT, w "runas", w R2, w R1, p 0, i 1, i 0, p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p .R3'
        System::Call 'shell32::ShellExecuteExW(p R3) i .R4'
        System::Call '*$R3(&i104, p .R5)'
        System::Free $R3
        ${If} $R4 <> 0
        ${AndIf} $R5 <> 0
            System::Call 'kernel32::WaitForSingleObject(p R5, i -1)'
            System::Call 'kernel32::GetExitCodeProcess(p R5, *i .R0)'
            System::Call 'kernel32::CloseHandle(p R5)'
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

Function .onInit
    ${GetParameters} $R9
    StrCpy $PlayerData "$LOCALAPPDATA\Vexa3711Original\PlayerData"
    ClearErrors
    ${GetOptions} $R9 "/PLAYERDATA=" $R0
    ${IfNot} ${Errors}
        StrCpy $PlayerData $R0
    ${EndIf}
    !insertmacro OptionGiven "/ALLUSERS" $AllUsers
    !insertmacro OptionGiven "/ELEVATED" $ElevatedCopy
    !insertmacro OptionGiven "/DESKTOPSHORTCUT" $R1
    ${If} $R1 == 1
        !insertmacro SelectSection ${SecDesktop}
    ${EndIf}
    ; NSIS quietly falls back to the default folder when /D= names a folder it
    ; does not accept (a relative one, say), and later drops the characters it
    ; dislikes, "/" among them; the checks must judge what was asked for.
    System::Call 'kernel32::GetCommandLineW() w .R0'
    StrLen $R1 $R0
    StrCpy $R2 0
    ${DoWhile} $R2 < $R1
        StrCpy $R3 $R0 4 $R2
        ${If} $R3 S== " /D="
            IntOp $R2 $R2 + 4
            StrCpy $Requested $R0 "" $R2
            StrCpy $INSTDIR $Requested
            ${Break}
        ${EndIf}
        IntOp $R2 $R2 + 1
    ${Loop}
FunctionEnd

Function DirectoryPageLeave
    Call PrepareTarget
    ${If} $Problem != ""
        MessageBox MB_ICONEXCLAMATION|MB_OK $Problem
        Abort
    ${EndIf}
    ${If} $Elevate == 1
        MessageBox MB_ICONINFORMATION|MB_OKCANCEL "$\"$INSTDIR$\" needs administrator rights: ${PRODUCT} will be installed there for all users of this computer, and Windows will ask for an administrator's permission.$\r$\n$\r$\nChoose Cancel to pick a folder of your own instead." IDOK +2
        Abort
    ${EndIf}
FunctionEnd

; Judges the application and player-data folders before anything is written,
; normalizes them, and decides whether the application folder needs
; administrator rights. Sets $Problem when a folder is refused.
Function PrepareTarget
    StrCpy $Problem ""
    StrCpy $Machine $AllUsers
    StrCpy $Elevate 0
    StrCpy $R1 $INSTDIR
    ${If} ${Silent}
    ${AndIf} $Requested != ""
        StrCpy $R1 $Requested
    ${EndIf}
    Call CheckFolder
    StrCmp $Problem "" 0 done
    StrCpy $INSTDIR $R1
    StrCpy $R1 $PlayerData
    Call CheckFolder
    StrCmp $Problem "" 0 done
    StrCpy $PlayerData $R1
    ; Whether the rest can be created is decided in the nearest existing folder.
    StrCpy $R2 $INSTDIR
    ${DoUntil} ${FileExists} "$R2\*.*"
        Call ParentFolder
        ${If} $R2 == ""
            StrCpy $Problem "Cannot create $\"$INSTDIR$\": its drive or share does not exist. Choose another folder."
            Goto done
        ${EndIf}
    ${Loop}
    StrCpy $R1 $R2
    Call CanCreateIn
    ${If} $R0 != 1
        ${If} $ElevatedCopy == 1
            StrCpy $Problem "Cannot write to $\"$INSTDIR$\", even with administrator rights. Choose another folder."
        ${Else}
            StrCpy $Elevate 1
            StrCpy $Machine 1
        ${EndIf}
    ${ElseIf} $Machine == 1
    ${AndIf} $ElevatedCopy != 1
        ; Registering for all users writes HKLM, which needs the rights too.
        UserInfo::GetAccountType
        Pop $R0
        ${If} $R0 != "Admin"
            StrCpy $Elevate 1
        ${EndIf}
    ${EndIf}
done:
FunctionEnd

; The launcher's rules for the folder in $R1: absolute, and neither it nor any
; folder above it a reparse point (symbolic link, junction, mount point).
; Leaves the normal form in $R1, or the refusal in $Problem.
Function CheckFolder
    ; Both separators count, as in the launcher's path grammar.
    StrCpy $R2 ""
    StrCpy $R3 0
    ${Do}
        StrCpy $R4 $R1 1 $R3
        ${IfThen} $R4 == "/" ${|} StrCpy $R4 "\" ${|}
        StrCpy $R2 "$R2$R4"
        IntOp $R3 $R3 + 1
    ${LoopUntil} $R4 == ""
    StrCpy $R1 $R2
    StrCpy $R2 $R1 2 1
    StrCpy $R3 $R1 2
    StrCpy $R4 $R1 1 2
    ${If} $R2 != ":\"
        ${If} $R3 != "\\"
        ${OrIf} $R4 == "\"
        ${OrIf} $R4 == ""
            StrCpy $Problem "Choose an absolute installation or data folder, not $\"$R1$\"."
            Return
        ${EndIf}
    ${EndIf}
    System::Call 'kernel32::GetFullPathNameW(w R1, i ${NSIS_MAX_STRLEN}, w .R1, p 0)'
    StrCpy $R2 $R1
    ${Do}
        System::Call 'kernel32::GetFileAttributesW(w R2) i .R3'
        ${If} $R3 <> -1
            IntOp $R3 $R3 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
            ${If} $R3 <> 0
                StrCpy $Problem "Linked installation or save folders are unsupported: $\"$R2$\" is a link. Choose another folder."
                Return
            ${EndIf}
        ${EndIf}
        Call ParentFolder
    ${LoopUntil} $R2 == ""
FunctionEnd

; $R2 becomes the folder above it: "X:\" above "X:\a", "" above a root.
Function ParentFolder
    ${GetParent} $R2 $R3
    StrCpy $R4 $R3 1 -1
    StrLen $R5 $R3
    ${If} $R4 == ":"
        StrCpy $R2 "$R3\"
    ${ElseIf} $R5 < 3
        StrCpy $R2 ""
    ${Else}
        StrCpy $R2 $R3
    ${EndIf}
FunctionEnd

; Tells the player and stops: a box, or for a silent installation the
; standard error handle it was given, if any.
Function Fail
    Exch $R1
    DetailPrint $R1
    MessageBox MB_ICONSTOP|MB_OK $R1 /SD IDOK
    ${If} ${Silent}
        System::Call 'kernel32::GetStdHandle(i -12) p .R5'
        ${If} $R5 <> 0
        ${AndIf} $R5 <> -1
            Call WriteUtf8
        ${EndIf}
    ${EndIf}
    Abort
FunctionEnd

Function InstallWithRights
    DetailPrint "Installing into $INSTDIR with administrator rights"
    StrCpy $R1 '/S /ALLUSERS /ELEVATED /PLAYERDATA="$PlayerData"'
    ${If} ${SectionIsSelected} ${SecDesktop}
        StrCpy $R1 "$R1 /DESKTOPSHORTCUT"
    ${EndIf}
    StrCpy $R1 "$R1 /D=$INSTDIR"
    Call RunElevated
    ${If} $R0 == ""
        Push "${PRODUCT} was not installed: $\"$INSTDIR$\" needs administrator rights. Choose a folder of your own instead."
        Call Fail
    ${ElseIf} $R0 != 0
        Push "Installing into $\"$INSTDIR$\" with administrator rights failed (exit code $R0). Choose another folder."
        Call Fail
    ${EndIf}
FunctionEnd

; The application folder and its registration: files, location record,
; uninstaller, uninstall entry, shortcuts.
Function InstallApplication
    ${If} $Machine == 1
        SetShellVarContext all
    ${EndIf}
    !insertmacro InstallPayload
    Call WriteLocationRecord
    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${LAUNCHER},0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${PAYLOAD_SIZE_KB}
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    SetOutPath "$INSTDIR" ; the shortcuts' working folder
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${LAUNCHER}"
    ${If} ${SectionIsSelected} ${SecDesktop}
        CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${LAUNCHER}"
    ${EndIf}
    ${If} ${Errors}
        Push "${PRODUCT} could not be registered with Windows (uninstaller, uninstall entry or shortcuts)."
        Call Fail
    ${EndIf}
    SetShellVarContext current
FunctionEnd

; Writes $R1 as UTF-8 to the open file handle $R5. $R0 = 1 when all of it was written.
Function WriteUtf8
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w R1, i -1, p 0, i 0, p 0, p 0) i .R2'
    System::Alloc $R2
    Pop $R3
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w R1, i -1, p R3, i R2, p 0, p 0)'
    IntOp $R2 $R2 - 1 ; not the terminating zero
    System::Call 'kernel32::WriteFile(p R5, p R3, i R2, *i .R6, p 0) i .R0'
    System::Free $R3
    ${If} $R0 <> 0
    ${AndIf} $R6 == $R2
        StrCpy $R0 1
    ${EndIf}
FunctionEnd

; Raw UTF-8 without byte-order mark or line break: the launcher takes every
; byte as part of the path.
Function WriteLocationRecord
    StrCpy $R0 0
    StrCpy $R1 $PlayerData
    ClearErrors
    FileOpen $R5 "$INSTDIR\${LOCATION_RECORD}" w
    ${IfNot} ${Errors}
        Call WriteUtf8
        FileClose $R5
    ${EndIf}
    ${If} $R0 != 1
        Push "Cannot write $INSTDIR\${LOCATION_RECORD}."
        Call Fail
    ${EndIf}
FunctionEnd

; Only what is missing: a reinstallation keeps every byte of the player's data.
Function CreatePlayerData
    SetOutPath "$PlayerData"
    SetOverwrite off
    File "/oname=controller.mpk" "${CONTROLLER_PAK}"
    File "/oname=input.cfg" "${PAYLOAD_DIR}/defaults/input.cfg"
    SetOverwrite on
    SetOutPath "$TEMP"
    ${IfNot} ${FileExists} "$PlayerData\controller.mpk"
    ${OrIfNot} ${FileExists} "$PlayerData\input.cfg"
        Push "Cannot create your player data in $PlayerData."
        Call Fail
    ${EndIf}
FunctionEnd

; The launcher's own check of the installation; its sentence reaches the player.
Function CheckInstallation
    DetailPrint "Checking the installation"
    nsExec::ExecToStack '"$INSTDIR\${LAUNCHER}" --verify-application'
    Pop $R0
    Pop $R1
    ${IfThen} $R1 == "" ${|} StrCpy $R1 "$INSTDIR\${LAUNCHER} did not start." ${|}
    ${If} $R0 != 0
        Push "${PRODUCT} was installed, but its check failed:$\r$\n$\r$\n$R1"
        Call Fail
    ${EndIf}
FunctionEnd

Function un.onInit
    ; An installation for all users is registered under HKLM.
    ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        SetShellVarContext all
    ${EndIf}
    ${GetParameters} $R9
    !insertmacro OptionGiven "/ELEVATED" $ElevatedCopy
    StrCpy $R1 $INSTDIR
    Call un.CanCreateIn
    ${If} $R0 != 1
    ${AndIf} $ElevatedCopy != 1
        StrCpy $R1 "/ELEVATED _?=$INSTDIR"
        ${If} ${Silent}
            StrCpy $R1 "/S $R1"
        ${EndIf}
        Call un.RunElevated
        ${IfThen} $R0 == "" ${|} StrCpy $R0 2 ${|}
        SetErrorLevel $R0
        Quit
    ${EndIf}
FunctionEnd
