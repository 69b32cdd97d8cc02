#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Runs a command inside a private headless Sway session (one output, 1280x800 unless NORVANE_SWAY_OUTPUT says
# otherwise, e.g. 2880x1800; no XWayland), then tears it down. The command gets WAYLAND_DISPLAY, SWAYSOCK,
# XDG_SESSION_TYPE=wayland and a runtime folder of its own.
# Sway refuses to run as root, so under root (CI) the compositor runs as nobody; root reaches its sockets.
set -uo pipefail

client_runtime=$(mktemp -d)
sway_runtime=$(mktemp -d)
chmod 700 "$client_runtime" "$sway_runtime"
as_compositor_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$sway_runtime"
    as_compositor_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
cat >"$sway_runtime/config" <<CONFIG
output HEADLESS-1 resolution ${NORVANE_SWAY_OUTPUT:-1280x800} position 0 0
xwayland disable
default_border none
default_floating_border none
focus_follows_mouse no
CONFIG
chmod 644 "$sway_runtime/config"

env -i PATH="$PATH" HOME="$sway_runtime" XDG_RUNTIME_DIR="$sway_runtime" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "${as_compositor_user[@]}" \
    sway --config "$sway_runtime/config" >"$sway_runtime/sway.log" 2>&1 &
sway_pid=$!

socket="" ipc=""
for _ in $(seq 400); do
    socket=$(find "$sway_runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n1)
    ipc=$(find "$sway_runtime" -maxdepth 1 -type s -name 'sway-ipc.*' | head -n1)
    [ -n "$socket" ] && [ -n "$ipc" ] && break
    kill -0 "$sway_pid" 2>/dev/null || break
    sleep 0.05
done
if [ -z "$socket" ] || [ -z "$ipc" ]; then
    echo "run-with-sway: Sway did not start:" >&2
    cat "$sway_runtime/sway.log" >&2
    kill "$sway_pid" 2>/dev/null
    rm -rf "$client_runtime" "$sway_runtime"
    exit 1
fi

export XDG_RUNTIME_DIR="$client_runtime" WAYLAND_DISPLAY="$socket" SWAYSOCK="$ipc"
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway NORVANE_TEST_SWAY_LOG="$sway_runtime/sway.log"
unset DISPLAY

# --- Screen-cast portal (opt-in: NORVANE_SWAY_PORTAL=1) -------------------------------------------------
# A private session bus with PipeWire, WirePlumber, the wlroots portal backend and the portal itself, all
# bound to this Sway. The backend's chooser is off and always picks the headless output, so no dialog waits.
portal_pids=()
if [ "${NORVANE_SWAY_PORTAL:-0}" = 1 ]; then
    portal_log="$client_runtime/portal.log"
    export XDG_CONFIG_HOME="$client_runtime/config" XDG_DATA_HOME="$client_runtime/data"
    mkdir -p "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr" "$XDG_DATA_HOME"
    printf '[screencast]\nchooser_type=none\noutput_name=HEADLESS-1\n' \
        >"$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config"
    dbus-daemon --session --fork --print-pid=3 --address="unix:path=$client_runtime/bus" \
        3>"$client_runtime/bus.pid" 2>>"$portal_log"
    portal_pids+=("$(cat "$client_runtime/bus.pid")")
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$client_runtime/bus" NORVANE_TEST_PORTAL_LOG="$portal_log"
    wait_for_name() {
        for _ in $(seq 200); do
            dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
                "string:$1" 2>/dev/null | grep -q 'boolean true' && return 0
            sleep 0.05
        done
        echo "run-with-sway: $1 did not appear on the session bus:" >&2
        cat "$portal_log" >&2
        return 1
    }
    pipewire >>"$portal_log" 2>&1 &
    portal_pids+=($!)
    for _ in $(seq 200); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.05; done
    wireplumber >>"$portal_log" 2>&1 &
    portal_pids+=($!)
    LD_PRELOAD="${NORVANE_SWAY_PORTAL_PRELOAD:-}" /usr/libexec/xdg-desktop-portal-wlr -l DEBUG >>"$portal_log" 2>&1 &
    portal_pids+=($!)
    portal_up=0
    if wait_for_name org.freedesktop.impl.portal.desktop.wlr; then
        /usr/libexec/xdg-desktop-portal -v >>"$portal_log" 2>&1 &
        portal_pids+=($!)
        wait_for_name org.freedesktop.portal.Desktop && portal_up=1
    fi
fi
# --- end of the screen-cast portal -----------------------------------------------------------------------

if [ "${portal_up:-1}" = 1 ]; then
    "$@"
    rc=$?
else
    rc=1
fi
for pid in "${portal_pids[@]}"; do kill "$pid" 2>/dev/null; done
kill "$sway_pid" 2>/dev/null
wait "$sway_pid" 2>/dev/null
rm -rf "$client_runtime" "$sway_runtime"
exit $rc
