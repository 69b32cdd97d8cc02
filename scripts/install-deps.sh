#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Installs the Debian packages Norvane needs to build, run and test.
# Only missing packages are installed; sudo is used when not running as root.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config
  # Qt 6 and QCoro
  qt6-base-dev qt6-base-private-dev qt6-declarative-dev qt6-svg-dev qcoro-qt6-dev
  # translations: lupdate and lrelease, and their CMake functions
  qt6-l10n-tools qt6-tools-dev
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtquick qml6-module-qtquick-controls
  qml6-module-qtquick-layouts qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qtquick-dialogs qml6-module-qttest qt6-qpa-plugins libqt6svg6
  # X11 backend
  libxcb1-dev libxcb-xinput-dev libxcb-shm0-dev libxcb-composite0-dev libxcb-ewmh-dev
  libxcb-icccm4-dev libxcb-res0-dev libxcb-xtest0-dev libxcb-image0-dev
  # Wayland backend: the client library, wayland-scanner and the protocol descriptions; PipeWire for the
  # screen-sharing portal's frames
  libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols libpipewire-0.3-dev
  # tests: a headless Sway with its screen-sharing portal, PipeWire, Qt's Wayland client and injected keys
  sway xdg-desktop-portal xdg-desktop-portal-wlr pipewire wireplumber qt6-wayland wtype
  # tests: a real X server, a window manager, injected input, clipboard read-back
  xvfb xauth openbox xdotool xclip x11-utils fonts-dejavu-core
  # tests: a private session bus (dbus-run-session)
  dbus-daemon
  # install test: the desktop's validators for the menu entry and the software-centre metadata
  desktop-file-utils appstream
  # lint in the test run: C++ formatting, and qmllint (which needs the QtQml module's type information)
  clang-format qt6-declarative-dev-tools
)

# Optional groups: --fuzz for the libFuzzer targets, --bench for the comparison tools of the benchmarks.
for arg in "$@"; do
  case "$arg" in
    --fuzz) PACKAGES+=(clang libclang-rt-14-dev) ;;
    --bench) PACKAGES+=(maim) ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
