# Sourced by the test scripts: a Wine prefix of the build's own and a running,
# detached wineserver, so that test executables start fast and never hang CTest.
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEARCH=win64
mkdir -p "$WINEPREFIX"
if ! wineserver -k0 2>/dev/null; then :; fi
setsid wineserver -p </dev/null >/dev/null 2>&1 &
wine wineboot </dev/null >/dev/null 2>&1 || true
