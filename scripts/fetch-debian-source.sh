#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Fetches Debian source packages into WORK/source with an apt of its own under WORK/apt, whose
# deb-src entries are the twins of the system's deb entries: the system's apt and its lists are left
# alone. Usage: fetch-debian-source.sh WORK PACKAGE=VERSION...
set -eu
work=$1
shift
mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/source"
: >"$work/apt/sources.list.d/undou-src.list"
# deb-src twins of the system's deb entries, in both of apt's formats.
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >>"$work/apt/sources.list.d/undou-src.list"
done
for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$sources" >"$work/apt/sources.list.d/$(basename "$sources")"
done
apt_private() {
    apt-get -q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/sources.list.d" \
        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" \
        -o Debug::NoLocking=1 -o APT::Sandbox::User=root "$@"
}
apt_private update >&2
for package in "$@"; do
    (cd "$work/source" && apt_private source "$package" >&2)
done
