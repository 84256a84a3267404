#!/usr/bin/env bash
# Several quillon-service instances on one PostgreSQL database behind the shipped nginx
# front, as server/deploy describes them: systemd must accept the template unit, an upload
# through the front is served byte for byte by every instance, and an instance killed in
# the middle of uploads leaves nothing half stored while the front carries on through the
# other. Starts its own PostgreSQL (as the user postgres when run as root), nginx and
# services on loopback, and ends them.
# Usage: instances_test.sh QUILLON_SERVICE_EXE
set -euo pipefail
exe="$(readlink -f "$1")"
deploy="$(cd "$(dirname "$0")/../deploy" && pwd)"
pgbin=${QUILLON_PG_BIN:-/usr/lib/postgresql/15/bin}
tmp=$(mktemp -d)
chmod 755 "$tmp"
pids=() nginx_pid="" pg_started=""
as_pg=()
[[ $(id -u) == 0 ]] && as_pg=(runuser -u postgres --)
cleanup() {
  [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  [[ -n "$pg_started" ]] && "${as_pg[@]}" "$pgbin/pg_ctl" -D "$tmp/pg/data" stop -m immediate -w -t 30 >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$tmp"/nginx/error.log "$tmp"/a.log "$tmp"/b.log "$tmp"/pg/server.log; do
    [[ -f "$f" ]] && { echo "--- $f" >&2; tail -20 "$f" >&2; }
  done
  exit 1
}
# shellcheck source=front.sh
source "$(dirname "$0")/front.sh"

# --- the template unit, as systemd reads it for the instance on port 8081
unit="$tmp/unit/quillon-service@.service"
mkdir -p "$tmp/unit"
sed "s|/usr/bin/quillon-service|$exe|" "$deploy/systemd/quillon-service@.service" >"$unit"
verify=$(systemd-analyze verify --man=no "$tmp/unit/quillon-service@8081.service" 2>&1) ||
  fail "systemd-analyze verify: $verify"
[[ -z "$verify" ]] || fail "systemd-analyze verify complains: $verify"
grep -q '^LoadCredential=database-url:' "$deploy/systemd/quillon-service@.service" ||
  fail "the template unit does not hand the database URL over as a credential"

# --- PostgreSQL on a socket in its own folder
[[ -x "$pgbin/initdb" ]] || fail "$pgbin/initdb is missing (Debian package postgresql-15)"
mkdir -p "$tmp/pg"
[[ ${#as_pg[@]} -gt 0 ]] && chown postgres: "$tmp/pg"
"${as_pg[@]}" "$pgbin/initdb" -D "$tmp/pg/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 --no-sync \
  --no-instructions >"$tmp/initdb.log" 2>&1 || fail "initdb: $(tail -5 "$tmp/initdb.log")"
"${as_pg[@]}" "$pgbin/pg_ctl" -D "$tmp/pg/data" -l "$tmp/pg/server.log" -w -t 60 \
  -o "-c listen_addresses='' -c unix_socket_directories='$tmp/pg' -c fsync=off -c synchronous_commit=off" \
  start >/dev/null || fail "PostgreSQL did not start"
pg_started=1
psql=(psql -X -q -v ON_ERROR_STOP=1 -h "$tmp/pg" -U postgres)
"${psql[@]}" -d postgres -c "CREATE DATABASE quillon" || fail "cannot create the database"
# As the unit has it: the URL in a file only the service reads.
printf 'postgresql:///quillon?host=%s&user=postgres\n' "$tmp/pg" >"$tmp/database-url"
chmod 600 "$tmp/database-url"

# A member whose uploads go through both instances at once.
"$exe" --db-file "$tmp/database-url" --add-user mia member-pass >/dev/null || fail "cannot add a member"

# --- two instances, as the template unit starts them (their switches, free ports)
args=$(sed -n 's|^ExecStart=/usr/bin/quillon-service ||p' "$deploy/systemd/quillon-service@.service" |
  sed 's/\$QUILLON_SERVICE_OPTIONS//; s|%d/database-url|'"$tmp/database-url"'|; s/--port %i/--port 0/' |
  sed 's|/var/lib/quillon-service|'"$tmp"'|')
start_instance() { # name
  # shellcheck disable=SC2086
  "$exe" ${args//%i/$1} >"$tmp/$1.log" 2>&1 &
  pids+=($!)
}
instance_port() { sed -n 's/.*listening on 127\.0\.0\.1 port \([0-9]*\),.*/\1/p' "$tmp/$1.log"; }
instance_started() { [[ -n "$(instance_port "$1")" ]]; }
start_instance a
start_instance b
pid_b=${pids[1]}
for i in a b; do
  wait_for 30 instance_started $i || fail "instance $i did not start"
done
port_a=$(instance_port a) port_b=$(instance_port b)

# --- nginx with the shipped file, its upstream holding both instances
read -r http https < <(free_ports)
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout "$tmp/key.pem" -out "$tmp/cert.pem" \
  2>/dev/null || fail "openssl could not make a certificate"
front_config "$deploy/nginx/quillon-service.conf" "$tmp/nginx" "$http" "$https" \
  "server 127.0.0.1:$port_a; server 127.0.0.1:$port_b;" "$tmp/cert.pem" "$tmp/key.pem" 256 off ||
  fail "the configuration no longer has the lines this test moves"
ngx=(nginx -p "$tmp/nginx/" -c "$tmp/nginx/nginx.conf" -e "$tmp/nginx/error.log")
out=$("${ngx[@]}" -t 2>&1) || fail "nginx -t: $out"
"${ngx[@]}" -g 'daemon off;' &
nginx_pid=$!
wait_for 20 curl -fs -o /dev/null "http://127.0.0.1:$http/curversion.php" || fail "nginx did not carry a request"

upload() { # URL file -> the answer
  curl -s -m 20 -F login=guest -F password=any -F "logofile=@$2;type=image/unknown" "$1/upload.php" || true
}
id_in() { grep -o '?id=[a-z2-7]*' <<<"$1" | head -1 | cut -c5-; }

# --- an upload through the front, served alike by each instance and by the front
printf '\xff\xd8\xff\xe0one logo, every instance\xff\xd9' >"$tmp/logo.jpg"
answer=$(upload "http://127.0.0.1:$http" "$tmp/logo.jpg")
id=$(id_in "$answer")
[[ -n "$id" ]] || fail "the upload through the front was not answered with a phone URL: $answer"
for base in "127.0.0.1:$port_a" "127.0.0.1:$port_b" "127.0.0.1:$http"; do
  curl -fsS -o "$tmp/got.jpg" "http://$base/guest/?id=$id" || fail "$base does not serve the picture"
  cmp -s "$tmp/logo.jpg" "$tmp/got.jpg" || fail "$base serves other bytes"
done

# --- 200 uploads of one member at once, through both instances, keeping 20: exactly the
# ones no answer withdrew are left, 20 of them, and they are the account's pictures.
member_upload() { # n
  local port=$port_a
  (($1 % 2)) && port=$port_b
  printf '\xff\xd8\xff\xe0member %s\xff\xd9' "$1" >"$tmp/m$1.jpg"
  curl -s -m 60 -F login=mia -F password=member-pass -F "logofile=@$tmp/m$1.jpg;type=image/unknown" \
    "http://127.0.0.1:$port/upload.php" | tr -d '\r' >"$tmp/m$1.answer"
}
export -f member_upload
export tmp port_a port_b
seq 200 | xargs -P 8 -I{} bash -c 'member_upload {}'
cat "$tmp"/m*.answer >"$tmp/member-answers"
(($(grep -c '^SUCCESS$' "$tmp/member-answers") == 200)) || fail "not every member upload succeeded"
new_ids=$(for f in "$tmp"/m*.answer; do sed -n '2p' "$f"; done | grep -o 'id=[a-z2-7]*' | sort -u)
withdrawn=$(for f in "$tmp"/m*.answer; do sed -n '3,$p' "$f"; done | grep -o 'id=[a-z2-7]*' | sort -u)
kept=$(comm -23 <(echo "$new_ids") <(echo "$withdrawn"))
(($(wc -l <<<"$new_ids") == 200)) || fail "200 uploads did not give 200 ids"
(($(wc -l <<<"$kept") == 20)) || fail "$(wc -l <<<"$kept") uploads were never withdrawn, not 20"
stored=$("${psql[@]}" -d quillon -Atc "SELECT 'id=' || p.id FROM pictures p JOIN accounts a ON a.id = p.account
  WHERE a.login = 'mia' ORDER BY 1")
[[ "$stored" == "$kept" ]] || fail "the member's pictures are not the 20 no answer withdrew"

# --- uploads straight to instance b while it is killed: every answered upload is whole and
# served by a, nothing half stored is left, and the front goes on through a.
: >"$tmp/answers"
(
  for i in $(seq 60); do
    printf '\xff\xd8\xff\xe0picture %s %0512d\xff\xd9' "$i" 0 >"$tmp/up$i.jpg"
    printf '%s %s\n' "$i" "$(upload "http://127.0.0.1:$port_b" "$tmp/up$i.jpg" | head -2 | tr -d '\r' | paste -sd ' ')" \
      >>"$tmp/answers"
  done
) &
loop=$!
answered() { (($(grep -c SUCCESS "$tmp/answers") >= 15)); }
wait_for 60 answered || fail "instance b did not answer uploads"
kill -9 "$pid_b"
wait "$loop"
stored=0
while read -r i keyword url; do
  [[ "$keyword" == SUCCESS ]] || continue
  stored=$((stored + 1))
  curl -fsS -o "$tmp/got.jpg" "http://127.0.0.1:$port_a/guest/?${url#*\?}" || fail "a does not serve upload $i: $url"
  cmp -s "$tmp/up$i.jpg" "$tmp/got.jpg" || fail "upload $i is not whole"
done <"$tmp/answers"
((stored >= 15 && stored < 60)) || fail "the kill did not fall among the uploads ($stored answered)"
# Every row in the database is a whole picture that was answered, or one whose answer the
# kill cut off; none is empty.
rows=$("${psql[@]}" -d quillon -Atc "SELECT count(*), count(*) FILTER (WHERE length(bytes) = 0) FROM pictures
  WHERE account = (SELECT id FROM accounts WHERE login = 'guest')")
[[ "$rows" == "$((stored + 1))|0" || "$rows" == "$((stored + 2))|0" ]] ||
  fail "the database holds $rows (pictures|empty), $stored uploads were answered"
answer=$(upload "http://127.0.0.1:$http" "$tmp/logo.jpg")
[[ -n "$(id_in "$answer")" ]] || fail "the front did not carry an upload after the kill: $answer"
echo "instances behind the front: OK"
