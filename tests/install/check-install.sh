#!/usr/bin/env bash
# Installs the build into a scratch prefix, validates the desktop files, builds
# the Debian package and runs sorvelin-render from the unpacked package.
set -euo pipefail
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
p="$scratch/prefix"
for f in bin/sorvelin-render share/sorvelin/scale.cfg share/sorvelin/rhythm.cfg \
         share/sorvelin/scales/12-TET.scl share/sorvelin/scales/Bohlen-Pierce.scl \
         share/applications/org.sorvelin.Sorvelin.desktop \
         share/metainfo/org.sorvelin.Sorvelin.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.sorvelin.Sorvelin.svg \
         share/icons/hicolor/48x48/apps/org.sorvelin.Sorvelin.png \
         share/man/man1/sorvelin-render.1; do
    [ -e "$p/$f" ] || { echo "missing from the install tree: $f"; exit 1; }
done
if [ -e "$build/bin/sorvelin" ]; then
    [ -x "$p/bin/sorvelin" ] || { echo "missing from the install tree: bin/sorvelin"; exit 1; }
fi
desktop-file-validate "$p/share/applications/org.sorvelin.Sorvelin.desktop"
appstreamcli validate --no-net "$p/share/metainfo/org.sorvelin.Sorvelin.metainfo.xml"

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/*.deb)
dpkg-deb --field "$deb" Depends | grep -q libfluidsynth
dpkg -x "$deb" "$scratch/root"
"$scratch/root/usr/bin/sorvelin-render" --help | grep -q -i 'usage'
echo "install tree and package are sound: $(basename "$deb")"
