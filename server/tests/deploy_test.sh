#!/usr/bin/env bash
# The shipped front (server/deploy): systemd must accept the unit as written, and nginx
# with the shipped configuration, on loopback ports and a self-signed certificate, must
# carry uploads and phone downloads to a real quillon-service and hold back what it should.
# Usage: deploy_test.sh QUILLON_SERVICE_EXE
set -euo pipefail
exe="$(readlink -f "$1")"
deploy="$(cd "$(dirname "$0")/../deploy" && pwd)"
tmp=$(mktemp -d)
# nginx's workers run as the user named below; when that is root they can reach $tmp anyway.
chmod 755 "$tmp"
service_pid="" nginx_pid=""
cleanup() {
  [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  [[ -n "$service_pid" ]] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$tmp"/nginx/error.log "$tmp"/service.log; do [[ -f "$f" ]] && { echo "--- $f" >&2; tail -20 "$f" >&2; }; done
  exit 1
}
# shellcheck source=front.sh
source "$(dirname "$0")/front.sh"

# --- the unit: systemd-analyze reads it as systemd would, with the program where
# ExecStart names it (verify wants it to exist).
unit="$tmp/unit/quillon-service.service"
mkdir -p "$tmp/unit"
grep -q '^ExecStart=/usr/bin/quillon-service ' "$deploy/systemd/quillon-service.service" ||
  fail "ExecStart does not start /usr/bin/quillon-service"
sed "s|/usr/bin/quillon-service|$exe|" "$deploy/systemd/quillon-service.service" >"$unit"
verify=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "systemd-analyze verify: $verify"
[[ -z "$verify" ]] || fail "systemd-analyze verify complains: $verify"
# Every switch the unit passes is one the service knows.
args=$(sed -n 's|^ExecStart=/usr/bin/quillon-service ||p' "$deploy/systemd/quillon-service.service" |
  sed 's/\$QUILLON_SERVICE_OPTIONS//; s|/var/lib/quillon-service|'"$tmp/unitdata"'|; s/--port 8080/--port 0/')
# shellcheck disable=SC2086
"$exe" $args --help >/dev/null || fail "the service refuses the unit's switches: $args"

# --- a self-signed certificate for 127.0.0.1
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>/dev/null || fail "openssl could not make a certificate"

# --- the service on a free loopback port, trusting the proxy as the unit does
"$exe" --data "$tmp/data" --listen 127.0.0.1 --port 0 --trust-proxy 127.0.0.1 >"$tmp/service.log" 2>&1 &
service_pid=$!
service_port() { sed -n 's/.*listening on 127\.0\.0\.1 port \([0-9]*\),.*/\1/p' "$tmp/service.log"; }
service_started() { [[ -n "$(service_port)" ]]; }
wait_for 20 service_started || fail "the service did not start"
port=$(service_port)

# --- nginx with the shipped server block, moved onto free loopback ports
read -r http https < <(free_ports)
front_config "$deploy/nginx/quillon-service.conf" "$tmp/nginx" "$http" "$https" "server 127.0.0.1:$port;" \
  "$tmp/cert.pem" "$tmp/key.pem" 64 "$tmp/nginx/access.log" ||
  fail "the configuration no longer has the lines this test moves"
ngx=(nginx -p "$tmp/nginx/" -c "$tmp/nginx/nginx.conf" -e "$tmp/nginx/error.log")
out=$("${ngx[@]}" -t 2>&1) || fail "nginx -t: $out"
"${ngx[@]}" -g 'daemon off;' &
nginx_pid=$!
wait_for 20 curl -fs -o /dev/null "http://127.0.0.1:$http/curversion.php" || fail "nginx did not carry a request"

status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
tls=(--cacert "$tmp/cert.pem")

# An upload of the desktop program over plain HTTP, and its phone URL over both.
printf '\xff\xd8\xff\xe0logo through the front\xff\xd9' >"$tmp/logo.jpg"
answer=$(curl -fsS -F login=guest -F password=any -F "logofile=@$tmp/logo.jpg;type=image/unknown" \
  "http://127.0.0.1:$http/upload.php") || fail "the upload was not carried"
id=$(grep -o '?id=[a-z2-7]*' <<<"$answer" | head -1 | cut -c5-)
[[ -n "$id" ]] || fail "the upload was not answered with a phone URL: $answer"
curl -fsS -o "$tmp/plain.jpg" "http://127.0.0.1:$http/guest/?id=$id" || fail "the phone URL is not served over HTTP"
cmp -s "$tmp/logo.jpg" "$tmp/plain.jpg" || fail "the picture served over HTTP is not the one uploaded"
curl -fsS "${tls[@]}" -o "$tmp/tls.jpg" "https://127.0.0.1:$https/guest/?id=$id" || fail "the phone URL is not served over HTTPS"
cmp -s "$tmp/logo.jpg" "$tmp/tls.jpg" || fail "the picture served over HTTPS is not the one uploaded"

# The site goes over to HTTPS; a POST stays a POST there.
redirect=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "http://127.0.0.1:$http/register.php")
[[ "$redirect" == "308 https://127.0.0.1/register.php" ]] || fail "the registration form over HTTP: $redirect"
[[ $(status "${tls[@]}" "https://127.0.0.1:$https/register.php") == 200 ]] || fail "the registration form over HTTPS"

# A body over the service's cap is refused by nginx without reaching the service (which
# would refuse it too, after a thread had read it).
head -c $((1024 * 1024 + 1)) /dev/zero >"$tmp/big.jpg"
[[ $(status -F login=guest -F password=any -F "logofile=@$tmp/big.jpg" "http://127.0.0.1:$http/upload.php") == 413 ]] ||
  fail "an upload over 1 MiB was not refused"

wait_for 10 grep -q 'POST /upload.php 200' "$tmp/service.log" || fail "the service did not log the upload"
! grep -q 'POST /upload.php 413' "$tmp/service.log" || fail "the upload over 1 MiB reached the service"

# A client cannot pass as someone else by writing the header itself: the service logs
# the address nginx saw.
curl -fsS -o /dev/null -H 'X-Forwarded-For: 198.51.100.9' "http://127.0.0.1:$http/curversion.php"
wait_for 10 grep -q '127.0.0.1 GET /curversion.php 200' "$tmp/service.log" || fail "the service did not log the client"
! grep -q 198.51.100.9 "$tmp/service.log" || fail "the service believed the client's own X-Forwarded-For"

# Guessing passwords is slowed down: a burst of member checks is cut off at the front,
# while the phone addresses stay open.
codes=""
for _ in $(seq 30); do
  codes+=" $(status -F login=nobody -F password=wrong "http://127.0.0.1:$http/memberstatus.php")"
done
[[ "$codes" == *" 429"* ]] || fail "30 member checks in a row were all let through:$codes"
[[ "$codes" == " 200"* ]] || fail "the first member check was refused:$codes"
[[ $(status "http://127.0.0.1:$http/guest/?id=$id") == 200 ]] || fail "the phone URL was held up with the member checks"
echo "deploy front: OK"
