#!/usr/bin/env bash
# A newcomer's first start: the time from `scripts/run` in a fresh clone (fresh
# build folder, no compiler cache) to the main window shown.
#   bench/first_run.sh [COMMIT] [SCRATCH-FOLDER]
# COMMIT defaults to this checkout's HEAD; the clone and its log stay in the
# scratch folder (a new one under /tmp unless given).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
commit="$(git -C "$repo" rev-parse "${1:-HEAD}")"
scratch="${2:-$(mktemp -d /tmp/velbrin-first-run.XXXXXX)}"
mkdir -p "$scratch"
rm -rf "$scratch/velbrin"
git clone -q --no-hardlinks "$repo" "$scratch/velbrin"
git -C "$scratch/velbrin" checkout -q --detach "$commit"

log="$scratch/run.log"
start=$(date +%s%3N)
CCACHE_DISABLE=1 VELBRIN_REPORT_SHOWN=1 VELBRIN_QUIT_AFTER=2000 \
  VELBRIN_SETTINGS="$scratch/velbrin.ini" "$scratch/velbrin/scripts/run" >"$log" 2>&1 || true
shown=$(awk '/^shown-at-ms/ {print $2; exit}' "$log")
if [ -z "$shown" ]; then
  echo "the window was never shown; see $log" >&2
  exit 1
fi
steps=$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" | tail -1 || true)
echo "commit ${commit:0:10}: first scripts/run to the window shown in $(((shown - start) / 1000)) s" \
  "(last build step $steps, load average $(cut -d' ' -f1-3 /proc/loadavg))"
