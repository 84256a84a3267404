# Sourced by the tests that run the shipped nginx file in front of real services.

# Polls a condition (a command) for up to $1 seconds.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Two free loopback ports, for the front's HTTP and HTTPS.
free_ports() {
  python3 -c '
import socket
s=[socket.socket() for _ in range(2)]
[x.bind(("127.0.0.1",0)) for x in s]
print(*[x.getsockname()[1] for x in s])'
}

# The shipped server file moved onto loopback ports with a test certificate, its upstream
# lines replaced, and an nginx.conf around it, both in DIR.
# Usage: front_config SHIPPED DIR HTTP HTTPS "UPSTREAM LINES" CERT KEY WORKER_CONNECTIONS ACCESS_LOG
front_config() {
  local shipped=$1 dir=$2 http=$3 https=$4 upstream=$5 cert=$6 key=$7 connections=$8 access=$9
  mkdir -p "$dir"
  sed -e '/listen \[::\]/d' \
      -e "s|listen 80;|listen 127.0.0.1:$http;|" \
      -e "s|listen 443 ssl http2;|listen 127.0.0.1:$https ssl http2;|" \
      -e "s|server 127.0.0.1:8080;|$upstream|" \
      -e "s|/etc/ssl/quillon/CHANGE-ME-fullchain.pem|$cert|" \
      -e "s|/etc/ssl/quillon/CHANGE-ME-privkey.pem|$key|" \
      "$shipped" >"$dir/quillon-service.conf"
  grep -q "127.0.0.1:$https ssl" "$dir/quillon-service.conf" && grep -q "$key" "$dir/quillon-service.conf" &&
    grep -qF "$upstream" "$dir/quillon-service.conf" || return 1
  local user=""
  [[ $(id -u) == 0 ]] && user="user root;"
  cat >"$dir/nginx.conf" <<CONF
$user
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections $connections; }
http {
    access_log $access;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    include $dir/quillon-service.conf;
}
CONF
}
