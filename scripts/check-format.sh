#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails, listing the files, when any C++ source differs from what clang-format makes of it.
set -eu
cd "$(dirname "$0")/.."
unformatted=""
for file in $(git ls-files '*.cpp' '*.h'); do
    if ! clang-format --style=file "$file" | cmp -s - "$file"; then
        unformatted="$unformatted $file"
    fi
done
if [ -n "$unformatted" ]; then
    echo "Not formatted with clang-format:$unformatted" >&2
    echo "Run: git ls-files '*.cpp' '*.h' | xargs clang-format -i" >&2
    exit 1
fi
