#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Non-blank, non-comment lines of the tests against those of the product code (the house keeps the
# ratio between 0.25 and 0.40). With -v, the test files one per line, largest first.
set -euo pipefail
cd "$(dirname "$0")/.."

# Drops blank lines, // and # comment lines and /* ... */ blocks (shell shebangs and comments included).
code_lines() {
    [ $# -gt 0 ] || { echo 0; return; }
    awk '
        FNR == 1 { block = 0 }
        block { if ($0 ~ /\*\//) block = 0; next }
        /^[[:space:]]*\/\*/ { if ($0 !~ /\*\//) block = 1; next }
        /^[[:space:]]*(\/\/|#[^a-z]|#$)/ { next }
        /^[[:space:]]*$/ { next }
        { n++ }
        END { print n + 0 }' "$@"
}

mapfile -t product < <(find src -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.qml' \) | sort)
mapfile -t tests < <(find tests -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.qml' -o -name '*.py' \
    -o -name '*.sh' \) | sort)
src=$(code_lines "${product[@]}")
tst=$(code_lines "${tests[@]}")
if [ "${1:-}" = -v ]; then
    for f in "${tests[@]}"; do printf '%5d %s\n' "$(code_lines "$f")" "$f"; done | sort -rn
fi
awk -v s="$src" -v t="$tst" 'BEGIN { printf "src %d, tests %d, ratio %.3f\n", s, t, t / s }'
