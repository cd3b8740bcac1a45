#!/usr/bin/env bash
# One person's way through Cairn under Wine, from the installer to the uninstaller, with a picture
# of each step a person sees. Wine runs with a virtual desktop of its own (windows keep their title
# bars and stay above the windows that own them) in a new prefix, with a home of its own, that has
# never seen Cairn:
#    1. cairn-setup.exe /S installs Cairn;               7. a file is restored from the archive;
#    2. cn runs from any folder;                         8. the Autosnap job's command takes a snapshot;
#    3. the sample archive is on the desktop;            9. Help opens the installed pages in the browser;
#    4. the New menu's command makes an archive;        10. a self-extracting archive opens in the frame;
#    5. Send To a document makes its archive;           11. the uninstaller removes Cairn, archives stay;
#    6. the browser frame shows it, the wizard first;   12. without Cairn, a self-extracting archive
#                                                           offers, downloads and runs the installer.
# A step that cannot be done says why and the others go on; the script ends with exit code 1 when
# any failed, naming them.
# usage: tests/journey/run.sh      (writes build/win64/screenshots/journey-*.png)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bash "$root/scripts/setup.sh"
# The user's browser, for the picture of the help page.
command -v chromium >/dev/null || {
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends chromium >/dev/null
}
bash "$root/scripts/build.sh" win64 cairn_setup hand >/dev/null || exit 1
source "$root/scripts/wine-tree.sh" journey "$root/build/win64" "$root/build/win64/tests/journey/wine"
setup="$build/installer/cairn-setup.exe"
hand_exe="$build/tests/journey/hand.exe"
shots="$build/screenshots"
mkdir -p "$shots"
rm -f "$shots"/journey-*.png

# --- A new prefix, a home of its own and a virtual desktop ---------------------------------------
"$root/cmake/wine/wine-session" stop "$state" >/dev/null 2>&1
rm -rf "$state"
export HOME="$state/home"
mkdir -p "$HOME/Desktop" "$HOME/Documents"
quietly "starting Wine" start_session
quietly "choosing a virtual desktop" run reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
quietly "sizing the virtual desktop" run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f
# A prefix without its HTML engine has no class for .htm pages; a person's Wine hands them to
# winebrowser, which starts the host's browser: here a stand-in that notes the page it is given.
quietly "the class of .htm pages" run reg add 'HKCR\.htm' /ve /d htmlfile /f
export CAIRN_JOURNEY_BROWSER_LOG="$state/browser.log"
quietly "the host's browser" run reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$root/tests/journey/browser.sh" /f
"$root/cmake/wine/wine-session" stop "$state" >/dev/null 2>&1
quietly "restarting Wine" "$root/cmake/wine/wine-session" start "$state"
display=$(cat "$state/display")

drive="$state/prefix/drive_c"
program="$drive/Program Files/Cairn"
documents="$HOME/Documents"
win_documents=$(cd "$drive/users" && ls -d */Documents | grep -v '^Public/' | head -1)
win_documents="C:\\users\\${win_documents%%/*}\\Documents"
frame_title() { echo "$1 - Cairn Browser"; }
hand() { run "$hand_exe" "$@"; }
failed=()
fail() { echo "journey: step $step: $*" >&2; failed+=("$step: $*"); }
note() { echo "   $*"; }
# Waits until the desktop has stopped changing (at most ten seconds).
settle() {
  local previous="" now
  for _ in $(seq 1 40); do
    now=$(DISPLAY=$display import -window root rgb:- 2>/dev/null | md5sum)
    [ "$now" = "$previous" ] && return 0
    previous=$now
    sleep 0.25
  done
}
# A picture of the desktop once it has stopped changing.
shot() {
  local name="journey-$(printf '%02d' "$step")-$1.png"
  settle
  DISPLAY=$display import -window root "$shots/$name"
  note "picture: $name"
}
cn_in() {  # FOLDER ARGS...: cn as a person types it in that folder, found on the search path
  local folder=$1
  shift
  (cd "$folder" && run cn.exe "$@")
}
value() {  # KEY VALUE_NAME (/ve for the default): the registry value's data, empty when missing
  local out
  if [ "$2" = /ve ]; then out=$(run reg query "$1" /ve 2>/dev/null) || return 0
  else out=$(run reg query "$1" /v "$2" 2>/dev/null) || return 0; fi
  echo "$out" | tr -d '\r' | awk -F'    ' 'NF >= 4 { print $4 }' | head -1
}

mkdir -p "$documents/Work"
printf 'Quarterly report, first draft\n' >"$documents/Work/report.txt"
printf 'Notes for the meeting\n' >"$documents/Work/notes.txt"
printf 'Dear reader,\nthis letter keeps its history.\n' >"$documents/letter.txt"

# --- 1 ------------------------------------------------------------------------------------------
step=1
echo "== 1. cairn-setup.exe /S"
if quietly "cairn-setup.exe /S" run "$setup" /S &&
   [ "$(value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cairn2000' DisplayName)" = "Cairn 2000" ]; then
  note "installed; the system's list of programs names it"
  run control appwiz.cpl >/dev/null 2>&1 &
  if hand wait "Add/Remove Programs" 60; then shot installed; hand close "Add/Remove Programs"; fi
else
  fail "the silent install did not install Cairn"
fi

# --- 2 ------------------------------------------------------------------------------------------
step=2
echo "== 2. cn from any folder"
code=0
cn_in "$documents" /c /v /a Work work.crn >"$state/cn.log" 2>&1 || code=$?
if [ "$code" = 1 ] && [ -s "$documents/work.crn" ]; then
  note "cn /c /v /a Work work.crn: $(tr -d '\r' <"$state/cn.log" | grep Created)"
  # The same, as a person sees it in a console window, which takes its title once cn is done.
  run start cmd /k "cd /d $win_documents&& cn.exe /l work.crn&& cn.exe /l Snapshot;1 work.crn&& title Cairn command line" \
    >/dev/null 2>&1
  if hand wait "Cairn command line" 30; then shot console; hand close "Cairn command line"; fi
else
  fail "cn did not make work.crn from the Documents folder (exit code $code)"
fi

# --- 3 ------------------------------------------------------------------------------------------
step=3
echo "== 3. the sample archive"
if [ -s "$HOME/Desktop/Sample Archive.crn" ]; then
  note "Desktop\\Sample Archive.crn is there"
  run "$program/crnbrowse.exe" "$(windows "$HOME/Desktop")" >/dev/null 2>&1 &
  if hand wait "$(frame_title Desktop)" 60; then shot desktop; hand close "$(frame_title Desktop)"; fi
else
  fail "no sample archive on the desktop"
fi

# --- 4 ------------------------------------------------------------------------------------------
step=4
echo "== 4. New, Cairn Archive"
command=$(value 'HKCR\.crn\ShellNew' Command)
new_archive="$win_documents\\New Cairn Archive.crn"
command=${command/\%1!d!/1}
command=${command/\%2/$new_archive}
note "the New menu runs: $command"
hand start "$command"
if [ -s "$documents/New Cairn Archive.crn" ]; then
  run "$program/crnbrowse.exe" "$win_documents" >/dev/null 2>&1 &
  if hand wait "$(frame_title Documents)" 60; then shot documents; hand close "$(frame_title Documents)"; fi
else
  fail "the New menu's command made no archive"
fi

# --- 5 ------------------------------------------------------------------------------------------
step=5
echo "== 5. Send To, Cairn Archive"
if hand sendto "$win_documents\\letter.txt" "$win_documents\\letter.crn" && [ -s "$documents/letter.crn" ] &&
   cn_in "$documents" /l letter.crn 2>/dev/null | grep -q 'Snapshot;1'; then
  note "letter.crn made beside the letter, with its first snapshot"
  shown=letter.crn
else
  fail "Send To did not make letter.crn with a first snapshot"
  shown=work.crn
  note "the following steps use work.crn, made by cn in step 2"
fi

# --- 6 ------------------------------------------------------------------------------------------
step=6
echo "== 6. the archive in the browser frame, with the welcome wizard"
title=$(frame_title "$shown")
hand open "$win_documents\\$shown"
if hand wait "$title" 60 && hand wait "Welcome to a Cairn archive" 30; then
  # Wine lets the frame rise over the wizard it owns a moment after it came up: a click on the
  # wizard brings it back.
  settle
  hand front "Welcome to a Cairn archive"
  shot wizard-first-page
  for _ in 1 2 3; do hand sheet "Welcome to a Cairn archive" next; done
  hand check "Welcome to a Cairn archive" 1017
  shot wizard-last-page
  hand sheet "Welcome to a Cairn archive" finish
  hand gone "Welcome to a Cairn archive" 30 || fail "the wizard stays after Finish"
  clsid=$(value 'HKCR\Cairn Archive\CLSID' /ve)
  [ "$(value "HKCU\\Software\\Classes\\CLSID\\$clsid\\Options" RunWizard)" = 0x0 ] ||
    fail "Finish with the box ticked did not record the user's choice"
  shot archive
else
  fail "double-clicking $shown showed no browser frame with the wizard"
fi

# --- 7 ------------------------------------------------------------------------------------------
step=7
echo "== 7. restore a file"
# The frame's title names the level it shows: one level down, it changes.
shown_now() { hand find " - Cairn Browser" 2>/dev/null | tr -d '\r'; }
open_row() {  # ROW: opens the row of the level shown and waits for the next level
  local before
  before=$(shown_now)
  hand select "$before" 37 "$1" && hand command "$before" 1 || return 1
  for _ in $(seq 1 150); do
    [ "$(shown_now)" != "$before" ] && return 0
    sleep 0.2
  done
  return 1
}
# The file to take back: the letter, alone in its archive's first snapshot; or, in work.crn, the
# report in the snapshot's folder Work (after notes.txt).
if [ "$shown" = letter.crn ]; then
  lost="$documents/letter.txt" words='keeps its history' rows=(0) row=0
else
  lost="$documents/Work/report.txt" words='first draft' rows=(0 0) row=1
fi
kept=$(cat "$lost")
rm -f "$lost"
opened=1
for r in "${rows[@]}"; do open_row "$r" || { opened=0; break; }; done
if [ $opened = 1 ] && hand select "$(shown_now)" 37 "$row" &&
   hand command "$(shown_now)" 2 && hand wait "Restore Item(s)..." 30; then
  shot restore
  hand sheet "Restore Item(s)..." finish
  hand gone "Restore Item(s)..." 60
  if grep -q "$words" "$lost" 2>/dev/null; then
    note "${lost#$documents/} is back, as the snapshot holds it"
  else
    fail "the restore did not bring ${lost#$documents/} back"
  fi
else
  fail "Restore on ${lost##*/} in $(shown_now) showed no restore dialog"
fi
printf '%s\n' "$kept" >"$lost"
hand close "$(shown_now)"
hand gone "$(shown_now)" 30

# --- 8 ------------------------------------------------------------------------------------------
step=8
echo "== 8. the Autosnap job"
# A change for the job to find in the file step 7 took back.
printf 'A line written later.\n' >>"$lost"
# The archive's Properties make its job for their schedule page (Wine's scheduler has no such page
# to show; the job is made all the same).
hand properties "$win_documents\\$shown" >/dev/null 2>&1 &
sheet="$shown Properties"
hand wait "$sheet" 30 && { shot properties; hand sheet "$sheet" cancel; hand gone "$sheet" 30; }
if job=$(hand job "$win_documents\\$shown" 2>"$state/job.log"); then
  job=$(echo "$job" | tr -d '\r')
  note "the job runs: $job"
  # As the scheduler starts it: from the system folder, the application without a folder.
  (cd "$drive/windows/system32" && hand start "$job") >/dev/null 2>&1
  if cn_in "$documents" /l "$shown" 2>/dev/null | grep -q 'Autosnap;'; then
    note "the archive now holds an Autosnap snapshot"
  else
    fail "the job's command took no Autosnap snapshot"
  fi
else
  fail "$(tr -d '\r' <"$state/job.log")"
fi
hand open "$win_documents\\$shown"
hand wait "$title" 60 && shot archive-again

# --- 9 ------------------------------------------------------------------------------------------
step=9
echo "== 9. Help"
rm -f "$CAIRN_JOURNEY_BROWSER_LOG"
hand command "$title" 69
if timeout 60 sh -c "until [ -s '$CAIRN_JOURNEY_BROWSER_LOG' ]; do sleep 0.2; done"; then
  page=$(head -1 "$CAIRN_JOURNEY_BROWSER_LOG")
  note "the browser was given $page"
  case "$page" in
    *CN_Help/Overview.htm) ;;
    *) fail "the browser was given $page, not the installed overview" ;;
  esac
  unix_page=$(ls "$drive"/windows/[Hh]elp/CN_Help/Overview.htm)
  chromium --headless --no-sandbox --disable-gpu --window-size=1024,768 \
    --screenshot="$shots/journey-09-help.png" "file://$unix_page" >/dev/null 2>&1 &&
    note "picture: journey-09-help.png (the page in the browser)"
else
  hand wait "No Help" 5 && { shot no-help; hand click "No Help" 1; }
  fail "Help gave the browser no page"
fi
hand close "$title"
hand gone "$title" 30

# --- 10 -----------------------------------------------------------------------------------------
step=10
echo "== 10. a self-extracting archive"
base=${shown%.crn}
# What Make Self-Extracting starts: the launcher with the archive's path.
run "$drive/windows/system32/sfxstub.exe" "$win_documents\\$shown" >/dev/null 2>&1
if [ -s "$documents/$base.exe" ]; then
  hand open "$win_documents\\$base.exe"
  if hand wait "$(frame_title "$base.exe")" 60; then
    shot self-extracting
    hand close "$(frame_title "$base.exe")"
    hand gone "$(frame_title "$base.exe")" 30
  else
    fail "double-clicking $base.exe showed no browser frame"
  fi
else
  fail "the launcher made no $base.exe"
fi

# --- 11 -----------------------------------------------------------------------------------------
step=11
echo "== 11. the uninstaller"
before="${failed[*]}"
run "$program/uninstall.exe" >/dev/null 2>&1 &
if hand wait "Cairn Uninstall: Confirmation" 60; then
  shot uninstall
  hand click "Cairn Uninstall: Confirmation" 1
  if hand wait "Cairn Uninstall: Completed" 120; then
    shot uninstalled
    hand click "Cairn Uninstall: Completed" 1
    hand gone "Cairn Uninstall: Completed" 60
  else
    fail "the uninstaller did not complete"
  fi
  for gone in "$program" "$drive/windows/system32/cn.exe" "$drive/windows/system32/sfxstub.exe"; do
    [ ! -e "$gone" ] || fail "the uninstaller left ${gone#$drive/}"
  done
  [ -z "$(value 'HKCR\.crn' /ve)" ] || fail "the uninstaller left the archive type"
  for kept in "$HOME/Desktop/Sample Archive.crn" "$documents/New Cairn Archive.crn" "$documents/$base.exe"; do
    [ -s "$kept" ] || fail "the uninstaller took ${kept#$HOME/}"
  done
  [ "${failed[*]}" = "$before" ] && note "Cairn is gone; the archives remain"
else
  fail "the uninstaller showed no window"
fi

# --- 12 -----------------------------------------------------------------------------------------
step=12
echo "== 12. a self-extracting archive where Cairn is missing"
# The installer on a site of the user's own network: here a folder of the machine.
cp "$setup" "$drive/users/Public/cairn-setup.exe"
hand open "$win_documents\\$base.exe"
if hand wait " Install Cairn Now?" 60; then
  shot install-offer
  hand click " Install Cairn Now?" 1
  if hand wait "Download" 30; then
    hand type "Download" 1003 "file:///C:/users/Public/cairn-setup.exe"
    shot download
    hand click "Download" 1004
    if hand wait "Cairn Setup: Installation Folder" 120; then
      shot setup
      hand click "Cairn Setup: Installation Folder" 1
      hand wait "Cairn Setup: Completed" 120 && { shot setup-completed; hand click "Cairn Setup: Completed" 1; }
      hand gone "Cairn Setup: Completed" 60
      if hand wait "$(frame_title "$base.exe")" 60; then
        hand wait "Welcome to a Cairn archive" 10 && settle && hand front "Welcome to a Cairn archive"
        shot opened-after-install
        hand close "$(frame_title "$base.exe")"
      else
        fail "after the installation the archive did not open"
      fi
    else
      fail "the download of a file: address ran no installer"
    fi
  else
    fail "Yes showed no download window"
  fi
else
  fail "the self-extracting archive offered no installation"
fi

echo
if [ ${#failed[@]} -eq 0 ]; then
  echo "journey: every step done; pictures in $shots/journey-*.png"
  exit 0
fi
echo "journey: ${#failed[@]} step(s) could not be done:" >&2
printf '  step %s\n' "${failed[@]}" >&2
echo "pictures of the steps done in $shots/journey-*.png" >&2
exit 1
