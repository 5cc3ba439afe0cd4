#!/usr/bin/env bash
# Main window figures: time from process start to the window shown, and CPU use
# while a 40 s song plays to the silent output, with the window shown on a
# virtual X display (a short title, then one that scrolls) and minimised.
#   bench/player_bench.sh [build/release/bin]
# CPU is the player's own user and system time from /proc over 15 s, after 5 s
# of playing; each figure is the median of three runs. The machine's load is
# printed with it, as other work on the machine raises every figure.
set -euo pipefail
bin="$(cd "${1:-build/release/bin}" && pwd)"
work="$(mktemp -d)"
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export VELBRIN_SETTINGS="$work/velbrin.ini" KELVRA_OUTPUT=null
export XDG_RUNTIME_DIR="$work/run"; mkdir -m 700 "$XDG_RUNTIME_DIR"

# Start-up: median of 7 runs, from just before exec to the first painted frame.
times=()
for _ in 1 2 3 4 5 6 7; do
  start=$(date +%s%3N)
  shown=$(QT_QPA_PLATFORM=offscreen VELBRIN_REPORT_SHOWN=1 VELBRIN_QUIT_AFTER=300 "$bin/velbrin" \
    2>/dev/null | awk '/shown-at-ms/ {print $2}')
  times+=($((shown - start)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "startup to window shown: median ${sorted[3]} ms (runs: ${times[*]})"

# A virtual display of our own, so the window is really drawn and flushed to
# an X server, as on a desktop.
for n in $(seq 140 180); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  break
done
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
unset QT_QPA_PLATFORM

sox -n -r 44100 -c 2 -b 16 "$work/s.wav" synth 40 sine 440 vol 0.3
lame --quiet -b 128 --tt "Short" --ta Bench "$work/s.wav" "$work/short.mp3"
# The tag keeps 30 characters of a title; these are wide enough to scroll.
lame --quiet -b 128 --tt "A Very Long Title That Goes Past Thirty Characters" \
  --ta Bench "$work/s.wav" "$work/long.mp3"

# One run: prints the CPU share in per cent of one core and the wakeups a second.
cpu_run() { # song minimise
  VELBRIN_QUIT_AFTER=25000 "$bin/velbrin" "$1" >/dev/null 2>&1 &
  local pid=$!
  sleep 5
  if [ "$2" = yes ]; then
    # Without a window manager nothing answers a request to minimise; unmapping
    # the window is what a window manager does with a minimised one.
    local id
    for id in $(xdotool search --pid "$pid" 2>/dev/null); do xdotool windowunmap "$id" 2>/dev/null || true; done
  fi
  local stat=/proc/$pid/stat
  local t0 w0 s0 t1 w1 s1
  t0=$(awk '{print $14 + $15}' "$stat"); s0=$(cat /proc/$pid/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}')
  w0=$(date +%s%N)
  sleep 15
  t1=$(awk '{print $14 + $15}' "$stat"); s1=$(cat /proc/$pid/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}')
  w1=$(date +%s%N)
  wait "$pid" || true
  awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" -v w=$((w1 - w0)) -v s=$((s1 - s0)) \
    'BEGIN { printf "%.2f %.0f\n", 100 * (t / hz) / (w / 1e9), s / (w / 1e9) }'
}

measure() { # label song minimise target
  local runs=() wakes=() line
  for _ in 1 2 3; do
    line=$(cpu_run "$2" "$3")
    runs+=("${line% *}")
    wakes+=("${line#* }")
  done
  local median wake
  median=$(printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p)
  wake=$(printf '%s\n' "${wakes[@]}" | sort -n | sed -n 2p)
  printf 'CPU while playing, %s: median %s%% of one core (runs: %s; target %s%%), %s wakeups a second\n' \
    "$1" "$median" "${runs[*]}" "$4" "$wake"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
measure "window shown, short title" "$work/short.mp3" no 1.5
measure "window shown, title scrolling" "$work/long.mp3" no 1.5
measure "window minimised" "$work/short.mp3" yes 0.8
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
