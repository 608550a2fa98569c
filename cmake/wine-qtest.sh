#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Qt Test program built for Windows under Wine and prints its report.
#   wine-qtest.sh WINE PROGRAM.exe [ARGUMENTS...]
# Qt Test on Windows writes its report to the debugger rather than to a standard output that is no
# console, and Wine hands no QT_* variable to the program; so the report goes to a file, which is
# printed afterwards, and the platform is chosen on the command line by the caller.
set -u
wine=$1
shift
report=$(mktemp)
"$wine" "$@" -o "Z:$report,txt"
status=$?
cat "$report"
rm -f "$report"
exit "$status"
