#!/usr/bin/env bash
# Installs the build into a scratch prefix, validates the desktop files, builds
# the Debian package, checks it as a distribution would (lintian, stripped
# programs, the song MIME type) and runs sorvelin-render from the unpacked package.
set -euo pipefail
# With pipefail, "cmd | grep -q" fails when grep stops reading before cmd
# has written everything (cmd gets SIGPIPE): outputs are read whole first.
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
         share/mime/packages/org.sorvelin.Sorvelin.xml \
         share/man/man1/sorvelin.1.gz share/man/man1/sorvelin-render.1.gz \
         share/doc/sorvelin/copyright share/doc/sorvelin/changelog.gz; do
    [ -e "$p/$f" ] || { echo "missing from the install tree: $f"; exit 1; }
done
if [ -e "$build/lib/lv2/sorvelin.lv2/sorvelin.so" ]; then
    for f in manifest.ttl sorvelin.ttl sorvelin.so; do
        [ -e "$p/lib/lv2/sorvelin.lv2/$f" ] || { echo "missing from the install tree: lib/lv2/sorvelin.lv2/$f"; exit 1; }
    done
fi
if [ -e "$build/bin/sorvelin" ]; then
    [ -x "$p/bin/sorvelin" ] || { echo "missing from the install tree: bin/sorvelin"; exit 1; }
fi
desktop-file-validate "$p/share/applications/org.sorvelin.Sorvelin.desktop"
appstreamcli validate --no-net "$p/share/metainfo/org.sorvelin.Sorvelin.metainfo.xml"
grep -q 'MimeType=application/x-sorvelin-song;' "$p/share/applications/org.sorvelin.Sorvelin.desktop"
grep -q 'Exec=sorvelin %f' "$p/share/applications/org.sorvelin.Sorvelin.desktop"
grep -q '<glob pattern="\*.svl"/>' "$p/share/mime/packages/org.sorvelin.Sorvelin.xml"
if command -v xmllint >/dev/null; then
    xmllint --noout "$p/share/mime/packages/org.sorvelin.Sorvelin.xml"
fi

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/*.deb)
# Every library a program links directly is a dependency (read from the
# binaries, not written by hand), and so is a SoundFont. One alternative a
# line, versions left out.
depends=$(dpkg-deb --field "$deb" Depends | sed -e 's/ ([^)]*)//g' -e 's/, /\n/g')
needed=(libc6 libstdc++6 libfluidsynth3 libasound2 libsndfile1
        'timgm6mb-soundfont | fluid-soundfont-gm | musescore-general-soundfont')
if grep -q 'libjack\.so' <<<"$(ldd "$build/bin/sorvelin-render")"; then
    needed+=('libjack-jackd2-0 | libjack-0.125')
fi
if [ -e "$build/bin/sorvelin" ]; then
    needed+=(libqt6core6 libqt6gui6 libqt6widgets6)
fi
for package in "${needed[@]}"; do
    if ! grep -qxF "$package" <<<"$depends"; then
        echo "the package does not depend on \"$package\":"; echo "$depends"; exit 1
    fi
done
dpkg -x "$deb" "$scratch/root"
grep -q -i 'usage' <<<"$("$scratch/root/usr/bin/sorvelin-render" --help)"
for program in "$scratch"/root/usr/bin/*; do
    if grep -q 'not stripped' <<<"$(file "$program")"; then
        echo "not stripped in the package: $(basename "$program")"; exit 1
    fi
done
# The plugin where hosts look for it, listed from the unpacked package.
if [ -e "$build/lib/lv2/sorvelin.lv2/sorvelin.so" ]; then
    info=$(LV2_PATH="$scratch/root/usr/lib/lv2:/usr/lib/lv2" lv2info http://sorvelin.org/plugins/sorvelin)
    grep -q 'Symbol: *midi_out$' <<<"$info" || { echo "the package's plugin is not listed by lv2info"; exit 1; }
    if grep -q 'not stripped' <<<"$(file "$scratch/root/usr/lib/lv2/sorvelin.lv2/sorvelin.so")"; then
        echo "not stripped in the package: sorvelin.so"; exit 1
    fi
fi
if [ -e "$scratch/root/usr/bin/sorvelin" ]; then
    grep -q '^sorvelin [0-9]' <<<"$("$scratch/root/usr/bin/sorvelin" --version)"
fi
# Errors fail the check; warnings are the packager's to weigh. Run as root,
# lintian must be told it may.
lintian_flags=(--fail-on error)
[ "$(id -u)" -eq 0 ] && lintian_flags+=(--allow-root)
lintian "${lintian_flags[@]}" "$deb"
echo "install tree and package are sound: $(basename "$deb")"
