#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Fails unless qmllint passes every QML file under src/ without a warning. It reads the project's modules
# (Norvane.Settings, Norvane.Nudge) from the build tree, as Qt's own qmllint targets do, so build first.
# Usage: scripts/lint-qml.sh <build dir> [qmllint] [Qt's QML folder]
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:?usage: lint-qml.sh <build dir> [qmllint] [Qt QML folder]}" && pwd)
qmllint=${2:-/usr/lib/qt6/bin/qmllint}
qt_qml=${3:-/usr/lib/x86_64-linux-gnu/qt6/qml}

if [ ! -x "$qmllint" ]; then
    echo "lint-qml: $qmllint is missing; scripts/install-deps.sh installs it (qt6-declarative-dev-tools)." >&2
    exit 1
fi
bad=()
for dir in $(find "$source_dir/src" -name '*.qml' -printf '%h\n' | sort -u); do
    relative=${dir#"$source_dir"/}
    resources=()
    for qrc in "$build_dir/$relative"/.rcc/*.qrc; do
        [ -e "$qrc" ] && resources+=(--resource "$qrc")
    done
    cd "$dir" || exit 1
    if ! output=$("$qmllint" --bare -I "$build_dir/qml" -I "$qt_qml" "${resources[@]}" -- *.qml 2>&1) ||
        grep -q '^Warning' <<<"$output"; then
        echo "$output"
        mapfile -t files < <(sed -En "s|^(Warning: )?([^ :]+\.qml):[0-9]+:.*|$relative/\2|p" <<<"$output" | sort -u)
        [ ${#files[@]} -gt 0 ] || files=("$relative")
        bad+=("${files[@]}")
    fi
done
if [ ${#bad[@]} -gt 0 ]; then
    echo >&2
    echo "lint-qml: qmllint warns about ${bad[*]}" >&2
    exit 1
fi
