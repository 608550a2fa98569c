#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for 64-bit Windows with MinGW-w64 from the distribution's own source of the Qt that the
# host has, once, into a cache outside the repository; prints the folder it is installed in.
# A later run finds it there and returns at once. Only the modules the program and its tests use
# are built: Core, Gui, Widgets, PrintSupport, Sql, Test, the windows platform plug-in and the
# SQLite plug-in of Sql (sqldrivers/qsqlite.dll).
#
# The source comes through apt with a configuration of its own (deb-src entries made from the
# system's deb entries, lists and cache in the build folder); the system's apt setup is not touched.
# The distribution's qtbase source is without Qt's copy of SQLite, so SQLite comes from the
# distribution's own sqlite3 source, of the version the host has: its amalgamation made on the host
# (with tclsh), compiled for Windows into a static library that the plug-in takes in, as Qt's copy
# would be.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)   # 6.4.2+dfsg-10
upstream=${version%%+*}
upstream=${upstream%%-*}
sqlite_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-0)   # 3.40.1-2+deb12u2
cache=${UNDOU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/undou-kaiseki}
prefix=$cache/qt-$upstream-mingw
work=$cache/qt-$upstream-mingw-build

# Everything that decides what is built; a change of it builds again.
features="-DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
-DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON \
-DFEATURE_concurrent=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
-DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
-DFEATURE_system_doubleconversion=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
-DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_pkg_config=OFF \
-DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON -DFEATURE_sql_odbc=OFF \
-DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF \
-DFEATURE_sql_db2=OFF"
# SQLite with the options Qt gives its own copy on Windows (the column metadata is what the plug-in
# needs; there is no loading of extensions).
sqlite_flags="-O2 -DNDEBUG -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 \
-DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE -DSQLITE_OMIT_COMPLETE \
-DSQLITE_OMIT_LOAD_EXTENSION"
stamp="qtbase $version; sqlite3 $sqlite_version $sqlite_flags; $features"

# The unit tests run under Wine on Qt's offscreen platform, which takes its fonts from lib/fonts of
# the Qt it belongs to: the host's Japanese and Latin fonts, linked there. (The program itself uses
# the fonts of Windows.)
link_test_fonts() {
    mkdir -p "$prefix/lib/fonts"
    for font in /usr/share/fonts/opentype/ipafont-gothic/*.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf; do
        [ -e "$font" ] && ln -sf "$font" "$prefix/lib/fonts/"
    done
    return 0
}

if [ -f "$prefix/undou-build-stamp" ] && [ "$(cat "$prefix/undou-build-stamp")" = "$stamp" ]; then
    link_test_fonts
    echo "$prefix"
    exit 0
fi

echo "Building Qt $upstream for Windows once into $prefix (about 45 minutes on two cores)" >&2
rm -rf "$work" "$prefix"
"$root/scripts/fetch-debian-source.sh" "$work" "qt6-base=$version" "sqlite3=$sqlite_version"
src=$(find "$work/source" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[ -n "$src" ] || { echo "no source of qt6-base $version" >&2; exit 1; }
sqlite_src=$(find "$work/source" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
[ -n "$sqlite_src" ] || { echo "no source of sqlite3 $sqlite_version" >&2; exit 1; }

# SQLite: the amalgamation (sqlite3.c, sqlite3.h) made by its own build on the host, then compiled
# for Windows. It is installed into the Qt folder (include/, lib/libsqlite3.a).
command -v tclsh >/dev/null || { echo "tclsh is needed to make SQLite's amalgamation (Debian: tcl)" >&2; exit 1; }
mkdir -p "$work/sqlite" "$prefix/include" "$prefix/lib"
(cd "$work/sqlite" && "$sqlite_src/configure" --disable-tcl --disable-readline --disable-shared >&2 &&
    make sqlite3.c >&2)
# shellcheck disable=SC2086
x86_64-w64-mingw32-gcc-posix $sqlite_flags -c "$work/sqlite/sqlite3.c" -o "$work/sqlite/sqlite3-mingw.o"
rm -f "$prefix/lib/libsqlite3.a"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$work/sqlite/sqlite3-mingw.o"
cp "$work/sqlite/sqlite3.h" "$work/sqlite/sqlite3ext.h" "$prefix/include/"

# shellcheck disable=SC2086
cmake -S "$src" -B "$work/build" -G Ninja --toolchain "$root/cmake/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake $features \
    -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a" >&2
cmake --build "$work/build" >&2
cmake --install "$work/build" >&2
link_test_fonts
echo "$stamp" >"$prefix/undou-build-stamp"
# The build tree is large and no longer needed.
rm -rf "$work"
echo "$prefix"
