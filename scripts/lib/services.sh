# Shared by scripts/run and scripts/test: private sound server and virtual display.
# Source this file; every function keeps its state under $VELBRIN_SERVICES_DIR.

: "${VELBRIN_SERVICES_DIR:=$(mktemp -d /tmp/velbrin-services.XXXXXX)}"
export VELBRIN_SERVICES_DIR

# Starts a PulseAudio of our own with a null sink named "null" and exports
# PULSE_SERVER so every client in this process tree talks to it.
start_private_pulse() {
  local dir="$VELBRIN_SERVICES_DIR/pulse"
  mkdir -p "$dir/home" "$dir/run"
  chmod 700 "$dir/home" "$dir/run"
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" pulseaudio --daemonize=yes --exit-idle-time=-1 \
    --disallow-exit -n \
    --load="module-null-sink sink_name=null rate=44100 channels=2" \
    --load="module-native-protocol-unix socket=$dir/run/native" \
    --log-target="file:$dir/pa.log" >/dev/null 2>&1 || return 1
  export PULSE_SERVER="unix:$dir/run/native"
  local i
  for i in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "private PulseAudio did not start; see $dir/pa.log" >&2
  return 1
}

stop_private_pulse() {
  local pidfile="$VELBRIN_SERVICES_DIR/pulse/run/pulse/pid"
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
}

# Starts Xvfb on the first free display number and exports DISPLAY.
start_virtual_display() {
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$VELBRIN_SERVICES_DIR/xvfb.log" 2>&1 &
    echo $! >"$VELBRIN_SERVICES_DIR/xvfb.pid"
    local i
    for i in $(seq 1 100); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.05
    done
  done
  echo "Xvfb did not start" >&2
  return 1
}

stop_virtual_display() {
  [ -f "$VELBRIN_SERVICES_DIR/xvfb.pid" ] && kill "$(cat "$VELBRIN_SERVICES_DIR/xvfb.pid")" 2>/dev/null || true
}
