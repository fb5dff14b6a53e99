#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks that an installed client finds its
# sounds and reporter beside itself and that the desktop knows how to start it.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install check: $*" >&2; exit 1; }
programs="$prefix/lib/ostrel"
for sound in phonering.wav hangup.wav click.wav buddyin.wav buddyout.wav 1.wav 2.wav; do
    [ -s "$programs/$sound" ] || fail "missing sound $sound"
done
for program in ferrule talvero-service talvero-gateway; do
    [ -x "$programs/$program" ] || fail "missing program $program"
done
for program in ostrel ostrel-cli; do
    if [ -e "$build/bin/$program" ]; then
        [ -x "$programs/$program" ] || fail "missing program $program"
        [ "$(readlink -f "$prefix/bin/$program")" = "$(readlink -f "$programs/$program")" ] ||
            fail "bin/$program does not lead to the program folder"
    fi
done
[ "$(readlink -f "$prefix/bin/talvero-service")" = "$(readlink -f "$programs/talvero-service")" ] ||
    fail "bin/talvero-service does not lead to the program folder"
grep -qx 'Exec=ostrel' "$prefix/share/applications/ostrel.desktop" || fail "desktop entry"
[ -s "$prefix/share/icons/hicolor/scalable/apps/ostrel.svg" ] || fail "icon"
"$prefix/bin/talvero-service" list-users --db "$prefix/check.db" >/dev/null ||
    fail "installed talvero-service does not run"
echo "install check: ok"
