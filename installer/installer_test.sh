#!/usr/bin/env bash
# The installer under Wine, in the prefix of $WINEPREFIX: a silent install
# (with only the bin folder added to the user's PATH), the program started
# from its Start-menu shortcut's working directory finding its settings there,
# and two silent uninstalls, one that keeps the settings file and one told to
# remove it (the PATH entry goes with the first), the second after an install
# over an earlier version; then a folder named outside the ANSI code page.
# Leaves the prefix as it found it.
#
#   installer_test.sh --version X.Y.Z --app-dir DIR --cli-dir DIR --probe install_probe.exe
#                     --work DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

while (($#)); do
  case $1 in
    --version) version=$2 ;;
    --app-dir) app_dir=$2 ;;
    --cli-dir) cli_dir=$2 ;;
    --probe) probe=$2 ;;
    --work) work=$2 ;;
    *) echo "installer_test: unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done

# Command lines reach Wine in UTF-8; its OEM code page is 437.
export LC_ALL=C.UTF-8
# No desktop entries on the host for the shortcuts made here.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PelorandixControlCenter'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_value=Pelorandix
environment_key='HKCU\Environment'
# The user's PATH while the test runs: entries of their own, one not in ANSI.
user_path='C:\Tools;C:\Tools\Ωmega'
# "Language" German (0): four zero bytes and their checksum.
settings_text=$'[Settings]\r\nLanguage=0000000000\r\n'
# The preferences page's "On Login" box in German.
german_text='Bei Anmeldung'

failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}
equals() { [[ "$1" == "$2" ]] || { echo "  got:      '$1'" && echo "  expected: '$2'" && false; }; }
fatal() {
  echo "FAILED: $*"
  exit 1
}

# The data of a registry value (in code page 437 from reg.exe); fails when it is missing.
reg_data() {
  wine reg query "$1" /v "$2" 2>/dev/null | iconv -f CP437 -t UTF-8 | tr -d '\r' |
    awk -v name="$2" '$1 == name { sub(/^ *[^ ]+ +REG_[A-Z_]+(    |$)/, ""); print; found = 1 }
                      END { exit !found }'
}
reg_type() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { print $2 }'
}
key_exists() { wine reg query "$1" >/dev/null 2>&1; }

# The uninstaller hands its work to a copy of itself and returns at once;
# the uninstall key goes last.
wait_for_uninstall() {
  for _ in $(seq 150); do
    key_exists "$uninstall_key" || return 0
    sleep 0.2
  done
  return 1
}

same_content() { cmp -s "$1" <(printf '%s' "$2"); }
folder_listing() { (cd "$1" 2>/dev/null && ls -A | LC_ALL=C sort | tr '\n' ' '); }

mkdir -p "$work"
setup="$work/PelorandixControlCenter-$version-setup.exe"
"$here/make-installer" --app-dir "$app_dir" --cli-dir "$cli_dir" --version "$version" --stage "$work/stage" \
  --out "$setup" --fast || fatal "building the installer"

mapfile -t folders < <(wine cmd /c 'echo %LOCALAPPDATA%&echo %APPDATA%' | tr -d '\r')
install_win="${folders[0]}\\Programs\\Pelorandix Control Center"
shortcut_win="${folders[1]}\\Microsoft\\Windows\\Start Menu\\Programs\\Pelorandix Control Center.lnk"
# A folder named outside the ANSI code page, as a user's profile may be.
unicode_win="${folders[0]}\\Programs\\Ωmega-Σφ"
install=$(winepath -u "$install_win" 2>/dev/null)
shortcut=$(winepath -u "$shortcut_win" 2>/dev/null)
unicode=$(winepath -u "$unicode_win" 2>/dev/null)
[[ -n "$install" && -n "$shortcut" && -n "$unicode" ]] || fatal "finding the user's folders"

# Whatever an interrupted run left, and the user's own Run value kept aside.
saved_run_type=$(reg_type "$run_key" "$run_value")
saved_run_data=$(reg_data "$run_key" "$run_value")
saved_path_type=$(reg_type "$environment_key" Path)
saved_path_data=$(reg_data "$environment_key" Path)
program_pid=
restore() {
  if [[ -n "$program_pid" ]] && wine "$probe" running "$program_pid"; then
    wine taskkill /f /pid "$program_pid" >/dev/null 2>&1
  fi
  wine reg delete "$uninstall_key" /f >/dev/null 2>&1
  rm -rf "$install" "$shortcut" "$unicode"
  if [[ -n "$saved_run_type" ]]; then
    wine reg add "$run_key" /v "$run_value" /t "$saved_run_type" /d "$saved_run_data" /f >/dev/null
  else
    wine reg delete "$run_key" /v "$run_value" /f >/dev/null 2>&1
  fi
  if [[ -n "$saved_path_type" ]]; then
    wine reg add "$environment_key" /v Path /t "$saved_path_type" /d "$saved_path_data" /f >/dev/null
  else
    wine reg delete "$environment_key" /v Path /f >/dev/null 2>&1
  fi
}
trap restore EXIT
wine reg delete "$uninstall_key" /f >/dev/null 2>&1
rm -rf "$install" "$shortcut" "$unicode"
wine reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$user_path" /f >/dev/null

echo "--- silent install"
wine "$setup" /S || fatal "setup /S exited with $?"
check "the installed files" equals "$(folder_listing "$install")" \
  "PelorandixControlCenter.exe README.txt bin qvxgerman.dll uninstall.exe "
check "pelorandix.exe alone in bin" equals "$(folder_listing "$install/bin")" "pelorandix.exe "
check "only the bin folder on the user's PATH" \
  equals "$(reg_type "$environment_key" Path) $(reg_data "$environment_key" Path)" \
  "REG_EXPAND_SZ $user_path;$install_win\\bin"
check "the Start-menu shortcut" test -f "$shortcut"
check "DisplayName" equals "$(reg_data "$uninstall_key" DisplayName)" "Pelorandix Control Center"
check "DisplayVersion" equals "$(reg_data "$uninstall_key" DisplayVersion)" "$version"
check "Publisher" equals "$(reg_data "$uninstall_key" Publisher)" "Pelorandix"
check "InstallLocation" equals "$(reg_data "$uninstall_key" InstallLocation)" "$install_win"
check "UninstallString" equals "$(reg_data "$uninstall_key" UninstallString)" \
  "\"$install_win\\uninstall.exe\""
check "QuietUninstallString" equals "$(reg_data "$uninstall_key" QuietUninstallString)" \
  "\"$install_win\\uninstall.exe\" /S"
check "NoModify" equals "$(reg_data "$uninstall_key" NoModify)" "0x1"
check "NoRepair" equals "$(reg_data "$uninstall_key" NoRepair)" "0x1"
check "EstimatedSize" test "$(($(reg_data "$uninstall_key" EstimatedSize)))" -gt 0
for file in "$setup" "$install/PelorandixControlCenter.exe"; do
  check "version of $(basename "$file")" equals "$(wine "$probe" version "$file" | tr -d '\r')" \
    "$(printf 'product=%s\nfile=%s.0' "$version" "$version")"
done

echo "--- the program from its shortcut, with German in its settings"
printf '%s' "$settings_text" >"$install/QVXSettings.ini"
# Into a file: the program inherits the probe's output and would hold a
# pipe open for as long as it runs.
wine "$probe" start "$shortcut_win" "$german_text" >"$work/started.txt" 2>&1
started=$(tr -d '\r' <"$work/started.txt")
echo "$started" | sed 's/^/  /'
program_pid=$(sed -n 's/^pid=//p' <<<"$started")
check "the shortcut's target" equals "$(sed -n 's/^target=//p' <<<"$started")" \
  "$install_win\\PelorandixControlCenter.exe"
check "the shortcut's working directory" equals "$(sed -n 's/^workdir=//p' <<<"$started")" \
  "$install_win"
check "the program read its settings (German)" grep -qx "found=$german_text" <<<"$started"
# From a prompt, "pelorandix" is found on PATH and asks the running program,
# which has no switch (without the program: "... which is not running").
check "pelorandix from a prompt asks the running program" \
  equals "$(wine cmd /c pelorandix --rotate 2>&1 | tr -d '\r')" "pelorandix: no switch is connected"

echo "--- silent uninstall while it runs, start at login pointing at it"
wine reg add "$run_key" /v "$run_value" /t REG_SZ \
  /d "\"$install_win\\PelorandixControlCenter.exe\"" /f >/dev/null
wine "$install/uninstall.exe" /S
check "the uninstaller finished" wait_for_uninstall
if [[ -n "$program_pid" ]]; then
  check "the program was closed" test "$(wine "$probe" running "$program_pid"; echo $?)" = 1
fi
check "only the settings file is left" equals "$(folder_listing "$install")" "QVXSettings.ini "
check "the settings file is unchanged" same_content "$install/QVXSettings.ini" "$settings_text"
check "the shortcut is gone" test ! -e "$shortcut"
check "the start at login of this install is gone" test -z "$(reg_type "$run_key" "$run_value")"
check "only the bin folder left the user's PATH" \
  equals "$(reg_data "$environment_key" Path)" "$user_path"

echo "--- install again over the kept settings and an earlier version, uninstall /REMOVESETTINGS"
# Earlier versions: pelorandix.exe beside the program, the whole folder on
# PATH, the start at login unquoted.
cp "$cli_dir/pelorandix.exe" "$install/"
wine reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$user_path;$install_win" /f >/dev/null
wine reg add "$run_key" /v "$run_value" /t REG_SZ \
  /d "$install_win\\PelorandixControlCenter.exe" /f >/dev/null
wine "$setup" /S || fatal "setup /S exited with $?"
check "the settings file survived the install, the earlier pelorandix.exe did not" \
  equals "$(folder_listing "$install")" \
  "PelorandixControlCenter.exe QVXSettings.ini README.txt bin qvxgerman.dll uninstall.exe "
check "the earlier PATH entry gave way to the bin folder" \
  equals "$(reg_data "$environment_key" Path)" "$user_path;$install_win\\bin"
check "the earlier start at login is quoted" \
  equals "$(reg_data "$run_key" "$run_value")" "\"$install_win\\PelorandixControlCenter.exe\""
elsewhere='C:\Elsewhere\PelorandixControlCenter.exe'
wine reg add "$run_key" /v "$run_value" /t REG_SZ /d "$elsewhere" /f >/dev/null
wine "$install/uninstall.exe" /S /REMOVESETTINGS
check "the uninstaller finished" wait_for_uninstall
check "the install folder is gone" test ! -e "$install"
check "the shortcut is gone" test ! -e "$shortcut"
check "a start at login of another copy is kept" \
  equals "$(reg_data "$run_key" "$run_value")" "$elsewhere"

echo "--- install and uninstall in a folder named outside the ANSI code page"
wine "$setup" /S "/D=$unicode_win" || fatal "setup /S /D= exited with $?"
check "the program and pelorandix.exe there" \
  test -f "$unicode/PelorandixControlCenter.exe" -a -f "$unicode/bin/pelorandix.exe"
check "its bin folder on the user's PATH" \
  equals "$(reg_data "$environment_key" Path)" "$user_path;$unicode_win\\bin"
# Unquoted, as earlier versions wrote it.
wine reg add "$run_key" /v "$run_value" /t REG_SZ /d "$unicode_win\\PelorandixControlCenter.exe" /f \
  >/dev/null
wine "$unicode/uninstall.exe" /S
check "the uninstaller finished" wait_for_uninstall
check "the folder is gone" test ! -e "$unicode"
check "the earlier start at login is gone" test -z "$(reg_type "$run_key" "$run_value")"
check "the user's PATH is as it was" equals "$(reg_data "$environment_key" Path)" "$user_path"

echo "installer_test: $failures failed"
((failures == 0))
