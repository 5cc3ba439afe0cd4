#!/usr/bin/env bash
# Soak run: the real player plays 1,000 short generated songs in a row (Norm
# mode, each into a WAV file) and reports its resident size, open file
# descriptors and threads at song 10 and at song 1,000. They must stay flat.
#   bench/soak.sh [build/release/bin] [songs]
set -euo pipefail
bin="$(cd "${1:-build/release/bin}" && pwd)"
songs=${2:-1000}
work="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen KELVRA_OUTPUT=null VELBRIN_SETTINGS="$work/velbrin.ini"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$work/songs" "$work/wav"
mkdir -m 700 "$XDG_RUNTIME_DIR"
printf '[Engine]\nOutputModule=3\n[Settings]\nWAVDir=%s\nPlayMode=Norm\n' "$work/wav" > "$VELBRIN_SETTINGS"

sox -n -r 22050 -c 1 -b 16 "$work/s.wav" synth 0.5 sine 440 vol 0.3
lame --quiet -b 32 "$work/s.wav" "$work/song.mp3"
for i in $(seq -w 1 "$songs"); do cp "$work/song.mp3" "$work/songs/song$i.mp3"; done

"$bin/velbrin" "$work/songs" >"$work/out.log" 2>&1 &
pid=$!
figures() { # label
  local rss fds threads
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  fds=$(ls "/proc/$pid/fd" | wc -l)
  threads=$(ls "/proc/$pid/task" | wc -l)
  echo "$1: resident ${rss} kB, ${fds} descriptors, ${threads} threads"
  eval "$2_rss=$rss $2_fds=$fds $2_threads=$threads"
}
played() { find "$work/wav" -name '*.wav' | wc -l; }
start=$(date +%s)
until [ "$(played)" -ge 11 ]; do sleep 0.05; kill -0 $pid; done
figures "song 10" first
until [ "$(played)" -ge "$songs" ]; do
  sleep 0.2; kill -0 $pid
  [ $(( $(date +%s) - start )) -lt 3600 ] || { echo "soak: stalled at song $(played)" >&2; exit 1; }
done
sleep 1
figures "song $songs" last
echo "soak: $songs songs in $(( $(date +%s) - start )) s; resident growth $(( last_rss - first_rss )) kB," \
  "descriptors $(( last_fds - first_fds )), threads $(( last_threads - first_threads ))"
kill $pid; wait $pid 2>/dev/null || true; pid=""
[ $(( last_rss - first_rss )) -lt 5120 ] && [ "$last_fds" -le "$first_fds" ] && \
  [ "$last_threads" -le "$first_threads" ]
