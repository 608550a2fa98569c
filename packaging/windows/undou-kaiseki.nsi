; SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
; SPDX-License-Identifier: GPL-3.0-or-later
; The installer of the program for Windows, in Japanese. It installs the deployed folder into
; Program Files, adds shortcuts to the Start menu and, when chosen, to the desktop, offers the program
; in "プログラムから開く" for .csv files, and registers an uninstaller that removes all of it.
;
; makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DSTAGE=<deployed folder> -DFILE_LIST=<list.nsh>
;          -DLICENSE_FILE=<LICENSE> -DICON_FILE=<.ico> -DOUT_FILE=<setup.exe> undou-kaiseki.nsi
; FILE_LIST holds one `Delete` line for every file of STAGE and one `RMDir` line for every folder,
; deepest first, so that the uninstaller removes exactly what was installed and no file of the user.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "x64.nsh"

!define PROGRAM_ID "undou-kaiseki"
!define PROGRAM_NAME "運動の解析"
!define PUBLISHER "運動の解析の開発者"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PROGRAM_ID}"
!define CSV_PROG_ID "${PROGRAM_ID}.csv"

Name "${PROGRAM_NAME} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PROGRAM_ID}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PROGRAM_NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PROGRAM_NAME}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PROGRAM_NAME} のインストーラー"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "GNU General Public License 3 以降"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "理科の実験で、穴のあいたテープを引く台車の速度と加速度を調べるプログラム「${PROGRAM_NAME}」${VERSION} をこのコンピューターにインストールします。$\r$\n$\r$\n続けるには [次へ] を押してください。"
!insertmacro MUI_PAGE_WELCOME
!define MUI_LICENSEPAGE_TEXT_TOP "このプログラムはフリーソフトウェアです。GNU 一般公衆利用許諾書（GPL）第 3 版またはそれ以降の版の条件で、自由に使い、複製し、改変し、配布できます。保証はありません。"
!define MUI_LICENSEPAGE_BUTTON "次へ(&N) >"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "続けるには [次へ] を押してください。"
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\undou-kaiseki.exe"
!define MUI_FINISHPAGE_RUN_TEXT "${PROGRAM_NAME} を起動する"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK "このプログラムは 64 ビット版の Windows で動きます。"
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "${PROGRAM_NAME}（必須）" SectionProgram
    SectionIn RO
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${PROGRAM_NAME}.lnk" "$INSTDIR\undou-kaiseki.exe" "" "$INSTDIR\undou-kaiseki.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PROGRAM_NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\undou-kaiseki.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "デスクトップにショートカットを置く" SectionDesktop
    SetShellVarContext all
    CreateShortcut "$DESKTOP\${PROGRAM_NAME}.lnk" "$INSTDIR\undou-kaiseki.exe" "" "$INSTDIR\undou-kaiseki.exe" 0
SectionEnd

; The program is offered for .csv files ("プログラムから開く") without taking the place of the program
; that opens them now: a spreadsheet stays the default.
Section "CSV ファイルを「プログラムから開く」で開けるようにする" SectionCsv
    WriteRegStr HKLM "Software\Classes\${CSV_PROG_ID}" "" "${PROGRAM_NAME} の計測データ"
    WriteRegStr HKLM "Software\Classes\${CSV_PROG_ID}\DefaultIcon" "" "$INSTDIR\undou-kaiseki.exe,0"
    WriteRegStr HKLM "Software\Classes\${CSV_PROG_ID}\shell\open\command" "" '"$INSTDIR\undou-kaiseki.exe" "%1"'
    WriteRegStr HKLM "Software\Classes\.csv\OpenWithProgids" "${CSV_PROG_ID}" ""
    WriteRegStr HKLM "Software\Classes\Applications\undou-kaiseki.exe" "FriendlyAppName" "${PROGRAM_NAME}"
    WriteRegStr HKLM "Software\Classes\Applications\undou-kaiseki.exe\SupportedTypes" ".csv" ""
    WriteRegStr HKLM "Software\Classes\Applications\undou-kaiseki.exe\shell\open\command" "" '"$INSTDIR\undou-kaiseki.exe" "%1"'
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PROGRAM_NAME}.lnk"
    Delete "$DESKTOP\${PROGRAM_NAME}.lnk"

    DeleteRegKey HKLM "Software\Classes\${CSV_PROG_ID}"
    DeleteRegValue HKLM "Software\Classes\.csv\OpenWithProgids" "${CSV_PROG_ID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\.csv\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.csv"
    DeleteRegKey HKLM "Software\Classes\Applications\undou-kaiseki.exe"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    !include "${FILE_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
