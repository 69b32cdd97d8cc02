#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
# Installs a build into a scratch prefix and checks that everything a desktop needs landed in its place,
# agrees with the rest, and passes the desktop's own validators.
# Usage: check-install.sh CMAKE BUILD_DIR BINDIR DATADIR COMPONENT_ID VERSION
set -uo pipefail

cmake=$1 build=$2 bindir=$3 datadir=$4 id=$5 version=$6
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

if ! "$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log" >&2
    rm -f "$prefix.log"
    echo "FAIL: cmake --install did not finish" >&2
    exit 1
fi
rm -f "$prefix.log"

exe=$prefix/$bindir/norvane
desktop=$prefix/$datadir/applications/norvane.desktop
icon=$prefix/$datadir/icons/hicolor/scalable/apps/norvane.svg
metainfo=$prefix/$datadir/metainfo/$id.metainfo.xml

[ -f "$exe" ] && [ -x "$exe" ] || fail "no executable at $exe"
for file in "$desktop" "$icon" "$metainfo"; do
    [ -s "$file" ] || fail "missing or empty: ${file#"$prefix"/}"
done
# Tray icons a panel recolours for its theme: drawn only in the current colour.
for state in watching off; do
    symbolic=$prefix/$datadir/icons/hicolor/symbolic/apps/norvane-$state-symbolic.svg
    if [ ! -s "$symbolic" ]; then
        fail "missing or empty: ${symbolic#"$prefix"/}"
    elif ! grep -q 'fill="currentColor"' "$symbolic" || grep -Eq '(fill|stroke)="#' "$symbolic"; then
        fail "${symbolic#"$prefix"/} draws in a fixed colour"
    fi
done
[ "$failures" -eq 0 ] || exit 1

# The validators' verdicts; any remark of desktop-file-validate counts, hints included.
if ! command -v desktop-file-validate >/dev/null || ! command -v appstreamcli >/dev/null; then
    echo "FAIL: desktop-file-validate and appstreamcli are needed (scripts/install-deps.sh installs them)" >&2
    exit 1
fi
remarks=$(desktop-file-validate "$desktop" 2>&1)
if [ $? -ne 0 ] || [ -n "$remarks" ]; then
    fail "desktop-file-validate: $remarks"
fi
appstreamcli validate --no-net --pedantic "$metainfo" >"$prefix/validate.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$prefix/validate.log")"
appstreamcli validate-tree --no-net "$prefix" >"$prefix/tree.log" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$prefix/tree.log")"

# The pieces must name each other: the menu entry starts the installed program and shows the installed
# icon, and the metadata launches the installed menu entry.
entry() { sed -n "s/^$1=//p" "$desktop" | head -n1; }
[ "$(entry Type)" = "Application" ] || fail "Type is '$(entry Type)', not Application"
[ "$(entry Name)" = "Norvane" ] || fail "Name is '$(entry Name)', not Norvane"
[ -n "$(entry Comment)" ] || fail "the desktop entry has no Comment"
[ "$(entry Categories)" = "Utility;" ] || fail "Categories is '$(entry Categories)', not Utility;"
[ "$(entry StartupNotify)" = "false" ] || fail "StartupNotify is '$(entry StartupNotify)', not false"
program=$(entry Exec | cut -d' ' -f1)
[ -x "$prefix/$bindir/$program" ] || fail "Exec names '$program', which is not installed in $bindir"
iconName=$(entry Icon)
[ -f "$prefix/$datadir/icons/hicolor/scalable/apps/$iconName.svg" ] ||
    fail "Icon names '$iconName', which is not an installed scalable icon"
grep -q '<svg[^>]*viewBox=' "$icon" || fail "the icon is not a scalable SVG with a viewBox"

grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's component id is not $id"
grep -q '<launchable type="desktop-id">norvane.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not launch norvane.desktop"
grep -q "<release version=\"$version\"" "$metainfo" ||
    fail "the metadata lists no release $version (the project's version)"
grep -q '<content_rating type="oars-' "$metainfo" || fail "the metadata has no content rating"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install layout: executable, desktop entry, icon and metadata installed and valid"
