#!/usr/bin/env bash
# Installs what is missing, builds Quillon, installs it for this user (scripts/install.sh)
# and starts the installed copy, so the user's files never live in the build folder.
# Arguments go to the program (pictures to add). When nothing answers on the service host
# named in parameters.xml and that host is this machine, the reference service is started
# beside the program and stopped when the program ends.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF
scripts/install.sh build
user_data="${XDG_DATA_HOME:-}"
[[ "$user_data" == /* ]] || user_data="$HOME/.local/share"
appdir="$user_data/quillon"
quillon="$appdir/quillon"

service_pid=""
host=$(sed -n 's/.*<uploadhost value="\([^"]*\)".*/\1/p' "$appdir/parameters.xml" | head -n 1)
name=${host%:*}
port=${host##*:}
[[ "$port" == "$host" ]] && port=80
answers() { (exec 3<>"/dev/tcp/$name/$port") 2>/dev/null; }
if [[ "$name" =~ ^(localhost|127\.0\.0\.1)$ ]] && ! answers; then
  data="${XDG_DATA_HOME:-$HOME/.local/share}/quillon-service"
  mkdir -p "$data"
  ./build/quillon-service --data "$data" --port "$port" >>"$data/service.log" 2>&1 &
  service_pid=$!
  trap 'kill -TERM "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do answers && break; sleep 0.1; done
  echo "Started quillon-service: $(grep 'listening on' "$data/service.log" | tail -n 1 | sed 's/^quillon-service: //')"
  echo "Its log (with the confirmation links of new accounts): $data/service.log"
fi

# Picture paths on the command line are taken from where this script was started.
cd "$here"
status=0
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  # The virtual server runs in a session of its own, so Ctrl+C here reaches the program
  # alone: it closes as when its window is closed (saving your files), and the server
  # goes after it. A Ctrl+C that reached the server too would end the program unsaved.
  pidfile=$(mktemp)
  # shellcheck disable=SC2016 # expanded by the inner shell, inside the virtual server
  setsid xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    echo $$ >"$0"
    echo "No display found: Quillon runs on the virtual X server $DISPLAY (Xvfb); its window is not visible here."
    echo "  See it:     DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY x11vnc -localhost -nopw   (then a VNC viewer on localhost:5900)"
    echo "  Screenshot: DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY import -window root shot.png"
    echo "  Stop it:    Ctrl+C here, or from elsewhere: kill $$   (either way your files are saved)"
    exec "$@"' "$pidfile" "$quillon" "$@" &
  runner=$!
  trap 'kill -TERM "$(cat "$pidfile")" 2>/dev/null || true' INT TERM
  wait "$runner" || status=$?
  # A signal interrupts the wait: wait again for the program to finish closing.
  while kill -0 "$runner" 2>/dev/null; do
    status=0
    wait "$runner" || status=$?
  done
  rm -f "$pidfile"
else
  "$quillon" "$@" || status=$?
fi
exit "$status"
