#!/usr/bin/env bash
# Main window figures: time from process start to the window shown, and CPU use
# while a song plays with its title scrolling.
#   bench/player_bench.sh [build/release/bin]
set -euo pipefail
bin="$(cd "${1:-build/release/bin}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VELBRIN_SETTINGS="$work/velbrin.ini" QT_QPA_PLATFORM=offscreen KELVRA_OUTPUT=null
export XDG_RUNTIME_DIR="$work/run"; mkdir -m 700 "$XDG_RUNTIME_DIR"

# Start-up: median of 7 runs, from just before exec to the first painted frame.
times=()
for _ in 1 2 3 4 5 6 7; do
  start=$(date +%s%3N)
  shown=$(VELBRIN_REPORT_SHOWN=1 VELBRIN_QUIT_AFTER=300 "$bin/velbrin" 2>/dev/null | awk '/shown-at-ms/ {print $2}')
  times+=($((shown - start)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "startup to window shown: median ${sorted[3]} ms (runs: ${times[*]})"

# CPU while playing: a 40 s song whose title is far wider than the title area.
sox -n -r 44100 -c 2 -b 16 "$work/s.wav" synth 40 sine 440 vol 0.3
lame --quiet -b 128 --tt "A title long enough to scroll across the whole title area of the main window" \
  --ta Bench "$work/s.wav" "$work/song.mp3"
VELBRIN_QUIT_AFTER=25000 "$bin/velbrin" "$work/song.mp3" >/dev/null 2>&1 &
pid=$!
sleep 5
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
t0=$(ticks); w0=$(date +%s%N)
sleep 15
t1=$(ticks); w1=$(date +%s%N)
wait $pid || true
hz=$(getconf CLK_TCK)
awk -v t=$((t1 - t0)) -v hz="$hz" -v w=$((w1 - w0)) \
  'BEGIN { printf "CPU while playing with the title scrolling: %.2f%% of one core\n", 100 * (t / hz) / (w / 1e9) }'
