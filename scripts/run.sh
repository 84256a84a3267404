#!/usr/bin/env bash
# Installs what is missing, builds and starts Quillon. When nothing answers on the
# service host named in parameters.xml and that host is this machine, the reference
# service is started beside the program and stopped when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF

service_pid=""
host=$(sed -n 's/.*<uploadhost value="\([^"]*\)".*/\1/p' build/parameters.xml | head -n 1)
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

status=0
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: starting Quillon on a virtual X server (Xvfb); its window is not visible here."
  xvfb-run -a -s "-screen 0 1280x1024x24" ./build/quillon "$@" || status=$?
else
  ./build/quillon "$@" || status=$?
fi
exit "$status"
