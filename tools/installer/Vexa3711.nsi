; The Vexa 3711 installer and uninstaller. cmake/Installer.cmake builds it and
; defines VERSION, PAYLOAD_DIR, PAYLOAD_SCRIPT, CONTROLLER_PAK, WIZARD_BITMAP,
; OUTFILE and SIGNER.
;
; For the player's own account only, never elevated: every file it writes is
; the player's, and a folder they cannot write is refused, not escalated. It
; installs only into a missing or empty folder or over its own installation,
; and keeps the player's data apart from the application folder.
;
; Command line: /S, /D=<folder> (last and unquoted, as always with NSIS),
; /PLAYERDATA=<folder>, /DESKTOPSHORTCUT, /DOWNGRADE (replace a newer
; installation). Any other option is refused.
Unicode true
Target amd64-unicode
ManifestSupportedOS all
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define PRODUCT "Vexa 3711"
!define PUBLISHER "Vexa 3711 publisher"
!define LAUNCHER "Vexa3711.exe"
!define GAME "VexaWindowsRT64.exe"
!define UNINSTALLER "Uninstall.exe"
!define LOCATION_RECORD "player-data-location.txt"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexa3711"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; No closing "\": a folder the player browses to gets "\Vexa 3711" appended,
; so choosing a folder of their own never means installing loose into it.
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!finalize '"${SIGNER}" "%1"' = 0
!uninstfinalize '"${SIGNER}" "%1"' = 0

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WordFunc.nsh
!include "${PAYLOAD_SCRIPT}"

Var PlayerData    ; the folder player-data-location.txt names
Var Problem       ; why a folder was refused; "" when none was
Var Requested     ; the folder /D= named, exactly as given
Var RemoveLinks   ; 1: the link walk removes the links it meets (uninstaller)
Var Installed     ; the version installed in $INSTDIR; "" when none is
Var Intent        ; what the welcome page says this run does

; Opens a block that runs only when the folder and every folder above it are
; plain folders: the uninstaller deletes nothing through a link.
!macro IfUnlinked folder
    StrCpy $R1 "${folder}"
    StrCpy $Problem ""
    Call un.CheckFolder
    ${If} $Problem == ""
!macroend

!define MUI_ICON "${PAYLOAD_DIR}/Vexa3711.ico"
!define MUI_UNICON "${PAYLOAD_DIR}/Vexa3711.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD_BITMAP}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_WELCOMEPAGE_TITLE "${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "This sets up the launcher of ${PRODUCT} for your account. You will play with your own cartridge image; your saves and settings stay apart from the game's files.$\r$\n$\r$\n$Intent$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE ComponentsPageLeave
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Start it here or from the Start menu.$\r$\n$\r$\nYour saves and settings are kept in $PlayerData."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartLauncher
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
    Call BeforeWriting
    Call InstallApplication
    Call CreatePlayerData
    Call CheckInstallation
SectionEnd

Section /o "Desktop shortcut" SecDesktop
    ; Made with the Start-menu shortcut.
SectionEnd

Section "Uninstall"
    ; Only what the installer wrote into the application folder, and nothing
    ; through a link: a linked folder goes as a link (Windows leaves what it
    ; points at), and what lies below a link that stays is skipped. The
    ; player-data folder (saves, Controller Pak, settings, logs,
    ; launcher-updates) is never touched.
    Call un.StopWhileRunning
    StrCpy $RemoveLinks 1
    StrCpy $R1 $INSTDIR
    Call un.WalkLinks
    !insertmacro RemovePayload
    Delete "$INSTDIR\${LOCATION_RECORD}"
    ; A later installation elsewhere owns the entry and shortcuts: they stay.
    ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == $INSTDIR
        Delete "$SMPROGRAMS\${PRODUCT}.lnk"
        Delete "$DESKTOP\${PRODUCT}.lnk"
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
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
    ; The launcher's rules for the folder in $R1: absolute, and neither it nor any
    ; folder above it a reparse point (symbolic link, junction, mount point).
    ; Leaves the normal form in $R1, or the refusal in $Problem.
    Function ${un}CheckFolder
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
            Call ${un}IsLink
            ${If} $R3 == 1
                StrCpy $Problem "Linked installation or save folders are unsupported: $\"$R2$\" is a link. Choose another folder."
                Return
            ${EndIf}
            Call ${un}ParentFolder
        ${LoopUntil} $R2 == ""
    FunctionEnd

    ; $R3 = 1 when $R2 exists and is a reparse point, else 0.
    Function ${un}IsLink
        System::Call 'kernel32::GetFileAttributesW(w R2) i .R3'
        ${If} $R3 <> -1
            IntOp $R3 $R3 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
            ${If} $R3 <> 0
                StrCpy $R3 1
                Return
            ${EndIf}
        ${EndIf}
        StrCpy $R3 0
    FunctionEnd

    ; $R2 becomes the folder above it: "X:\" above "X:\a", "" above a root.
    Function ${un}ParentFolder
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

    ; Walks every folder below $R1 and never enters a link. With $RemoveLinks 1
    ; a linked folder is removed as a link (RemoveDirectoryW: Windows leaves
    ; what it points at); otherwise the first one found is the refusal in $Problem.
    Function ${un}WalkLinks
        Push "" ; the end of the folders still to walk
        Push $R1
        ${Do}
            Pop $R6
            ${IfThen} $R6 == "" ${|} ${Break} ${|}
            FindFirst $R7 $R8 "$R6\*.*"
            ${DoWhile} $R8 != ""
                StrCpy $R2 "$R6\$R8"
                ${If} $R8 != "."
                ${AndIf} $R8 != ".."
                ${AndIf} ${FileExists} "$R2\*.*"
                    Call ${un}IsLink
                    ${If} $R3 == 0
                        Push $R2
                    ${ElseIf} $RemoveLinks == 1
                        System::Call 'kernel32::RemoveDirectoryW(w R2)'
                    ${ElseIf} $Problem == ""
                        StrCpy $Problem "Linked installation or save folders are unsupported: $\"$R2$\" is a link. Choose another folder."
                    ${EndIf}
                ${EndIf}
                FindNext $R7 $R8
            ${Loop}
            FindClose $R7
        ${Loop}
    FunctionEnd

    ; Tells the player and stops: a box, or for a silent run the standard error
    ; handle it was given, if any.
    Function ${un}Fail
        Exch $R1
        DetailPrint $R1
        MessageBox MB_ICONSTOP|MB_OK $R1 /SD IDOK
        ${If} ${Silent}
            System::Call 'kernel32::GetStdHandle(i -12) p .R5'
            ${If} $R5 <> 0
            ${AndIf} $R5 <> -1
                Call ${un}WriteUtf8
            ${EndIf}
        ${EndIf}
        SetErrorLevel 2
        Abort
    FunctionEnd

    ; Writes $R1 as UTF-8 to the open file handle $R5. $R0 = 1 when all of it was written.
    Function ${un}WriteUtf8
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
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."
!include "Installed.nsh" ; makensis reads it beside this script


Function .onInit
    ${GetParameters} $R9
    Call CheckOptions
    StrCpy $PlayerData "$LOCALAPPDATA\Vexa3711Original\PlayerData"
    ClearErrors
    ${GetOptions} $R9 "/PLAYERDATA=" $R0
    ${IfNot} ${Errors}
        StrCpy $PlayerData $R0
    ${EndIf}
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
    Call DescribeIntent
FunctionEnd

; Refuses an option this installer does not know before anything else, among
; them the /ALLUSERS of earlier versions: it installs for the player's account
; only. An option begins with "/" at the start or after a blank, its value runs
; to the next one, and /D= is last and takes the rest.
Function CheckOptions
    StrCpy $R0 " $R9"
    StrLen $R1 $R0
    StrCpy $R2 0
    ${DoWhile} $R2 < $R1
        StrCpy $R3 $R0 2 $R2
        IntOp $R2 $R2 + 1
        ${If} $R3 == " /"
            ; The option's name: up to a blank, or up to and with "=".
            StrCpy $R4 ""
            StrCpy $R5 $R2
            ${Do}
                StrCpy $R6 $R0 1 $R5
                ${If} $R6 == " "
                ${OrIf} $R6 == ""
                    ${Break}
                ${EndIf}
                StrCpy $R4 "$R4$R6"
                IntOp $R5 $R5 + 1
            ${LoopUntil} $R6 == "="
            ${If} $R4 == "/D="
                Return
            ${ElseIf} $R4 != "/S"
            ${AndIf} $R4 != "/NCRC"
            ${AndIf} $R4 != "/DESKTOPSHORTCUT"
            ${AndIf} $R4 != "/PLAYERDATA="
            ${AndIf} $R4 != "/DOWNGRADE"
                Push "Unknown option $\"$R4$\". ${PRODUCT} installs for your account only; its options are /S, /DESKTOPSHORTCUT, /DOWNGRADE, /PLAYERDATA=<folder> and /D=<folder>."
                Call Fail
            ${EndIf}
        ${EndIf}
    ${Loop}
FunctionEnd

Function DirectoryPageLeave
    Call PrepareTarget
    ${If} $Problem != ""
        MessageBox MB_ICONEXCLAMATION|MB_OK $Problem
        Abort
    ${EndIf}
    Call ConfirmReplacement
FunctionEnd

; Judges the application and player-data folders before anything is written,
; and normalizes them. Sets $Problem when one is refused.
Function PrepareTarget
    StrCpy $Problem ""
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
    Call CheckApart
    StrCmp $Problem "" 0 done
    Call CheckOccupant
    StrCmp $Problem "" 0 done
    StrCpy $R1 $INSTDIR
    Call CheckWritable
    StrCmp $Problem "" 0 done
    StrCpy $R1 $PlayerData
    Call CheckWritable
done:
FunctionEnd

; The player's data may not be the application folder, lie inside it or hold
; it: removing or replacing the one would take the other along.
Function CheckApart
    ; Compared with a closing separator, so that "X:\Games2" is not inside "X:\Games".
    StrCpy $R1 $INSTDIR
    StrCpy $R3 $R1 1 -1
    ${IfThen} $R3 != "\" ${|} StrCpy $R1 "$R1\" ${|}
    StrCpy $R2 $PlayerData
    StrCpy $R3 $R2 1 -1
    ${IfThen} $R3 != "\" ${|} StrCpy $R2 "$R2\" ${|}
    ; The shorter one a prefix of the other, whatever the case.
    StrLen $R3 $R1
    StrLen $R4 $R2
    ${IfThen} $R4 < $R3 ${|} StrCpy $R3 $R4 ${|}
    StrCpy $R4 $R1 $R3
    StrCpy $R5 $R2 $R3
    ${If} $R4 == $R5
        StrCpy $Problem "Keep player data outside the game's folder."
    ${EndIf}
FunctionEnd

; Only a missing or empty folder, or this product's own installation (its
; uninstaller and location record, or the registered folder): nobody else's
; files are overwritten or mixed with ours. A reinstallation writes nothing
; through a link below the folder.
Function CheckOccupant
    ${IfNot} ${FileExists} "$INSTDIR"
        Return
    ${EndIf}
    Call IsOwnInstallation
    ${If} $R0 == 1
    ${AndIf} ${FileExists} "$INSTDIR\*.*"
        StrCpy $RemoveLinks 0
        StrCpy $R1 $INSTDIR
        Call WalkLinks
        Return
    ${EndIf}
    ; A file of that name counts as other files too.
    StrCpy $R0 1
    ${If} ${FileExists} "$INSTDIR\*.*"
        StrCpy $R0 0
        FindFirst $R1 $R2 "$INSTDIR\*.*"
        ${DoWhile} $R2 != ""
            ${If} $R2 != "."
            ${AndIf} $R2 != ".."
                StrCpy $R0 1
                ${Break}
            ${EndIf}
            FindNext $R1 $R2
        ${Loop}
        FindClose $R1
    ${EndIf}
    ${If} $R0 == 1
        StrCpy $Problem "This folder holds other files. Choose an empty folder."
    ${EndIf}
FunctionEnd

; $R0 = 1 when this process may create folders in the existing folder $R1.
; Nothing stays behind: the probe folder goes again at once.
Function CanCreateIn
    System::Call 'kernel32::GetTickCount() i .R0'
    StrCpy $R2 "$R1\~vexa-probe-$R0"
    System::Call 'kernel32::CreateDirectoryW(w R2, p 0) i .R0'
    ${If} $R0 <> 0
        System::Call 'kernel32::RemoveDirectoryW(w R2)'
        StrCpy $R0 1
    ${EndIf}
FunctionEnd

; Refuses the folder $R1 unless the player may create folders in it, or in the
; nearest folder above it that exists.
Function CheckWritable
    StrCpy $R2 $R1
    ${DoUntil} ${FileExists} "$R2\*.*"
        Call ParentFolder
        ${If} $R2 == ""
            StrCpy $Problem "Cannot create $\"$R1$\": its drive or share does not exist. Choose another folder."
            Return
        ${EndIf}
    ${Loop}
    StrCpy $R1 $R2
    Call CanCreateIn
    ${If} $R0 != 1
        StrCpy $Problem "This folder cannot be written by your account. Choose a folder of your own."
    ${EndIf}
FunctionEnd

; The application folder and its registration: files, location record,
; uninstaller, uninstall entry, shortcuts.
Function InstallApplication
    ; Never the stock Abort / Retry / Ignore box: BeforeWriting found every file
    ; replaceable, and one that became held since stops the installation.
    SetOverwrite try
    ClearErrors
    !insertmacro InstallPayload
    SetOverwrite on
    ${If} ${Errors}
        Push "Setup could not replace every file of ${PRODUCT} in $INSTDIR: a program holds one of them, and the installation is incomplete. Close that program, then run Setup again."
        Call Fail
    ${EndIf}
    Call WriteLocationRecord
    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${LAUNCHER},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${PAYLOAD_SIZE_KB}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    SetOutPath "$INSTDIR" ; the shortcuts' working folder
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${LAUNCHER}"
    ${If} ${SectionIsSelected} ${SecDesktop}
        CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${LAUNCHER}"
    ${EndIf}
    ${If} ${Errors}
        Push "${PRODUCT} could not be registered with Windows (uninstaller, uninstall entry or shortcuts)."
        Call Fail
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

; The finish page's "Start". Through the shell, which starts it as the player
; even when this installer was started with administrator rights.
Function StartLauncher
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${LAUNCHER}"'
FunctionEnd

Function un.onInit
    ; The walk and the deletions below trust $INSTDIR itself.
    StrCpy $Problem ""
    StrCpy $R1 $INSTDIR
    Call un.CheckFolder
    ${If} $Problem != ""
        Push "${PRODUCT} was not removed: $\"$INSTDIR$\" is reached through a link, and the uninstaller deletes nothing through a link."
        Call un.Fail
    ${EndIf}
FunctionEnd
