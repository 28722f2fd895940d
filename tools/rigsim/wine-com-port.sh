#!/bin/sh
# Maps COM<number> of the current Wine prefix to a link path for each
# NUMBER LINK pair (HKLM\Software\Wine\Ports), so that "\\.\COM<number>" opens
# whatever pseudo-terminal the link points at and QueryDosDeviceW lists the port.
# Wine reads that key when its services start, so a new mapping restarts the
# wineserver (once for all pairs); CTest runs this before any other test of
# the Windows build.
# Usage: wine-com-port.sh NUMBER LINK_PATH [NUMBER LINK_PATH ...]
set -eu
prefix=${WINEPREFIX:-$HOME/.wine}
answer=$(mktemp)
trap 'rm -f "$answer"' EXIT
# Output to a file, not a pipe: Wine's services may inherit the descriptor.
wine reg query 'HKLM\Software\Wine\Ports' >"$answer" 2>/dev/null </dev/null || true
changed=0
pairs="$*"
while [ $# -ge 2 ]; do
  number=$1
  link=$2
  shift 2
  mkdir -p "$(dirname "$link")"
  current=$(tr -d '\r' <"$answer" | awk -v name="COM$number" '$1 == name { print $NF }')
  if [ "$current" = "$link" ] && [ "$(readlink "$prefix/dosdevices/com$number" 2>/dev/null)" = "$link" ]; then
    echo "COM$number -> $link (already mapped)"
    continue
  fi
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /t REG_SZ /d "$link" /f >/dev/null 2>&1 </dev/null
  changed=1
done
[ $changed -eq 1 ] || exit 0
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
setsid wineserver -p </dev/null >/dev/null 2>&1 &
wine wineboot </dev/null >/dev/null 2>&1 || true
set -- $pairs
status=0
while [ $# -ge 2 ]; do
  target=$(readlink "$prefix/dosdevices/com$1" 2>/dev/null || true)
  echo "COM$1 -> $target"
  [ "$target" = "$2" ] || status=1
  shift 2
done
exit $status
