#!/usr/bin/env bash
# Shows one running player on a private session bus, as the desktop sees it:
# a player with two songs, then `velbrin b.mp3` handed to it (its exit status
# and time), what the player then plays, CanGoNext on the last song without and
# with "All songs" (LoopStatus Playlist), and the track id before and after Next.
#   bench/one_player_demo.sh [build/release/bin]
set -euo pipefail
bin="$(cd "${1:-build/release/bin}" && pwd)"
work="$(mktemp -d)"
export VELBRIN_SETTINGS="$work/velbrin.ini" QT_QPA_PLATFORM=offscreen KELVRA_OUTPUT=null
export XDG_RUNTIME_DIR="$work/run"; mkdir -m 700 "$XDG_RUNTIME_DIR"
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/address" 4>"$work/bus.pid"
export DBUS_SESSION_BUS_ADDRESS="$(cat "$work/address")"
trap 'kill $(cat "$work/bus.pid") ${player:-} 2>/dev/null; rm -rf "$work"' EXIT

for song in a:440:Aye b:660:Bee; do
  IFS=: read -r name hz title <<<"$song"
  sox -n -r 44100 -c 2 -b 16 "$work/$name.wav" synth 20 sine "$hz" vol 0.3
  lame --quiet -b 128 --tt "$title" --ta Band "$work/$name.wav" "$work/$name.mp3"
done
cd "$work"
"$bin/velbrin" a.mp3 >player.log 2>&1 &
player=$!
until playerctl -p velbrin status >/dev/null 2>&1; do sleep 0.1; done
sleep 1
echo "running player: $(playerctl -p velbrin metadata --format '{{status}} {{xesam:url}}')"

start=$(date +%s%N)
status=0
"$bin/velbrin" b.mp3 >second.log 2>&1 || status=$?
echo "velbrin b.mp3: exit status $status after $((($(date +%s%N) - start) / 1000000)) ms"
sleep 1
echo "running player now: $(playerctl -p velbrin metadata --format '{{status}} {{xesam:url}}')"

property() {
  gdbus call --session --dest org.mpris.MediaPlayer2.velbrin --object-path /org/mpris/MediaPlayer2 \
    --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player "$1"
}
echo "on the last song, loop $(playerctl -p velbrin loop): CanGoNext $(property CanGoNext)"
playerctl -p velbrin next && echo "playerctl next: done" || echo "playerctl next: refused"
playerctl -p velbrin loop Playlist
echo "after \"All songs\", loop $(playerctl -p velbrin loop): CanGoNext $(property CanGoNext)"
before=$(playerctl -p velbrin metadata mpris:trackid)
playerctl -p velbrin next
sleep 1
echo "trackid before Next: $before"
echo "trackid after Next:  $(playerctl -p velbrin metadata mpris:trackid) ($(playerctl -p velbrin metadata xesam:title))"
gdbus call --session --dest org.mpris.MediaPlayer2.velbrin --object-path /org/mpris/MediaPlayer2 \
  --method org.freedesktop.DBus.Properties.GetAll org.mpris.MediaPlayer2 | tr ',' '\n' | grep -E "Identity|DesktopEntry"
playerctl -p velbrin metadata
