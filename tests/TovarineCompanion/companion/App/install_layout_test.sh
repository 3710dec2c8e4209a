#!/usr/bin/env bash
# Installs the build into a fresh prefix, validates the desktop entry and the AppStream metainfo, checks the
# icon the entry names, and starts the installed application from the entry's Exec line.
#   install_layout_test.sh <build folder>
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

id=app.tovarine.Companion
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
test -x "$prefix/bin/tovarine-companion" || { echo "no executable in bin/"; exit 1; }
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"

icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 32 64 128 256 512; do
    test -s "$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png" || { echo "missing $size icon"; exit 1; }
done

# The Exec line with its field codes dropped, found on PATH like a launcher does.
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ %[fFuU]//g')
mkdir -p "$work/home"
set +e
PATH="$prefix/bin:$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=offscreen \
    timeout 6 $exec_line
status=$?
set -e
# 124: still running when the time was up, which is what a started window does.
if [ "$status" -ne 124 ]; then
    echo "the installed application ended with status $status instead of running"
    exit 1
fi
echo "installed tree validated and started"
