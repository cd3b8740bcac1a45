#!/usr/bin/env bash
# Takes pictures of the browser frame showing an archive under Wine and Xvfb: cn makes an archive
# of a small folder in three snapshots (the third adds a file and changes another, and adds a
# file beside the folder), the engine and the Explorer extension are registered, and browsershots
# captures the frame at the archive root in details view, inside the newest snapshot's folder with
# the overlays showing, and with an item's context menu open, then the restore dialog, the
# Revisions page and the compare window (beside its previous revision) of a file changed twice,
# and the newest snapshot's Contents page, and the folder of an archive whose names are UTF-8, of files named beyond any one code page; archiveshots
# captures the archive file's context menu and its Settings page, Check Archive's report on the
# archive and on a compressed archive with a byte of a stored revision changed, and a drag of a
# stored folder from the archive's view onto a plain folder's, and the History page of a file that
# a second archive holds too.
# usage: scripts/screenshot-browser.sh [BUILD_TREE] (default build/win64, built with
#        scripts/build.sh win64 cn cairn nsx12 browsershots archiveshots)
# Writes BUILD_TREE/screenshots/browser-root.png, browser-inside.png, browser-context.png,
# browser-restore.png, browser-revisions.png, browser-compare.png, browser-contents.png,
# browser-utf8-names.png, archive-menu.png, archive-settings.png, archive-check.png,
# archive-check-damaged.png, archive-drag.png and archive-history.png. It starts and stops the
# tree's Wine session, so do not run it while ctest runs in the same tree.
set -euo pipefail
source "$(dirname "$0")/wine-tree.sh" screenshot-browser "${1:-}"

require_built "cn cairn nsx12 browsershots archiveshots" "$build/cli/cn.exe" "$build/engine/cairn.dll" "$build/shell/nsx12.dll" \
  "$build/shell/browser/browsershots.exe" "$build/shell/browser/archiveshots.exe"
command -v convert >/dev/null || { echo "screenshot-browser: needs imagemagick's convert" >&2; exit 1; }

work="$build/screenshots/browser"
data="$work/Projects"
rm -rf "$work"
mkdir -p "$data/Reports" "$data/Letters" "$work/Desktop"
printf 'Quarterly figures\n' >"$data/Reports/summary.txt"
head -c 5000 /dev/zero | tr '\0' 'x' >"$data/Reports/figures.csv"
printf 'Dear reader\n' >"$data/Letters/welcome.txt"
printf 'Plan for the year\n' >"$data/plan.txt"
printf 'Notes\nCall the printer\nBook the room\nAsk about the date\n' >"$data/notes.txt"
archive="$work/Projects.crn"

start_session
run rundll32 "$(windows "$build/engine/cairn.dll"),DllRegister"
run regsvr32 /s "$(windows "$build/shell/nsx12.dll")"
# The pictures' user has turned the welcome wizard off, as a person does on its last page.
folder_class=$(run reg query 'HKCR\Cairn Archive\CLSID' /ve | tr -d '\r' | awk -F'    ' 'NF >= 4 { print $4 }')
run reg add "HKCU\\Software\\Classes\\CLSID\\$folder_class\\Options" /v RunWizard /t REG_DWORD /d 0 /f >/dev/null
# cn ends with 1 when it made a snapshot.
run "$build/cli/cn.exe" /c /a "$(windows "$data")" "$(windows "$archive")" || [ $? -eq 1 ]
printf 'Plan for the year, revised\n' >"$data/plan.txt"
run "$build/cli/cn.exe" "$(windows "$archive")" || [ $? -eq 1 ]
printf 'Budget\n' >"$data/budget.txt"
printf 'Notes, with more to say\nCall the printer\nBook the hall\nSend the invitations\nAsk about the date\n' \
  >"$data/notes.txt"
printf 'Travel\n' >"$work/Travel.txt"
run "$build/cli/cn.exe" /a "$(windows "$work/Travel.txt")" "$(windows "$archive")" || [ $? -eq 1 ]

run "$build/shell/browser/browsershots.exe" "$(windows "$archive")" "$(windows "$work")" "$(windows "$data/notes.txt")"
pictures="root inside context restore revisions compare contents"
for picture in $pictures; do
  convert "$work/$picture.bmp" "$build/screenshots/browser-$picture.png"
done
# An archive whose names are UTF-8 (option 0x40, set in the header of a new, empty archive), of
# files named beyond any one code page: the picture of its folder shows them as they are.
names="$work/Names"
mkdir -p "$names/Folder" "$work/names-shots"
printf 'one\n' >"$names/Folder/naïve café.txt"
printf 'two\n' >"$names/Folder/日本語.txt"
printf 'three\n' >"$names/Folder/emoji 😀.txt"
names_archive="$work/Names.crn"
run "$build/cli/cn.exe" /c "$(windows "$names_archive")"
python3 -c 'import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(16); options, = struct.unpack("<I", f.read(4)); f.seek(16); f.write(struct.pack("<I", options | 0x40))' \
  "$names_archive"
run "$build/cli/cn.exe" /a "$(windows "$names/Folder")" "$(windows "$names_archive")" || [ $? -eq 1 ]
run "$build/shell/browser/browsershots.exe" "$(windows "$names_archive")" "$(windows "$work/names-shots")" \
  "$(windows "$names/Folder/日本語.txt")"
convert "$work/names-shots/inside.bmp" "$build/screenshots/browser-utf8-names.png"
# A compressed archive (option 0x01, set in the header of a new, empty archive) of a file changed
# once, with a byte changed in the middle of the largest compressed stream, the newest revision's.
damaged="$work/Damaged.crn"
mkdir -p "$work/Ledger"
python3 -c 'import sys
sys.stdout.write("".join("entry %d: %d\n" % (i, i * 7919 % 10007) for i in range(4000)))' >"$work/Ledger/ledger.txt"
run "$build/cli/cn.exe" /c "$(windows "$damaged")"
python3 -c 'import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(16); options, = struct.unpack("<I", f.read(4)); f.seek(16); f.write(struct.pack("<I", options | 0x01))' \
  "$damaged"
run "$build/cli/cn.exe" /a "$(windows "$work/Ledger")" "$(windows "$damaged")" || [ $? -eq 1 ]
printf 'entry 4000: closed\n' >>"$work/Ledger/ledger.txt"
run "$build/cli/cn.exe" "$(windows "$damaged")" || [ $? -eq 1 ]
python3 -c 'import sys, zlib
data = bytearray(open(sys.argv[1], "rb").read())
best = (0, 0, 0)
for at in range(len(data) - 1):
    if data[at] != 0x78 or (data[at] * 256 + data[at + 1]) % 31: continue
    z = zlib.decompressobj()
    try: out = z.decompress(bytes(data[at:]))
    except zlib.error: continue
    if z.eof and len(out) > best[1]: best = (at, len(out), len(data) - at - len(z.unused_data))
if not best[1]: sys.exit("screenshot-browser: no compressed stream to damage")
data[best[0] + best[2] // 2] ^= 0x20
open(sys.argv[1], "wb").write(data)' "$damaged"
# A second archive of one of the files: its History page lists the revisions of both (cn records
# every archive it makes as known).
printf 'Plan for the year, revised again\n' >"$data/plan.txt"
run "$build/cli/cn.exe" /c /a "$(windows "$data/plan.txt")" "$(windows "$work/Plans.crn")" || [ $? -eq 1 ]
run "$build/shell/browser/archiveshots.exe" "$(windows "$archive")" "$(windows "$work/Desktop")" "$(windows "$work")" \
  "$(windows "$damaged")" "$(windows "$data/plan.txt")"
for picture in menu settings check check-damaged drag history; do
  convert "$work/$picture.bmp" "$build/screenshots/archive-$picture.png"
done
echo "screenshot-browser: browser-{${pictures// /,},utf8-names}.png and archive-{menu,settings,check,check-damaged,drag,history}.png in" \
  "$build/screenshots"
