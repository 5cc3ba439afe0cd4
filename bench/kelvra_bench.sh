#!/usr/bin/env bash
# Engine figures: WAV rendering against mpg123 in the same run, CPU use of
# real-time playback, Play latency, and the gapless hand-over gap measured at
# a private sound server.
# Usage: bench/kelvra_bench.sh [album seconds, default 2700 = 45 min]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="$ROOT/build/release/bin"
ALBUM_SECONDS="${1:-2700}"
T="$(mktemp -d /tmp/kelvra-bench.XXXXXX)"
trap 'rm -rf "$T"' EXIT
cmake --build --preset release --target kelvra_bench kv_dsound_output kv_wav_output >/dev/null

echo "Generating a ${ALBUM_SECONDS} s VBR album track..."
sox -n -r 44100 -c 2 -b 16 "$T/album.wav" synth "$ALBUM_SECONDS" pinknoise vol 0.3 \
  synth "$ALBUM_SECONDS" sine mix 220-1760 vol 0.4
lame --quiet -V 2 "$T/album.wav" "$T/album.mp3"
rm -f "$T/album.wav"

best() { sort -n | head -1; }
engine=$(for i in 1 2 3; do "$BIN/kelvra_bench" render "$T/album.mp3" "$T/engine.wav"; done | best)
peer=$(for i in 1 2 3; do
  s=$(date +%s.%N); mpg123 -q -w "$T/peer.wav" "$T/album.mp3"; e=$(date +%s.%N)
  echo "$e - $s" | bc -l; done | best)
cmp -s <(tail -c +45 "$T/engine.wav") <(tail -c +45 "$T/peer.wav") && same=identical || same=DIFFERENT
printf 'render to WAV: engine %.3f s, mpg123 -w %.3f s, ratio %.3f (PCM %s)\n' \
  "$engine" "$peer" "$(echo "$engine / $peer" | bc -l)" "$same"

printf 'CPU of real-time playback (silent output): %s %% of one core\n' \
  "$(KELVRA_OUTPUT=null "$BIN/kelvra_bench" cpu "$T/album.mp3" 10)"
printf 'latency (silent output): %s\n' "$(KELVRA_OUTPUT=null "$BIN/kelvra_bench" latency "$T/album.mp3" 20)"

source "$ROOT/scripts/lib/services.sh"
started=0
if [ -z "${PULSE_SERVER:-}" ] || ! pactl info >/dev/null 2>&1; then
  start_private_pulse
  started=1
fi
printf 'CPU of real-time playback (sound server): %s %% of one core\n' \
  "$(env -u KELVRA_OUTPUT "$BIN/kelvra_bench" cpu "$T/album.mp3" 10)"
for n in a b; do
  sox -n -r 44100 -c 2 -b 16 "$T/$n.wav" synth 2 sine 1000 vol 0.5
  lame --quiet -b 192 "$T/$n.wav" "$T/$n.mp3"
done
for run in 1 2 3; do
  parec -d null.monitor --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw \
    "$T/handover.raw" &
  rec=$!
  sleep 0.5
  env -u KELVRA_OUTPUT "$BIN/kelvra_bench" handover "$T/a.mp3" "$T/b.mp3"
  sleep 0.5
  kill $rec; wait $rec 2>/dev/null || true
  printf 'gapless hand-over, run %d: %s\n' "$run" "$("$BIN/kelvra_bench" gap "$T/handover.raw")"
done
[ "$started" = 1 ] && stop_private_pulse
exit 0
