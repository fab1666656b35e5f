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
!define ADDED_LIST "launcher-files-added.txt"
!define DEFAULT_PLAYER_DATA "$LOCALAPPDATA\Vexa3711Original\PlayerData"
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
Var PlayerDataChosen ; 1: /PLAYERDATA= or the player-data page named the folder
Var Added         ; launcher-files-added.txt as "\n<line>\n<line>\n..." (UTF-16), or 0
Var UserSid       ; the player's account, as S-1-5-...
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

; A second folder page for the player's data: a reinstallation shows the folder
; its location record names, so keeping the saves where they are is one click.
!macro PlayerDataPage
    !define MUI_PAGE_HEADER_TEXT "Choose Player Data Location"
    !define MUI_PAGE_HEADER_SUBTEXT "Choose the folder in which your saves and settings are kept."
    !define MUI_DIRECTORYPAGE_TEXT_TOP "Your saves, the Controller Pak, settings, logs and downloaded launcher updates are kept in this folder, apart from the game. Reinstalling or uninstalling ${PRODUCT} never changes what is in it.$\r$\n$\r$\nTo keep them somewhere else, click Browse and select another folder. Click Next to continue."
    !define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Player-data folder"
    !define MUI_DIRECTORYPAGE_VARIABLE $PlayerData
    !define MUI_DIRECTORYPAGE_VERIFYONLEAVE ; judged by PrepareTarget, not by free space
    !define MUI_PAGE_CUSTOMFUNCTION_SHOW PlayerDataPageShow
    !define MUI_PAGE_CUSTOMFUNCTION_LEAVE PlayerDataPageLeave
    !insertmacro MUI_PAGE_DIRECTORY
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
!insertmacro PlayerDataPage
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
    Call CreateApplicationFolder
    Call InstallApplication
    Call CreatePlayerData
    Call CheckInstallation
    ; Last: any failure above leaves the previous record as it was.
    Call WriteLocationRecord
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
    Call un.RemoveAddedFiles
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

!macro AddedListFunctions un
    ; $Added becomes launcher-files-added.txt (UTF-8, each line ending in LF,
    ; written by the updater) as UTF-16 "\n<line>\n<line>\n", or 0 when it is
    ; missing, empty, over 1 MiB or not UTF-8. The caller frees it.
    Function ${un}ReadAddedList
        StrCpy $Added 0
        System::Call 'kernel32::CreateFileW(w "$INSTDIR\${ADDED_LIST}", i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r1'
        ${If} $1 P= -1
            Return
        ${EndIf}
        System::Call 'kernel32::GetFileSize(p r1, p 0) i .r2'
        ${If} $2 > 0
        ${AndIf} $2 <= 1048576
            System::Alloc $2
            Pop $3
            System::Call 'kernel32::ReadFile(p r1, p r3, i r2, *i .r4, p 0) i .r5'
            ${If} $5 <> 0
            ${AndIf} $4 = $2
                System::Call 'kernel32::MultiByteToWideChar(i 65001, i 8, p r3, i r2, p 0, i 0) i .r4'
                ${If} $4 > 0
                    IntOp $5 $4 + 2
                    IntOp $5 $5 * 2
                    System::Alloc $5
                    Pop $Added
                    System::Call '*$Added(&i2 10)'
                    IntPtrOp $5 $Added + 2
                    System::Call 'kernel32::MultiByteToWideChar(i 65001, i 8, p r3, i r2, p r5, i r4)'
                    IntOp $4 $4 * 2
                    IntPtrOp $5 $5 + $4
                    System::Call '*$5(&i2 0)'
                ${EndIf}
            ${EndIf}
            System::Free $3
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r1)'
    FunctionEnd
!macroend
!insertmacro AddedListFunctions ""
!insertmacro AddedListFunctions "un."

; What an update added, as launcher-files-added.txt lists it, then the list:
; plain files only, and never through a link.
Function un.RemoveAddedFiles
    Call un.ReadAddedList
    ${If} $Added P<> 0
        IntPtrOp $8 $Added + 2 ; after the leading "\n"
        ${Do}
            System::Call 'msvcrt::wcschr(p r8, i 10) p .r9'
            ${IfThen} $9 P= 0 ${|} ${Break} ${|}
            System::Call '*$9(&i2 0)'
            System::Call 'kernel32::lstrlenW(p r8) i .r0'
            ; Longer lines name nothing of ours, and would not fit once the folder is in front.
            ${If} $0 < 512
                System::Call 'kernel32::lstrcpynW(w .R1, p r8, i ${NSIS_MAX_STRLEN})'
                Call un.RemoveAddedFile
            ${EndIf}
            IntPtrOp $8 $9 + 2
        ${Loop}
        System::Free $Added
    ${EndIf}
    Delete "$INSTDIR\${ADDED_LIST}"
FunctionEnd

; Deletes the file that the line $R1 names below the application folder when
; it is a plain file reached through plain folders; anything else stays. Folders
; it leaves empty go too.
Function un.RemoveAddedFile
    StrCpy $R2 $INSTDIR
    StrCpy $4 "" ; the name being read
    StrCpy $5 0
    ${Do}
        StrCpy $6 $R1 1 $5
        IntOp $5 $5 + 1
        ${If} $6 == "\"
        ${OrIf} $6 == ""
            ${If} $4 == ""
            ${OrIf} $4 == "."
            ${OrIf} $4 == ".."
                Return
            ${EndIf}
            StrCpy $R2 "$R2\$4"
            StrCpy $4 ""
            System::Call 'kernel32::GetFileAttributesW(w R2) i .r7'
            ${IfThen} $7 = -1 ${|} Return ${|}
            IntOp $0 $7 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
            ${IfThen} $0 <> 0 ${|} Return ${|}
            IntOp $7 $7 & 0x10 ; FILE_ATTRIBUTE_DIRECTORY
            ${If} $6 == ""
                ${IfThen} $7 <> 0 ${|} Return ${|}
                System::Call 'kernel32::DeleteFileW(w R2)'
                ${Break}
            ${EndIf}
            ${IfThen} $7 = 0 ${|} Return ${|}
        ${ElseIf} $6 == "/"
        ${OrIf} $6 == ":"
            Return ; not a plain path below the application folder
        ${Else}
            StrCpy $4 "$4$6"
        ${EndIf}
    ${Loop}
    ${Do}
        ${GetParent} $R2 $R2
        ${IfThen} $R2 == $INSTDIR ${|} ${Break} ${|}
        System::Call 'kernel32::RemoveDirectoryW(w R2) i .r7'
    ${LoopUntil} $7 = 0
FunctionEnd


Function .onInit
    ${GetParameters} $R9
    Call CheckOptions
    StrCpy $PlayerData "${DEFAULT_PLAYER_DATA}"
    ClearErrors
    ${GetOptions} $R9 "/PLAYERDATA=" $R0
    ${IfNot} ${Errors}
        StrCpy $PlayerData $R0
        StrCpy $PlayerDataChosen 1
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
    Call KeepRecordedPlayerData
    StrCpy $R1 $PlayerData
    Call CheckFolder
    StrCmp $Problem "" 0 done
    StrCpy $PlayerData $R1
    Call CheckNotAFile
    StrCmp $Problem "" 0 done
    Call CheckApart
    StrCmp $Problem "" 0 done
    Call CheckOccupant
    StrCmp $Problem "" 0 done
    Call CheckAccessList
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
    ; As folders, not spellings: 8.3 names, trailing dots and other aliases of
    ; one folder meet the same rule.
    StrCpy $R1 $PlayerData
    Call FinalFolder
    Push $R1
    StrCpy $R1 $INSTDIR
    Call FinalFolder
    Pop $R2
    ; Compared with a closing separator, so that "X:\Games2" is not inside "X:\Games".
    StrCpy $R3 $R1 1 -1
    ${IfThen} $R3 != "\" ${|} StrCpy $R1 "$R1\" ${|}
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
        Call HoldsOnlyOwnFiles
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
; byte as part of the path. Written aside and moved over the old record, so a
; failed write leaves that one whole.
Function WriteLocationRecord
    StrCpy $R0 0
    StrCpy $R1 $PlayerData
    StrCpy $R7 "$INSTDIR\${LOCATION_RECORD}.new"
    ClearErrors
    FileOpen $R5 $R7 w
    ${IfNot} ${Errors}
        Call WriteUtf8
        FileClose $R5
        ${If} $R0 == 1
            ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
            System::Call 'kernel32::MoveFileExW(w R7, w "$INSTDIR\${LOCATION_RECORD}", i 9) i .R0'
            ${IfThen} $R0 <> 0 ${|} StrCpy $R0 1 ${|}
        ${EndIf}
        Delete $R7
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
; The player-data folder is handed over: the record is written only after this.
Function CheckInstallation
    DetailPrint "Checking the installation"
    nsExec::ExecToStack '"$INSTDIR\${LAUNCHER}" --verify-application --data-dir "$PlayerData"'
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

; The player-data page's "Next": what the player confirmed there is their choice.
Function PlayerDataPageLeave
    StrCpy $PlayerDataChosen 1
    Call DirectoryPageLeave
FunctionEnd

; The page measures nothing: the space the game needs is not taken there.
Function PlayerDataPageShow
    FindWindow $0 "#32770" "" $HWNDPARENT
    GetDlgItem $1 $0 1023
    ShowWindow $1 ${SW_HIDE}
    GetDlgItem $1 $0 1024
    ShowWindow $1 ${SW_HIDE}
FunctionEnd

; Over an installation the player-data folder is the one its location record
; names (UTF-8, the whole file), unless /PLAYERDATA= or the player named one: a
; reinstallation never moves the launcher away from the saves. Without a
; readable record, the default.
Function KeepRecordedPlayerData
    ${If} $PlayerDataChosen == 1
        Return
    ${EndIf}
    StrCpy $PlayerData "${DEFAULT_PLAYER_DATA}"
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\${LOCATION_RECORD}", i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r1'
    ${If} $1 P= -1
        Return
    ${EndIf}
    System::Alloc 4096
    Pop $2
    System::Call 'kernel32::ReadFile(p r1, p r2, i 4095, *i .r3, p 0) i .r4'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $4 <> 0
    ${AndIf} $3 > 0
    ${AndIf} $3 < 4095
        ; Whole, without a zero byte, and UTF-8.
        System::Call 'kernel32::lstrlenA(p r2) i .r4'
        ${If} $4 = $3
            System::Call 'kernel32::MultiByteToWideChar(i 65001, i 8, p r2, i -1, w .r5, i ${NSIS_MAX_STRLEN}) i .r4'
            ${IfThen} $4 > 1 ${|} StrCpy $PlayerData $5 ${|}
        ${EndIf}
    ${EndIf}
    System::Free $2
FunctionEnd

; The player-data folder, or the nearest path above it that exists, must be a
; folder: a file in the way is refused now, not after the first write.
Function CheckNotAFile
    StrCpy $R2 $PlayerData
    ${Do}
        System::Call 'kernel32::GetFileAttributesW(w R2) i .r0'
        ${If} $0 <> -1
            IntOp $0 $0 & 0x10 ; FILE_ATTRIBUTE_DIRECTORY
            ${If} $0 = 0
                StrCpy $Problem "Cannot create your player data in $\"$PlayerData$\": $\"$R2$\" is a file, not a folder. Choose another folder."
            ${EndIf}
            Return
        ${EndIf}
        Call ParentFolder
    ${LoopUntil} $R2 == ""
FunctionEnd

; $R1, a full path, becomes the final path of its nearest existing folder, as
; the file system resolves it (long names, no aliases), followed by the rest
; without the trailing dots and blanks that Windows drops from names.
Function FinalFolder
    StrCpy $R2 $R1
    StrCpy $6 "" ; the part that does not exist yet
    ${DoUntil} ${FileExists} "$R2\*.*"
        StrCpy $7 $R2
        Call ParentFolder
        ${If} $R2 == ""
            Return ; no drive: compared as written
        ${EndIf}
        StrLen $8 $R2
        StrCpy $9 $R2 1 -1
        ${IfThen} $9 != "\" ${|} IntOp $8 $8 + 1 ${|}
        StrCpy $9 $7 "" $8
        ${Do}
            StrCpy $8 $9 1 -1
            ${If} $8 == "."
            ${OrIf} $8 == " "
                StrCpy $9 $9 -1
            ${Else}
                ${Break}
            ${EndIf}
        ${Loop}
        StrCpy $6 "\$9$6"
    ${Loop}
    ; FILE_READ_ATTRIBUTES, any sharing, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS (a folder)
    System::Call 'kernel32::CreateFileW(w R2, i 0x80, i 7, p 0, i 3, i 0x02000000, p 0) p .r7'
    ${If} $7 P<> -1
        System::Call 'kernel32::GetFinalPathNameByHandleW(p r7, w .r8, i ${NSIS_MAX_STRLEN}, i 0) i .r9'
        System::Call 'kernel32::CloseHandle(p r7)'
        ${If} $9 > 0
        ${AndIf} $9 < ${NSIS_MAX_STRLEN}
            StrCpy $R2 $8
            StrCpy $9 $R2 8
            ${If} $9 == "\\?\UNC\"
                StrCpy $R2 $R2 "" 8
                StrCpy $R2 "\\$R2"
            ${Else}
                StrCpy $9 $R2 4
                ${IfThen} $9 == "\\?\" ${|} StrCpy $R2 $R2 "" 4 ${|}
            ${EndIf}
        ${EndIf}
    ${EndIf}
    StrCpy $9 $R2 1 -1
    ${IfThen} $9 == "\" ${|} StrCpy $R2 $R2 -1 ${|}
    StrCpy $R1 "$R2$6"
FunctionEnd

; $R0 = 0 when every file below the application folder is this product's: the
; payload, the location record, the uninstaller, the updater's list of added
; files and the files it names. Names like README.md and Uninstall.exe are
; common, so one file no other product has must be there too: the launcher,
; the record or the list. A linked folder counts as someone else's.
Function HoldsOnlyOwnFiles
    Call ReadAddedList
    ${If} $Added P<> 0
        System::Call 'kernel32::lstrlenW(p $Added) i .r0'
        System::Call 'user32::CharUpperBuffW(p $Added, i r0)'
    ${EndIf}
    StrLen $9 "$INSTDIR\"
    StrCpy $R0 0
    StrCpy $8 0 ; 1 once a file of this product alone is found
    Push "" ; the end of the folders still to walk
    Push $INSTDIR
    ${Do}
        Pop $R6
        ${IfThen} $R6 == "" ${|} ${Break} ${|}
        FindFirst $R7 $R8 "$R6\*.*"
        ${DoWhile} $R8 != ""
            StrCpy $R2 "$R6\$R8"
            ${If} $R8 == "."
            ${OrIf} $R8 == ".."
            ${ElseIf} ${FileExists} "$R2\*.*"
                Call IsLink
                ${IfThen} $R3 == 1 ${|} StrCpy $R0 1 ${|}
                ${IfThen} $R3 == 0 ${|} Push $R2 ${|}
            ${Else}
                StrCpy $R3 $R2 "" $9
                ${If} $R3 == "${LAUNCHER}"
                ${OrIf} $R3 == "${LOCATION_RECORD}"
                ${OrIf} $R3 == "${ADDED_LIST}"
                    StrCpy $8 1
                ${EndIf}
                Call IsOwnFile
                ${IfThen} $R4 == 0 ${|} StrCpy $R0 1 ${|}
            ${EndIf}
            ${IfThen} $R0 == 1 ${|} ${Break} ${|}
            FindNext $R7 $R8
        ${Loop}
        FindClose $R7
        ${If} $R0 == 1
            ${Do}
                Pop $R6
            ${LoopUntil} $R6 == ""
            ${Break}
        ${EndIf}
    ${Loop}
    ${If} $Added P<> 0
        System::Free $Added
    ${EndIf}
    ${IfThen} $8 == 0 ${|} StrCpy $R0 1 ${|}
FunctionEnd

; $R4 = 1 when $R3, a path below the application folder, is one of this
; product's files ($Added upper-cased).
Function IsOwnFile
    StrCpy $R4 1
    ${If} $R3 == "${LOCATION_RECORD}"
    ${OrIf} $R3 == "${UNINSTALLER}"
    ${OrIf} $R3 == "${ADDED_LIST}"
        Return
    ${EndIf}
    !insertmacro IsPayloadFile
    ${If} $R4 == 0
    ${AndIf} $Added P<> 0
        System::Call '*(&w${NSIS_MAX_STRLEN} "$\n$R3$\n") p .r0'
        System::Call 'kernel32::lstrlenW(p r0) i .r1'
        System::Call 'user32::CharUpperBuffW(p r0, i r1)'
        System::Call 'msvcrt::wcsstr(p $Added, p r0) p .r1'
        System::Free $0
        ${IfThen} $1 P<> 0 ${|} StrCpy $R4 1 ${|}
    ${EndIf}
FunctionEnd

; $UserSid: the account this installer runs as.
Function ReadUserSid
    StrCpy $UserSid ""
    System::Call 'kernel32::GetCurrentProcess() p .r0'
    System::Call 'advapi32::OpenProcessToken(p r0, i 8, *p .r1) i .r2' ; TOKEN_QUERY
    ${IfThen} $2 = 0 ${|} Return ${|}
    System::Alloc 256
    Pop $3
    System::Call 'advapi32::GetTokenInformation(p r1, i 1, p r3, i 256, *i .r4) i .r2' ; TokenUser
    ${If} $2 <> 0
        System::Call '*$3(p .r4)'
        System::Call 'advapi32::ConvertSidToStringSidW(p r4, *p .r5) i .r2'
        ${If} $2 <> 0
            System::Call 'kernel32::lstrcpynW(w .r6, p r5, i ${NSIS_MAX_STRLEN})'
            StrCpy $UserSid $6
            System::Call 'kernel32::LocalFree(p r5)'
        ${EndIf}
    ${EndIf}
    System::Free $3
    System::Call 'kernel32::CloseHandle(p r1)'
FunctionEnd

; An existing application folder that another account may write is refused:
; it could replace the launcher or plant files the launcher trusts. Writing is
; left to the player, SYSTEM, Administrators and CREATOR OWNER (whoever makes
; a file below, here the player).
Function CheckAccessList
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
        Return
    ${EndIf}
    Call ReadUserSid
    ; SE_FILE_OBJECT, DACL_SECURITY_INFORMATION
    System::Call 'advapi32::GetNamedSecurityInfoW(w "$INSTDIR", i 1, i 4, p 0, p 0, *p .r1, p 0, *p .r2) i .r0'
    ${If} $0 <> 0
        StrCpy $Problem "Cannot read who may change $\"$INSTDIR$\". Choose a folder of your own."
        Return
    ${EndIf}
    StrCpy $R0 "" ; the first other account that may write
    ${If} $1 P= 0
        StrCpy $R0 "S-1-1-0" ; no list at all: everyone
    ${Else}
        System::Call '*$1(&i1 .r8, &i1 .r8, &i2 .r8, &i2 .r3)' ; the ACL header's AceCount
        StrCpy $4 0
        ${DoWhile} $4 < $3
            System::Call 'advapi32::GetAce(p r1, i r4, *p .r5) i .r0'
            ${If} $0 <> 0
                System::Call '*$5(&i1 .r6, &i1 .r8, &i2 .r8, i .r7)'
                ; FILE_WRITE_DATA, FILE_APPEND_DATA, FILE_DELETE_CHILD, DELETE,
                ; WRITE_DAC, WRITE_OWNER, GENERIC_ALL, GENERIC_WRITE
                IntOp $7 $7 & 0x500D0046
                ${If} $6 = 0 ; ACCESS_ALLOWED_ACE_TYPE
                ${AndIf} $7 <> 0
                    IntPtrOp $5 $5 + 8 ; the SID after the header and mask
                    System::Call 'advapi32::ConvertSidToStringSidW(p r5, *p .r6) i .r0'
                    StrCpy $7 "?"
                    ${If} $0 <> 0
                        System::Call 'kernel32::lstrcpynW(w .r7, p r6, i ${NSIS_MAX_STRLEN})'
                        System::Call 'kernel32::LocalFree(p r6)'
                    ${EndIf}
                    ${If} $7 != $UserSid
                    ${AndIf} $7 != "S-1-5-18"
                    ${AndIf} $7 != "S-1-5-32-544"
                    ${AndIf} $7 != "S-1-3-0"
                        StrCpy $R0 $7
                        ${Break}
                    ${EndIf}
                ${EndIf}
            ${EndIf}
            IntOp $4 $4 + 1
        ${Loop}
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r2)'
    ${If} $R0 != ""
        StrCpy $Problem "Other accounts on this computer may change $\"$INSTDIR$\". Choose a folder that only your account can change."
    ${EndIf}
FunctionEnd

; A new application folder gets an access list of its own, cut from its
; parent's: the player, SYSTEM and Administrators, nobody else. Under a drive
; root every account could otherwise replace the launcher.
Function CreateApplicationFolder
    ${If} ${FileExists} "$INSTDIR\*.*"
        Return
    ${EndIf}
    Call ReadUserSid
    ${GetParent} $INSTDIR $0
    ${IfNot} ${FileExists} "$0\*.*"
        CreateDirectory $0
    ${EndIf}
    StrCpy $3 0
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;$UserSid)", i 1, *p .r1, p 0) i .r2'
    ${If} $2 <> 0
        ${If} $UserSid != ""
            ; SECURITY_ATTRIBUTES: nLength, padding, lpSecurityDescriptor, bInheritHandle, padding
            System::Call '*(i 24, i 0, p r1, i 0, i 0) p .r4'
            System::Call 'kernel32::CreateDirectoryW(w "$INSTDIR", p r4) i .r3'
            System::Free $4
        ${EndIf}
        System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
    ${If} $3 = 0
        Push "Cannot create $\"$INSTDIR$\" for your account only."
        Call Fail
    ${EndIf}
FunctionEnd
