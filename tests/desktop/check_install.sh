#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what the desktop
# finds there: both programs, a valid menu entry naming an icon that is
# installed, and a valid software-centre description of that entry.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for program in ambitone ambitone-tool; do
  [[ -x "$prefix/bin/$program" ]] || { echo "missing bin/$program"; exit 1; }
done
entry="$prefix/share/applications/org.ambitone.Ambitone.desktop"
desktop-file-validate "$entry"
icon=$(sed -n 's/^Icon=//p' "$entry")
[[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ]] || { echo "missing icon $icon"; exit 1; }
metainfo="$prefix/share/metainfo/org.ambitone.Ambitone.metainfo.xml"
appstreamcli validate --no-net "$metainfo"
grep -q "<launchable type=\"desktop-id\">$(basename "$entry")</launchable>" "$metainfo" ||
  { echo "the description does not launch the menu entry"; exit 1; }
"$prefix/bin/ambitone-tool" --help >/dev/null
echo "installed and valid"
