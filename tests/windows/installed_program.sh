#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program as a school gets it, under Wine: the installer run silently, the installed
# program driven through the end-to-end steps on the simulated cart, and the uninstaller, after which
# nothing of the program may be left: no file, no shortcut, no registry key.
#   installed_program.sh SETUP.exe E2E_DRIVER WINE_PREFIX [STEP...]
# E2E_DRIVER is the Linux build's end-to-end test; the STEPs are its test functions.
# Wine never reaches a serial device: a prefix of its own, and no mount manager, so no COM port is
# ever mapped to a device of this machine. Nor does it add menu entries to the desktop of this machine.
set -eu
setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
driver=$2
export WINEPREFIX="$3"
shift 3
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;mountmgr.sys=d;winemenubuilder.exe=d"
wine=${UNDOU_WINE:-/usr/lib/wine/wine64}
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

failures=0
check() {
    if [ "$1" = ok ]; then echo "PASS: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}
exists() { if [ -e "$1" ]; then echo ok; else echo missing; fi; }
absent() { if [ -e "$1" ]; then echo present; else echo ok; fi; }
# Everything under the prefix's drive C, but for what Wine itself keeps changing.
snapshot() {
    (cd "$WINEPREFIX/drive_c" && find . | grep -v -e '^\./windows' -e '^\./users/[^/]*/Temp' -e '^\./users/[^/]*/AppData/Local/Temp' | sort)
}
registry_has() { DISPLAY= "$wine" reg query "$1" ${2:+/v "$2"} >/dev/null 2>&1 && echo ok || echo missing; }

rm -rf "$WINEPREFIX"
DISPLAY= "$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
before=$(mktemp)
after=$(mktemp)
trap 'rm -f "$before" "$after"; "$wineserver" -k 2>/dev/null || true' EXIT
snapshot >"$before"

# --- install -------------------------------------------------------------------------------------
DISPLAY= "$wine" "$setup" /S
"$wineserver" -w
folder="$WINEPREFIX/drive_c/Program Files/undou-kaiseki"
for file in undou-kaiseki.exe uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6PrintSupport.dll Qt6Sql.dll sqldrivers/qsqlite.dll \
    platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_ja.qm libstdc++-6.dll \
    libgcc_s_seh-1.dll libwinpthread-1.dll LICENSE firmware/undou-kaiseki-board.hex; do
    check "$(exists "$folder/$file")" "installed: Program Files/undou-kaiseki/$file"
done
check "$(exists "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/運動の解析.lnk")" \
    "a shortcut in the Start menu"
check "$(exists "$WINEPREFIX/drive_c/users/Public/Desktop/運動の解析.lnk")" "a shortcut on the desktop"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\undou-kaiseki'
check "$(registry_has "$uninstall_key" UninstallString)" "the uninstaller is registered"
check "$(registry_has 'HKLM\Software\Classes\.csv\OpenWithProgids' undou-kaiseki.csv)" \
    "offered in プログラムから開く for .csv files"
check "$(registry_has 'HKLM\Software\Classes\undou-kaiseki.csv\shell\open\command')" "opens a .csv file it is given"

# --- the installed program ------------------------------------------------------------------------
# Every call of the program's event pump, and every wait on a timer, is a request to the wineserver:
# the program keeps its schedule only when the server gets the processor as soon as the program does.
# So no server of the checks above may still be running; the program's start starts one, with the
# priority that the end-to-end test gives the program.
"$wineserver" -w
if [ -f "$folder/undou-kaiseki.exe" ]; then
    if UNDOU_E2E_PROGRAM="$folder/undou-kaiseki.exe" UNDOU_E2E_LAUNCHER="$wine" "$driver" "$@"; then
        check ok "the end-to-end steps on the installed program"
    else
        check failed "the end-to-end steps on the installed program"
    fi
    # The same through the simulated board, on COM9 of this prefix, linked by the driver to the
    # board's pseudo-terminal, where the driver was built with it.
    "$wineserver" -w
    if [ -n "${UNDOU_E2E_BOARD_STEPS:-}" ]; then
        # shellcheck disable=SC2086
        if UNDOU_E2E_BOARD=1 UNDOU_E2E_PROGRAM="$folder/undou-kaiseki.exe" UNDOU_E2E_LAUNCHER="$wine" "$driver" \
            $UNDOU_E2E_BOARD_STEPS; then
            check ok "the end-to-end steps on the installed program through the simulated board"
        else
            check failed "the end-to-end steps on the installed program through the simulated board"
        fi
    fi
fi
"$wineserver" -w

# --- uninstall -----------------------------------------------------------------------------------
DISPLAY= "$wine" "$folder/uninstall.exe" /S
"$wineserver" -w
check "$(absent "$folder")" "the program's folder is gone"
check "$(absent "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/運動の解析.lnk")" \
    "the Start menu shortcut is gone"
check "$(absent "$WINEPREFIX/drive_c/users/Public/Desktop/運動の解析.lnk")" "the desktop shortcut is gone"
for key in "$uninstall_key" 'HKLM\Software\Classes\undou-kaiseki.csv' \
    'HKLM\Software\Classes\Applications\undou-kaiseki.exe'; do
    if [ "$(registry_has "$key")" = ok ]; then check present "no registry key $key"; else check ok "no registry key $key"; fi
done
if [ "$(registry_has 'HKLM\Software\Classes\.csv\OpenWithProgids' undou-kaiseki.csv)" = ok ]; then
    check present "no longer offered for .csv files"
else
    check ok "no longer offered for .csv files"
fi
snapshot >"$after"
if diff "$before" "$after" >/dev/null; then
    check ok "drive C holds what it held before the installation"
else
    diff "$before" "$after" | sed 's/^/    /'
    check changed "drive C holds what it held before the installation"
fi
echo "$failures failed"
[ "$failures" -eq 0 ]
