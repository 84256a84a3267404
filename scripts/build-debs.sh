#!/usr/bin/env bash
# Builds the Debian packages quillon and quillon-service from this repository (debian/)
# and checks them with lintian: an error, or a warning that debian/*.lintian-overrides
# does not explain, fails the build. The packages land in OUT_DIR (default: build-deb/).
# Usage: scripts/build-debs.sh [OUT_DIR]
# Nothing is fetched but Debian's own packages (scripts/install-deps.sh --debs).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$top/build-deb}")"
bash "$top/scripts/install-deps.sh" --debs

version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
# A copy of the sources as they are now, build folders left out, in a fixed place, so
# that dpkg-buildpackage writes nothing into the repository or beside it, and ccache
# (when there is one) finds the same paths the next time.
work="$out/work"
src="$work/quillon-$version"
rm -rf "$work"
mkdir -p "$src"
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$top" && git ls-files -z --cached --others --exclude-standard) |
    tar -C "$top" --null --files-from=- --ignore-failed-read -cf - 2>/dev/null | tar -C "$src" -xf -
else
  tar -C "$top" --exclude='./build*' --exclude='./obj-*' -cf - . | tar -C "$src" -xf -
fi

options=""
if command -v ccache >/dev/null; then
  options="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
(cd "$src" && QUILLON_CMAKE_OPTIONS="$options" DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -b -us -uc)

changes="quillon_${version}_${arch}.changes"
for f in "$work"/*.deb "$work"/*.buildinfo "$work/$changes"; do mv -f "$f" "$out/"; done
rm -rf "$work"
lintian --fail-on error,warning "$out/$changes"
echo "Built $(cd "$out" && ls quillon*_"${version}"_"${arch}".deb | tr '\n' ' ')in $out"
