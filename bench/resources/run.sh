#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Resource use of the application with monitoring on, under a private Xvfb + openbox, typing bursts
# through XTEST and idle gaps, with a loopback model server. Prints a short table.
#
#   bench/resources/run.sh [minutes] [drive.py options...]      (default 5 minutes)
#
# Active = from the first key of a burst until 22 s after its last key (the application has gone idle);
# idle = the rest after start-up. Resident memory settles within about five minutes of bursts, so the
# "flat" verdict is only given for runs of 10 minutes or more. The environment reaches the application,
# so e.g. QT_QUICK_BACKEND=opengl or MALLOC_MMAP_THRESHOLD_=524288 can be compared.
# Builds what it needs (norvane_under_test, bench_typing_window) in NORVANE_BUILD_DIR, by default the
# "default" preset's folder build/ (configured with `cmake --preset default` when missing).
# Examples of options: --burst 30 --gap 60 --opportunity-every 3 --keep --csv /tmp/samples.csv
#   --wrap "valgrind --tool=callgrind --callgrind-out-file=/tmp/cg.%p"   (slow; use a short run)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="${NORVANE_BUILD_DIR:-$repo/build}"

minutes=5
if [ $# -gt 0 ] && [[ "$1" != --* ]]; then
    minutes="$1"
    shift
fi

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    if [ "$build" = "$repo/build" ]; then
        (cd "$repo" && cmake --preset default >/dev/null)
    else
        cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
fi
build_log="$(mktemp)"
if ! cmake --build "$build" --target norvane_under_test bench_typing_window >"$build_log" 2>&1; then
    cat "$build_log" >&2
    rm -f "$build_log"
    exit 1
fi
rm -f "$build_log"

exec "$repo/tests/run-with-x.sh" python3 "$here/drive.py" \
    --app "$build/tests/e2e/norvane_under_test" \
    --typing-window "$build/bench/resources/bench_typing_window" \
    --minutes "$minutes" "$@"
