; The per-user installer of Pelorandix Control Center: no elevation, the
; program in the user's own programs folder, a Start-menu shortcut, the
; command-line program pelorandix.exe in a bin folder of its own, which alone
; goes on the user's own PATH (so that no other file of the program, such as
; uninstall.exe, can be started by its name from a prompt), and an
; uninstaller registered for the current user.
;
;   makensis -DVERSION=x.y.z -DPROGRAM_DIR=<folder> -DOUTFILE=<setup.exe> [-DCOMPRESSOR=zlib]
;            pelorandix.nsi
;
; PROGRAM_DIR holds the files to install: the program, the command-line
; program, the German module and README.txt. The names the running program is
; known by (its single-instance mutex, its main window's property, the tray
; menu's Quit command, the start-at-login value and the settings file) are
; read from the program's sources, so that the installer cannot drift from
; them.
;
; Uninstaller: "/S" runs it silently, "/REMOVESETTINGS" also deletes the
; user's QVXSettings.ini (kept otherwise).

Target amd64-unicode
; Smallest for release; a test build may ask for a faster one (zlib).
!ifndef COMPRESSOR
  !define COMPRESSOR "/SOLID lzma"
!endif
SetCompressor ${COMPRESSOR}
ManifestDPIAware true

!ifndef VERSION
  !error "Define VERSION (x.y.z): makensis -DVERSION=..."
!endif
!ifndef PROGRAM_DIR
  !error "Define PROGRAM_DIR, the folder of the files to install"
!endif
!ifndef OUTFILE
  !error "Define OUTFILE, the setup program to write"
!endif
; Fails the build unless the version is x.y.z.
!searchparse /noerrors "${VERSION}" "" VERSION_MAJOR "." VERSION_MINOR "." VERSION_PATCH
!ifndef VERSION_PATCH
  !error "VERSION must be x.y.z, not ${VERSION}"
!endif

!searchparse /file "..\app\program_names.h" `kInstanceMutexName[] = "Local\\` INSTANCE_MUTEX_NAME `"`
!define INSTANCE_MUTEX "Local\${INSTANCE_MUTEX_NAME}"
!searchparse /file "..\app\program_names.h" `kMainWindowProperty[] = "` MAIN_WINDOW_PROPERTY `"`
!searchparse /file "..\resources\resource.h" `#define ID_QUIT ` QUIT_COMMAND
!searchparse /file "..\settings\start_at_login_win32.h" `kRunValueName[] = "` RUN_VALUE `"`
!searchparse /file "..\settings\settings_file.h" `kSettingsFilePath[] = "./` SETTINGS_FILE `"`
!searchparse /file "..\app\program_names.h" `kLanguageModuleName[] = "` LANGUAGE_MODULE `"`

!define PRODUCT_NAME "Pelorandix Control Center"
!define PUBLISHER "Pelorandix"
!define EXE_NAME "PelorandixControlCenter.exe"
!define CLI_EXE_NAME "pelorandix.exe"
; The folder of the command-line program, the one on the user's PATH.
!define CLI_DIR "$INSTDIR\bin"
!define README "README.txt"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PelorandixControlCenter"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
; The user's own PATH (REG_EXPAND_SZ), its entries separated by semicolons.
!define ENVIRONMENT_KEY "Environment"
!define PATH_VALUE "Path"
!define PATH_SEPARATOR ";"

; Win32 values for the calls below.
!define SYNCHRONIZE 0x00100000
!define PROCESS_TERMINATE 0x0001
!define MAIN_WINDOW_CLASS "#32770"
; Programs get this long to take note of a changed environment.
!define SETTING_CHANGE_TIMEOUT 5000
; How long the program gets to quit, in steps of 100 ms.
!define QUIT_WAIT_STEPS 100

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include WordFunc.nsh

Name "${PRODUCT_NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT_NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
BrandingText "${PRODUCT_NAME} ${VERSION}"

!define MUI_ICON "..\resources\art\app.ico"
!define MUI_UNICON "..\resources\art\app.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartProgramText)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartInstalledProgram
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\${README}"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "$(UninstallComponentsText)"
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
; The program's own version resource carries no copyright either.
!pragma warning disable 9100
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"

LangString StartProgramText ${LANG_ENGLISH} "Start ${PRODUCT_NAME}"
LangString StartProgramText ${LANG_GERMAN} "${PRODUCT_NAME} starten"
LangString ShortcutDescription ${LANG_ENGLISH} "Switch the monitor switch's ports from the tray"
LangString ShortcutDescription ${LANG_GERMAN} "Die Anschlüsse des Monitorumschalters vom Infobereich aus wählen"
LangString PathTooLong ${LANG_ENGLISH} \
  "Your PATH is too long to change safely; add ${CLI_DIR} to it yourself to use ${CLI_EXE_NAME} from any folder."
LangString PathTooLong ${LANG_GERMAN} \
  "Ihr PATH ist zu lang, um ihn sicher zu ändern; fügen Sie ${CLI_DIR} selbst hinzu, um ${CLI_EXE_NAME} aus jedem Ordner zu nutzen."
LangString ProgramSection ${LANG_ENGLISH} "Program"
LangString ProgramSection ${LANG_GERMAN} "Programm"
LangString SettingsSection ${LANG_ENGLISH} "Settings (${SETTINGS_FILE})"
LangString SettingsSection ${LANG_GERMAN} "Einstellungen (${SETTINGS_FILE})"
LangString UninstallComponentsText ${LANG_ENGLISH} \
  "Your settings are kept for a later installation unless you tick them here."
LangString UninstallComponentsText ${LANG_GERMAN} \
  "Ihre Einstellungen bleiben für eine spätere Installation erhalten, wenn Sie sie hier nicht ankreuzen."
LangString ProgramRunning ${LANG_ENGLISH} \
  "${PRODUCT_NAME} is running. It will be closed to continue."
LangString ProgramRunning ${LANG_GERMAN} \
  "${PRODUCT_NAME} läuft. Es wird beendet, um fortzufahren."
LangString ProgramBusy ${LANG_ENGLISH} \
  "${PRODUCT_NAME} is still running, with one of its windows open (perhaps a firmware upgrade). Close that window, then click Retry."
LangString ProgramBusy ${LANG_GERMAN} \
  "${PRODUCT_NAME} läuft noch und hat ein Fenster geöffnet (vielleicht eine Firmware-Aktualisierung). Schließen Sie das Fenster und klicken Sie dann auf Wiederholen."
LangString ProgramBusyLeft ${LANG_ENGLISH} \
  "${PRODUCT_NAME} is busy with an open window and was left running; nothing was changed."
LangString ProgramBusyLeft ${LANG_GERMAN} \
  "${PRODUCT_NAME} ist mit einem offenen Fenster beschäftigt und läuft weiter; nichts wurde geändert."
LangString ProgramHung ${LANG_ENGLISH} \
  "${PRODUCT_NAME} does not respond to Quit. End it now?"
LangString ProgramHung ${LANG_GERMAN} \
  "${PRODUCT_NAME} reagiert nicht auf Beenden. Jetzt beenden erzwingen?"
LangString ProgramEnded ${LANG_ENGLISH} \
  "${PRODUCT_NAME} did not respond to Quit and was ended."
LangString ProgramEnded ${LANG_GERMAN} \
  "${PRODUCT_NAME} reagierte nicht auf Beenden und wurde beendet."

; --- The running program, for the installer and the uninstaller alike ---

; Sets $0 to 1 while an instance runs in this session: its mutex exists.
!macro PROGRAM_RUNNING
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE_MUTEX}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
!macroend

!macro CLOSE_PROGRAM_FUNCTIONS un
; Sets $2 to the running program's main window (a dialog marked with the
; program's property), 0 when there is none.
Function ${un}FindMainWindow
  StrCpy $2 0
  ${Do}
    FindWindow $2 "${MAIN_WINDOW_CLASS}" "" 0 $2
    ${If} $2 = 0
      ${ExitDo}
    ${EndIf}
    System::Call 'user32::GetPropW(p r2, w "${MAIN_WINDOW_PROPERTY}") p .r3'
    ${If} $3 P<> 0
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd

; Ends the process of main window $2 at once.
Function ${un}EndProgramProcess
  System::Call 'user32::GetWindowThreadProcessId(p r2, *i .r4)'
  System::Call 'kernel32::OpenProcess(i ${PROCESS_TERMINATE}|${SYNCHRONIZE}, i 0, i r4) p .r5'
  ${If} $5 P<> 0
    System::Call 'kernel32::TerminateProcess(p r5, i 1)'
    System::Call 'kernel32::WaitForSingleObject(p r5, i 5000)'
    System::Call 'kernel32::CloseHandle(p r5)'
  ${EndIf}
  DetailPrint "$(ProgramEnded)"
FunctionEnd

; Closes a running program as its tray menu's Quit does, after telling the
; user. A program that shows a dialog (a firmware transfer may be running) is
; never asked to quit nor ended: the user closes the dialog, or setup stops
; (silently: with exit code 2). One that does not respond is ended, silently
; at once, otherwise when the user agrees. Uses $0-$7.
Function ${un}CloseRunningProgram
  !insertmacro PROGRAM_RUNNING
  ${If} $0 = 0
    Return
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONINFORMATION "$(ProgramRunning)" /SD IDOK IDOK close
  Abort
close:
  StrCpy $6 0  ; Quit was sent
  StrCpy $7 0  ; the process it was sent to, to wait for its end
  ${For} $1 1 ${QUIT_WAIT_STEPS}
    !insertmacro PROGRAM_RUNNING
    ${If} $0 = 0
      ${ExitFor}
    ${EndIf}
    Call ${un}FindMainWindow
    ${If} $2 <> 0
    ${AndIf} $6 = 0
      ; A disabled main window has a modal dialog open.
      System::Call 'user32::IsWindowEnabled(p r2) i .r3'
      ${If} $3 = 0
        ${ExitFor}
      ${EndIf}
      System::Call 'user32::GetWindowThreadProcessId(p r2, *i .r4)'
      System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r4) p .r7'
      System::Call 'user32::PostMessageW(p r2, i ${WM_COMMAND}, p ${QUIT_COMMAND}, p 0)'
      StrCpy $6 1
    ${EndIf}
    Sleep 100
  ${Next}
  ${If} $7 P<> 0
    ; The mutex goes a moment before the process ends and lets go of its
    ; files.
    ${If} $0 = 0
      System::Call 'kernel32::WaitForSingleObject(p r7, i 5000)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r7)'
  ${EndIf}
  ${If} $0 = 0
    Return
  ${EndIf}

  Call ${un}FindMainWindow
  ${If} $2 <> 0
    System::Call 'user32::IsWindowEnabled(p r2) i .r3'
    ${If} $3 <> 0
      ; Asked to quit, no dialog open, still there: it hangs.
      MessageBox MB_YESNO|MB_ICONEXCLAMATION "$(ProgramHung)" /SD IDYES IDNO keep
      Call ${un}EndProgramProcess
      Return
    ${EndIf}
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(ProgramBusy)" /SD IDCANCEL IDRETRY close
keep:
  DetailPrint "$(ProgramBusyLeft)"
  Abort "$(ProgramBusyLeft)"
FunctionEnd
!macroend
!insertmacro CLOSE_PROGRAM_FUNCTIONS ""
!insertmacro CLOSE_PROGRAM_FUNCTIONS "un."

; --- The command-line program's folder on the user's own PATH ---

; Adds ("+") or removes ("-") the folder as an entry of the user's PATH,
; compared without regard to case, and tells running programs (a new command
; prompt then finds pelorandix.exe). A PATH that may have been cut short when
; it was read (as long as NSIS strings can be) is never written back. A PATH
; left empty is deleted. Uses $0-$2.
!macro CHANGE_USER_PATH un action folder
  ClearErrors
  ReadRegStr $0 HKCU "${ENVIRONMENT_KEY}" "${PATH_VALUE}"
  StrLen $1 "$0${PATH_SEPARATOR}${folder}"
  ${If} $1 >= ${NSIS_MAX_STRLEN}
    DetailPrint "$(PathTooLong)"
  ${Else}
    ${${un}WordAdd} "$0" "${PATH_SEPARATOR}" "${action}${folder}" $2
    ${If} $2 != $0
      ${If} $2 == ""
        DeleteRegValue HKCU "${ENVIRONMENT_KEY}" "${PATH_VALUE}"
      ${Else}
        WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "${PATH_VALUE}" $2
      ${EndIf}
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:${ENVIRONMENT_KEY}" \
        /TIMEOUT=${SETTING_CHANGE_TIMEOUT}
    ${EndIf}
  ${EndIf}
!macroend

; --- Installer ---

Function .onInit
  SetShellVarContext current
FunctionEnd

Section "-Install"
  Call CloseRunningProgram
  ; Earlier versions put the command-line program beside the program and the
  ; whole install folder on PATH; that entry goes when their layout is found.
  ${If} ${FileExists} "$INSTDIR\${CLI_EXE_NAME}"
    Delete "$INSTDIR\${CLI_EXE_NAME}"
    !insertmacro CHANGE_USER_PATH "" "-" "$INSTDIR"
  ${EndIf}
  SetOutPath "${CLI_DIR}"
  File "${PROGRAM_DIR}/${CLI_EXE_NAME}"
  SetOutPath "$INSTDIR"
  File "${PROGRAM_DIR}/${EXE_NAME}"
  File "${PROGRAM_DIR}/${LANGUAGE_MODULE}"
  File "${PROGRAM_DIR}/${README}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  !insertmacro CHANGE_USER_PATH "" "+" "${CLI_DIR}"

  ; Earlier versions' program wrote its start at login unquoted, which
  ; Windows first reads as a shorter program at each space: quote it.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == "$INSTDIR\${EXE_NAME}"
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$0"'
  ${EndIf}

  ; The shortcut's working directory is $OUTDIR, the install folder: the
  ; program keeps its settings file in its working directory.
  CreateDirectory "$SMPROGRAMS"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0 \
    SW_SHOWNORMAL "" "$(ShortcutDescription)"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The finish page's "Start": from the install folder, as the shortcut does.
Function StartInstalledProgram
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\${EXE_NAME}"'
FunctionEnd

; --- Uninstaller ---

; Deletes the start-at-login value only when it starts this install's
; program: the program writes its path quoted, earlier versions wrote it
; bare; a short form of the same path counts too. Before the files go, so the
; short form can be had.
Function un.RemoveStartAtLogin
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $2 $0 1
  StrCpy $3 $0 "" -1
  ${If} $2 == '"'
  ${AndIf} $3 == '"'
    StrCpy $0 $0 -1 1
  ${EndIf}
  StrCpy $1 "$INSTDIR\${EXE_NAME}"
  ${If} $0 != $1
    GetFullPathName /SHORT $2 $0
    GetFullPathName /SHORT $3 $1
    ${If} $2 == ""
    ${OrIf} $2 != $3
      Return
    ${EndIf}
  ${EndIf}
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
FunctionEnd

Section "un.$(ProgramSection)" UnProgram
  SectionIn RO
  Call un.CloseRunningProgram
  Call un.RemoveStartAtLogin
  !insertmacro CHANGE_USER_PATH "un." "-" "${CLI_DIR}"
  Delete "$INSTDIR\${EXE_NAME}"
  Delete "${CLI_DIR}\${CLI_EXE_NAME}"
  RMDir "${CLI_DIR}"
  Delete "$INSTDIR\${LANGUAGE_MODULE}"
  Delete "$INSTDIR\${README}"
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "${SHORTCUT}"
SectionEnd

Section /o "un.$(SettingsSection)" UnSettings
  Delete "$INSTDIR\${SETTINGS_FILE}"
SectionEnd

; Last: once the uninstall key is gone, the uninstaller has done its work.
Section "-un.Finish"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Function un.onInit
  SetShellVarContext current
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSettings}
  ${EndIf}
FunctionEnd
