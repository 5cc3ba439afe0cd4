#!/usr/bin/env bash
# The studio sound heard at the sink (see bench/studio_bench.cpp), on a private
# sound server (started here unless PULSE_SERVER already reaches one). Writes
# the levels of the DJ cross-fade to build/release/studio-levels.csv and draws
# them into build/release/studio-levels.png.
# Usage: bench/studio_bench.sh
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
cmake --build --preset release --target studio_bench velbrin_program >/dev/null
source "$ROOT/scripts/lib/services.sh"
started=0
if [ -z "${PULSE_SERVER:-}" ] || ! pactl info >/dev/null 2>&1; then
  export VELBRIN_SERVICES_DIR="${VELBRIN_SERVICES_DIR:-$(mktemp -d)}"
  start_private_pulse
  started=1
fi
csv="$ROOT/build/release/studio-levels.csv"
build/release/bin/studio_bench dj "$csv"
build/release/bin/studio_bench deadair
build/release/bin/studio_bench norm
python3 "$ROOT/bench/plot_levels.py" "$csv" "$ROOT/build/release/studio-levels.png"
echo "plot: build/release/studio-levels.png"
[ "$started" = 1 ] && stop_private_pulse
exit 0
