#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Fails unless every .cpp and .h under src/ and tests/ is as clang-format writes it with .clang-format.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

if ! command -v clang-format >/dev/null; then
    echo "lint-format: clang-format is not installed; scripts/install-deps.sh installs it." >&2
    exit 1
fi
mapfile -t files < <(find src tests -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
# One process for all files: a process per file takes a minute on a busy machine.
report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1) && exit 0

echo "$report" | head -n 60
mapfile -t bad < <(echo "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' | sort -u)
echo >&2
echo "lint-format: ${#bad[@]} file(s) differ from .clang-format: ${bad[*]:-(see above)}" >&2
echo "Fix them with: clang-format -i ${bad[*]:-<files>}" >&2
exit 1
