#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Runs a command against a private Xvfb server with the openbox window manager, then tears both down.
# NORVANE_XVFB_SCREEN sets the screen (default 1920x1080x24), e.g. 3000x2000x24 for large-window benchmarks.
set -uo pipefail

fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${NORVANE_XVFB_SCREEN:-1920x1080x24}" -nolisten tcp -noreset +extension COMPOSITE \
    +extension XTEST 3>"$fdfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 400); do [ -s "$fdfile" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$fdfile")"
rm -f "$fdfile"
unset WAYLAND_DISPLAY
export XDG_SESSION_TYPE=x11
if [ "$DISPLAY" = ":" ]; then
    echo "run-with-x: Xvfb did not start" >&2
    kill "$xvfb_pid" 2>/dev/null
    exit 1
fi

openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
export NORVANE_TEST_WM_PID=$wm_pid # lets a test make the window manager slow
# Wait until the window manager has announced itself (a loaded machine may take seconds).
wm_ready=0
for _ in $(seq 400); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && { wm_ready=1; break; }
    sleep 0.05
done
[ "$wm_ready" = 1 ] || echo "run-with-x: openbox has not announced itself after 20 s; going on" >&2

"$@"
rc=$?
kill "$wm_pid" "$xvfb_pid" 2>/dev/null
wait "$wm_pid" "$xvfb_pid" 2>/dev/null
exit $rc
