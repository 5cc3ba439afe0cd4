#!/usr/bin/env bash
# Song changes heard at the sink: the Norm hand-over gap and the Studio trigger
# second to the new song heard, each over several runs, on a private sound
# server (started here unless PULSE_SERVER already reaches one).
# Usage: bench/songchange_bench.sh [runs, default 7]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
RUNS="${1:-7}"
cd "$ROOT"
cmake --build --preset release --target songchange_bench >/dev/null
source "$ROOT/scripts/lib/services.sh"
started=0
if [ -z "${PULSE_SERVER:-}" ] || ! pactl info >/dev/null 2>&1; then
  start_private_pulse
  started=1
fi
build/release/bin/songchange_bench norm "$RUNS"
build/release/bin/songchange_bench studio "$RUNS"
[ "$started" = 1 ] && stop_private_pulse
exit 0
