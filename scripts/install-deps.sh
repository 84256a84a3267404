#!/usr/bin/env bash
# Installs the Debian packages Quillon needs to build, run and test.
# Usage: scripts/install-deps.sh [--tests | --debs]
# Only missing packages are installed; nothing happens when all are present.
set -euo pipefail

build_pkgs=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libxml2-dev libcurl4-openssl-dev libjpeg-dev libpng-dev zlib1g-dev libgif-dev libturbojpeg0-dev libdeflate-dev
  libssl-dev libsqlite3-dev libsodium-dev libqrencode-dev
  # the service's PostgreSQL store
  libpq-dev
  # the service's HTTP layer: Beast on Asio (header-only)
  libboost-dev
  libsane-dev
  xvfb xauth
  # the window's icons are drawn from SVG at the screen's scale
  libqt6svg6
  # Qt's Wayland platform plug-in: the program runs as a native client on Wayland desktops
  qt6-wayland
)
# building and checking the Debian packages (scripts/build-debs.sh)
deb_pkgs=(debhelper dpkg-dev fakeroot lintian)
test_pkgs=(
  libgtest-dev libgmock-dev libbenchmark-dev tinyproxy-bin
  # HTTP clients and fake servers of the tests
  libcpp-httplib-dev
  # the window's tests set the offscreen platform's screens through its platform interface
  qt6-base-private-dev
  # the reference service's tests: QR codes read back, pages in a real browser, TLS, a peer
  zbar-tools chromium openssl nginx
  # the shipped front: its unit checked by systemd-analyze, requests through nginx by curl
  systemd curl
  # the manual pages' check (groff's warnings, mandb's whatis line)
  man-db
  # the Debian packages, built, installed and purged by the test package_install
  "${deb_pkgs[@]}"
  # the service's PostgreSQL store: a throwaway server for each test program
  postgresql-15
  # end-to-end tests: a window manager, the accessibility bus and a pointer and keyboard
  openbox xdotool x11-utils dbus at-spi2-core python3 python3-gi gir1.2-atspi-2.0 imagemagick
  # the clipboard of another program, for the paste tests
  xclip
  # the Wayland scenario: a headless compositor, its screenshooter included
  weston
  # the browser hand-off over the session bus: gdbus, the client a person or a test uses
  libglib2.0-bin
  # deleted pictures read back from the trash as the desktop's file managers read it (trash://)
  gvfs
  # the validators of the installed desktop entry and AppStream metainfo
  desktop-file-utils appstream
  # scanners: SANE's "test" backend stands in for a scanner
  libsane1
  # fuzzing
  clang libclang-rt-14-dev
)

pkgs=("${build_pkgs[@]}")
if [[ "${1:-}" == "--tests" ]]; then
  pkgs+=("${test_pkgs[@]}")
elif [[ "${1:-}" == "--debs" ]]; then
  pkgs+=("${deb_pkgs[@]}")
fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
