#!/usr/bin/env bash
# The program as users get it. `cmake --install` into a scratch prefix: the
# launcher entry and the metadata validate, and the installed player, which no
# library search path points anywhere, plays a song into a WAV file through
# the engine and modules of its private folder. Then the Debian package:
# lintian finds no error, and the player unpacked from it does the same.
#   installed_program_test.sh BUILD-DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
fail() { echo "FAIL: $*" >&2; exit 1; }

sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 2 sine 440 vol 0.3
lame --quiet -b 128 "$work/tone.wav" "$work/tone.mp3"

# The player under ROOT plays tone.mp3 into a WAV file of 2 s.
plays() {
  local root="$1" out="$work/out-$(basename "$1")"
  mkdir -p "$out"
  printf '[Engine]\nOutputModule=3\n[Settings]\nWAVDir=%s\n' "$out" >"$work/velbrin.ini"
  "$root/usr/bin/velbrin" --help | grep -q -- '--new-instance' || fail "$root: --help"
  VELBRIN_SETTINGS="$work/velbrin.ini" VELBRIN_QUIT_AFTER=5000 \
    "$root/usr/bin/velbrin" "$work/tone.mp3" >"$work/player.log" 2>&1 || fail "$root: player failed"
  local bytes
  bytes=$(stat -c %s "$out/tone.wav" 2>/dev/null || echo 0)
  [ "$bytes" -eq $((44 + 2 * 44100 * 4)) ] || fail "$root: the WAV file has $bytes bytes"
}

cmake --install "$build" --prefix "$work/installed/usr" >/dev/null
root="$work/installed"
desktop-file-validate "$root/usr/share/applications/org.odalrin.Velbrin.desktop"
appstreamcli validate --no-net --strict "$root/usr/share/metainfo/org.odalrin.Velbrin.metainfo.xml" >/dev/null
for f in bin/velbrin bin/TavrelRec bin/Dresko lib/velbrin/libkelvra.so lib/velbrin/libkv_resampler.so \
  lib/velbrin/libkv_dsound_output.so lib/velbrin/libkv_wav_output.so \
  lib/velbrin/libvelbrin_sound_device.so share/man/man1/velbrin.1.gz \
  share/icons/hicolor/48x48/apps/org.odalrin.Velbrin.png \
  share/icons/hicolor/scalable/apps/org.odalrin.Velbrin.svg; do
  [ -e "$root/usr/$f" ] || fail "$f is not installed"
done
if readelf -d "$root/usr/bin/velbrin" | grep -Eq 'R(UN)?PATH'; then fail "the player has a library path"; fi
plays "$root"

deb="$(cd "$build" && cpack -G DEB -B "$work/cpack" >/dev/null && ls "$build"/package/velbrin_*_amd64.deb)"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt"; fail "lintian"; }
fi
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package's dependencies were not filled in"
dpkg-deb -x "$deb" "$work/unpacked"
plays "$work/unpacked"
echo "installed and packaged program: all checks passed"
