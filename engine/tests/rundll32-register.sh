#!/bin/sh
# Registers the engine the way an installer or a user does, with rundll32 and the engine's own
# entry points, and checks what the registry then says about its classes.
# usage: rundll32-register.sh WINE_RUN STATE_DIR ENGINE_DLL
set -u
run="$1 $2"
dll="Z:$(echo "$3" | sed 's|/|\\|g')"
fail() { echo "rundll32-register: $*" >&2; exit 1; }

$run rundll32 "$dll,DllUnregister" || fail "rundll32 DllUnregister did not run"
$run reg query 'HKCR\Cairn.CairnArchive' >/dev/null 2>&1 && fail "still registered after DllUnregister"

$run rundll32 "$dll,DllRegister" || fail "rundll32 DllRegister did not run"
curver=$($run reg query 'HKCR\Cairn.CairnArchive\CurVer' /ve 2>/dev/null | tr -d '\r' | grep REG_SZ)
case "$curver" in
  *Cairn.CairnArchive.1*) ;;
  *) fail "CurVer is not Cairn.CairnArchive.1: $curver" ;;
esac
clsid=$($run reg query 'HKCR\Cairn.CairnArchive.1\CLSID' /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ -n "$clsid" ] || fail "no class identifier under Cairn.CairnArchive.1"
server=$($run reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ "$server" = "$dll" ] || fail "InprocServer32 is '$server', expected '$dll'"
echo "1 passed, 0 failed"
