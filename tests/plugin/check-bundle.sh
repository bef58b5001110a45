#!/usr/bin/env bash
# The plugin bundle under LV2_DIR (…/lib/lv2) is what a host expects: its
# Turtle files validate against the LV2 vocabularies that lv2-dev installs, and lilv
# lists the plugin with its class and every port.
set -euo pipefail
lv2_dir=$(cd "$1" && pwd) # lilv takes no relative folder
bundle="$lv2_dir/sorvelin.lv2"
uri=http://sorvelin.org/plugins/sorvelin
[ -e "$bundle/sorvelin.so" ] || { echo "no shared object in $bundle"; exit 1; }
lv2_validate "$bundle/manifest.ttl" "$bundle/sorvelin.ttl" | grep -v '^Skipping'
info=$(LV2_PATH="$lv2_dir:/usr/lib/lv2" lv2info "$uri")
grep -q 'Class: *MIDI Plugin' <<<"$info" || { echo "not listed as a MIDI plugin"; exit 1; }
for symbol in control notify midi_out scale rhythm note_assign continuous over_length velocity \
              dx dy octave part1 part16; do
    grep -q "Symbol: *$symbol\$" <<<"$info" || { echo "lv2info lists no port $symbol"; exit 1; }
done
# Only the plugin's entry point is seen from outside.
exported=$(nm -D --defined-only "$bundle/sorvelin.so" | awk '{print $3}' | grep -v '^_' || true)
[ "$exported" = "lv2_descriptor" ] || { echo "the shared object exports: $exported"; exit 1; }
echo "the bundle validates and lists its ports"
