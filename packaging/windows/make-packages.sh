#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Windows installer and the ZIP from the installed folder of the Windows build.
#   packaging/windows/make-packages.sh STAGE OUTDIR VERSION
# Writes OUTDIR/undou-kaiseki-VERSION-win64-setup.exe and OUTDIR/undou-kaiseki-VERSION-win64.zip.
set -eu
stage=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Without the symbols of the build: the folder stays about half as large.
find "$stage" -name "*.dll" -o -name "*.exe" | while IFS= read -r binary; do
    x86_64-w64-mingw32-strip --strip-unneeded "$binary"
done

# What the uninstaller removes: every file that was installed, then every folder, deepest first.
list=$work/uninstall-files.nsh
(cd "$stage" && find . -type f | sed 's|^\./||' | sort) | while IFS= read -r file; do
    printf 'Delete "$INSTDIR\\%s"\n' "$(printf '%s' "$file" | tr '/' '\\')"
done >"$list"
(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | awk '{ print length($0) "\t" $0 }' | sort -rn | cut -f2) |
    while IFS= read -r folder; do
        printf 'RMDir "$INSTDIR\\%s"\n' "$(printf '%s' "$folder" | tr '/' '\\')"
    done >>"$list"

setup=$out/undou-kaiseki-$version-win64-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DFILE_LIST="$list" \
    -DLICENSE_FILE="$root/LICENSE" -DICON_FILE="$root/src/app/resources/undou-kaiseki.ico" -DOUT_FILE="$setup" \
    "$here/undou-kaiseki.nsi" >&2

# The ZIP holds one folder with the program and everything it needs beside it.
zip=$out/undou-kaiseki-$version-win64.zip
rm -f "$zip"
mkdir "$work/zip"
cp -R "$stage" "$work/zip/undou-kaiseki"
(cd "$work/zip" && cmake -E tar cf "$zip" --format=zip undou-kaiseki)
echo "$setup"
echo "$zip"
