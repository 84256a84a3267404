#!/usr/bin/env bash
# Builds the Debian packages (scripts/build-debs.sh, lintian included), installs them on
# this machine, runs what they installed as root runs a program from /usr (its files must
# go to the data folder of a throwaway home, none into /usr), then purges them: nothing of
# theirs may be left in /usr, /etc or /var/lib. Changes the machine, so it runs as root
# only (on a throwaway CI machine, or a development one); it purges on any way out.
# Exit 77 (skipped) when not root.
# Usage: test_package.sh [WORK_DIR]  (default: a temporary folder, removed afterwards)
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: installing packages needs root"
  exit 77
fi
packages=(quillon quillon-service)
tmp=$(mktemp -d)
installed=0
cleanup() {
  local status=$?
  for pid in ${quillon_pid:-} ${xvfb_pid:-}; do kill "$pid" 2>/dev/null || true; done
  if ((installed)); then dpkg --purge "${packages[@]}" >/dev/null || status=1; fi
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    fail "$p is installed already; this test installs and purges it itself"
  fi
done

debs="${1:-$tmp/debs}"
bash "$top/scripts/build-debs.sh" "$debs" >"$tmp/build.log" 2>&1 || { tail -n 60 "$tmp/build.log"; fail "building the packages"; }
version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
files=()
for p in "${packages[@]}"; do files+=("$debs/${p}_${version}_$(dpkg --print-architecture).deb"); done

# The dependencies first, through apt, then the packages gone again: what is compared
# below is the packages' own footprint, not that of the libraries they pulled in.
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${files[@]}" >"$tmp/apt.log" 2>&1 ||
  { cat "$tmp/apt.log"; fail "apt-get install of the packages"; }
dpkg --purge "${packages[@]}" >/dev/null
installed=0

# Caches that the desktop's triggers rebuild and dpkg's own records change with every
# install; everything else must be as it was.
snapshot() {
  find /usr /etc /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt \) -prune -o -print |
    grep -vE '/(mimeinfo\.cache|icon-theme\.cache|gschemas\.compiled)$' | sort
}
snapshot >"$tmp/before"
installed=1
dpkg -i "${files[@]}" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg -i"; }

# --- what the packages installed
[[ "$(quillon --version)" == "quillon $version" ]] || fail "quillon --version: $(quillon --version)"
quillon --help | grep -q -- '-REGSERVER' || fail "quillon --help"
quillon-service --help | grep -q -- '--data DIR' || fail "quillon-service --help"
[[ "$(man -w quillon)" == /usr/share/man/man1/quillon.1* ]] || fail "man finds no quillon(1)"
[[ "$(man -w 8 quillon-service)" == /usr/share/man/man8/quillon-service.8* ]] || fail "man finds no quillon-service(8)"
for f in phoneslist.xml parameters.xml quillonhelp.hlp; do
  cmp -s "$top/data/$f" "/usr/share/quillon/$f" || fail "/usr/share/quillon/$f is not the shipped one"
done
unit=$(dpkg -L quillon-service | grep '/systemd/system/quillon-service\.service$') || fail "no unit installed"
verify=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $verify"
[[ -z "$verify" ]] || fail "systemd-analyze verify complains: $verify"
dpkg -L quillon-service | grep -q '/systemd/system/quillon-service@\.service$' || fail "no template unit installed"

# --- the program as root runs it from /usr: its window shows, its files go to the home's
# data folder, created for the user alone; /usr is left as it was.
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/home/.config"
unset XDG_DATA_HOME
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
find /usr/share/quillon /usr/bin/quillon -printf '%p %s %T@\n' | sort >"$tmp/usr-before"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 300); do [[ -s "$tmp/display" ]] && break; sleep 0.1; done
[[ -s "$tmp/display" ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$tmp/display")"
quillon >"$tmp/quillon.log" 2>&1 &
quillon_pid=$!
shown=0
for _ in $(seq 600); do
  if xdotool search --onlyvisible --name '^Quillon$' >/dev/null 2>&1; then shown=1; break; fi
  kill -0 "$quillon_pid" 2>/dev/null || break
  sleep 0.1
done
((shown)) || { cat "$tmp/quillon.log"; fail "the installed program showed no window"; }
[[ -z "${QUILLON_PACKAGE_SCREENSHOT:-}" ]] || import -window root "$QUILLON_PACKAGE_SCREENSHOT"
# A termination request closes the window as the user does, which saves the files.
kill -TERM "$quillon_pid"
status=0
wait "$quillon_pid" || status=$?
quillon_pid=
((status == 0)) || { cat "$tmp/quillon.log"; fail "the program ended with $status"; }
kill "$xvfb_pid" && wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=
data="$HOME/.local/share/quillon"
for f in logodirectory.xml appstate.xml options.xml; do
  [[ -f "$data/$f" ]] || fail "$f is not in the user's data folder"
done
[[ "$(stat -c %a "$data")" == 700 ]] || fail "the user's data folder is open to others: $(stat -c %a "$data")"
[[ "$(stat -c %a "$data/options.xml")" == 600 ]] || fail "options.xml is open to others"
find /usr/share/quillon /usr/bin/quillon -printf '%p %s %T@\n' | sort >"$tmp/usr-after"
cmp -s "$tmp/usr-before" "$tmp/usr-after" || fail "the program changed its folders under /usr: $(diff "$tmp/usr-before" "$tmp/usr-after")"

# --- purged, nothing of theirs is left
dpkg --purge "${packages[@]}" >"$tmp/purge.log" 2>&1 || { cat "$tmp/purge.log"; fail "dpkg --purge"; }
installed=0
snapshot >"$tmp/after"
# A path that appeared and belongs to an installed package is another package's (one that
# someone installed meanwhile on a shared machine); ours own nothing any more.
left=$(comm -13 "$tmp/before" "$tmp/after" | while IFS= read -r path; do
  dpkg-query -S -- "$path" >/dev/null 2>&1 || echo "left: $path"
done)
gone=$(comm -23 "$tmp/before" "$tmp/after" | sed 's/^/gone: /')
[[ -z "$left$gone" ]] || fail "the purge left the machine changed:
$left$gone"
[[ -d "$data" ]] || fail "the purge took the user's files"
echo "Packages built, installed, run and purged: ${files[*]##*/}"
