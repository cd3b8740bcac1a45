#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own that has never seen Cairn: a silent install
# puts every file in place, registers the servers, the archive type and the uninstall entry, makes
# the sample archive and the Send To entry, and cn then works from any folder; a silent uninstall
# removes every file and key the install wrote and leaves the archives alone.
# usage: install_cycle.sh CAIRN_SETUP_EXE BUILD_TREE STATE_DIR
set -euo pipefail
setup=$1
source "$(dirname "$0")/../../scripts/wine-tree.sh" installer_cycle "$2" "$3"

# A new prefix each time: nothing of an earlier run, or of the other tests, is in it.
"$root/cmake/wine/wine-session" stop "$state" >/dev/null 2>&1 || true
rm -rf "$state"
# A home of the prefix's own: Wine links the user's Desktop and Documents to the home's.
export HOME="$state/home"
mkdir -p "$HOME"
quietly "starting Wine" start_session

prefix="$state/prefix"
drive="$prefix/drive_c"
program="$drive/Program Files/Cairn"
# Wine keeps the Windows folder's own folders in lower case.
system="$drive/windows/system32"
failures=0
check() {  # WHAT COMMAND...: counts a failure when the command fails
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
value() {  # KEY VALUE_NAME: the registry value's data ("" when missing); /ve for the default
  local out
  if [ "$2" = /ve ]; then out=$(run reg query "$1" /ve 2>/dev/null) || return 0
  else out=$(run reg query "$1" /v "$2" 2>/dev/null) || return 0; fi
  echo "$out" | tr -d '\r' | awk -F'    ' 'NF >= 4 { print $4 }' | head -1
}
has_key() { run reg query "$1" >/dev/null 2>&1; }
no_key() { ! has_key "$1"; }
# What the prefix holds: its files, and the classes, uninstall entries and the user's classes.
inventory() {
  (cd "$drive" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -type f -print | sort)
  for key in 'HKLM\Software\Classes' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
             'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved' 'HKCU\Software\Classes'; do
    { run reg query "$key" /s 2>/dev/null || true; } | tr -d '\r'
  done
}

# A young prefix may still be filling in its registry: its inventory counts once two agree.
inventory >"$state/before.txt"
for _ in $(seq 1 10); do
  inventory >"$state/settled.txt"
  cmp -s "$state/before.txt" "$state/settled.txt" && break
  mv "$state/settled.txt" "$state/before.txt"
done
echo "== cairn-setup.exe /S"
check "the installer ends with exit code 0" quietly "cairn-setup.exe /S" run "$setup" /S

desktop=$(cd "$drive/users" && ls -d */Desktop | grep -v '^Public/' | head -1)
sendto=$(cd "$drive/users" && ls -d */AppData/Roaming/Microsoft/Windows/SendTo | head -1)
for file in "$program/cairn.dll" "$program/nsx12.dll" "$program/crnbrowse.exe" "$program/uninstall.exe" \
            "$system/cn.exe" "$system/sfxstub.exe" "$drive/windows/help/CN_Help.chm" \
            "$drive/windows/help/CN_Help/Overview.htm" "$drive/users/$desktop/Sample Archive.crn" \
            "$drive/users/$sendto/Cairn Archive.crnSendToTarget"; do
  check "installed: ${file#$drive/}" test -f "$file"
done
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cairn2000'
check "the uninstall entry is named Cairn 2000" test "$(value "$uninstall" DisplayName)" = "Cairn 2000"
check "the uninstall entry has its command" test "$(value "$uninstall" UninstallString)" = '"C:\Program Files\Cairn\uninstall.exe"'
check "the uninstall entry has a version and a size" test -n "$(value "$uninstall" DisplayVersion)" -a -n "$(value "$uninstall" EstimatedSize)"
check ".crn is a Cairn Archive" test "$(value 'HKCR\.crn' /ve)" = "Cairn Archive"
check "the engine's class is registered" has_key 'HKCR\Cairn.CairnArchive\CLSID'
check "the archive class names the folder class" test -n "$(value 'HKCR\Cairn Archive\CLSID' /ve)"
check "the New menu makes archives" has_key 'HKCR\.crn\ShellNew'
check "under Wine an archive opens in the browser frame" \
  test "$(value 'HKCR\Cairn Archive\Shell\Open\command' /ve)" = '"C:\Program Files\Cairn\crnbrowse.exe" "%1"'
explore=$(value 'HKCR\Cairn Archive\Shell\Explore\command' /ve)
check "the Explore command stays as registration writes it" test "${explore#explorer /e,/root,\{}" != "$explore"
history_handlers='HKCR\*\shellex\PropertySheetHandlers\Cairn History'
history_folders='HKCR\Directory\shellex\PropertySheetHandlers\Cairn History'
check "every file gets the History page" has_key "$history_handlers"
check "every folder gets the History page" has_key "$history_folders"
check "the machine's RunWizard is 1" test "$(value "HKCR\\CLSID\\$(value 'HKCR\Cairn Archive\CLSID' /ve)\\Options" RunWizard)" = 0x1

# cn from a folder of the user's, found on the search path, through the installed engine.
work="$drive/users/Public/Documents/cycle"
mkdir -p "$work/My Files"
printf 'kept\n' >"$work/My Files/notes.txt"
code=0
(cd "$work" && run cn.exe /c /a "My Files" mine.crn >"$state/cn.log" 2>&1) || code=$?
check "cn, started without a folder, takes a first snapshot (exit code 1)" test "$code" = 1
check "the archive cn made is there" test -s "$work/mine.crn"

echo "== uninstall.exe /S"
# The uninstaller runs in place, and so ends when it is done, when given its folder last, unquoted:
# two words, which Wine joins with a blank.
check "the uninstaller ends with exit code 0" quietly "uninstall.exe /S" \
  run "$program/uninstall.exe" /S '_?=C:\Program' 'Files\Cairn'
rm -f "$program/uninstall.exe"
rmdir "$program" 2>/dev/null || true
check "the program folder is gone" test ! -e "$program"
check "cn and the launcher are gone" test ! -e "$system/cn.exe" -a ! -e "$system/sfxstub.exe"
check "the help file and its pages are gone" test ! -e "$drive/windows/help/CN_Help.chm" -a ! -e "$drive/windows/help/CN_Help"
check "the Send To entry is gone" test ! -e "$drive/users/$sendto/Cairn Archive.crnSendToTarget"
check "the uninstall entry is gone" no_key "$uninstall"
check "the archive type is gone" no_key 'HKCR\.crn'
check "the History page's handler is gone" no_key "$history_handlers"
check "the History page's folder handler is gone" no_key "$history_folders"
check "the sample archive remains" test -s "$drive/users/$desktop/Sample Archive.crn"
check "the user's archive remains" test -s "$work/mine.crn"
rm -rf "$work"
inventory | grep -v "/$desktop/Sample Archive.crn\$" >"$state/after.txt"
if diff "$state/before.txt" "$state/after.txt" >"$state/inventory.diff"; then
  echo "ok: nothing else of the installation is left, in files or keys"
else
  echo "FAILED: the uninstall left or removed these (before < > after):" >&2
  cat "$state/inventory.diff" >&2
  failures=$((failures + 1))
fi

[ "$failures" = 0 ] || { echo "installer_cycle: $failures check(s) failed" >&2; exit 1; }
echo "installer_cycle: every check passed"
