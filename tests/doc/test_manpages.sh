#!/usr/bin/env bash
# The manual pages against the programs they describe: groff finds nothing to warn about,
# mandb's whatis line is there, every switch that a program's --help prints is named in its
# page, and the page's version is the program's.
# Usage: test_manpages.sh QUILLON QUILLON_SERVICE
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

check_page() {
  local page=$1 exe=$2 name
  name=$(basename "$exe")
  local warnings
  warnings=$(LC_ALL=C.UTF-8 man --warnings -l -Tutf8 "$page" 2>&1 >/dev/null) || fail "$page: man failed"
  [[ -z "$warnings" ]] || fail "$page: groff warns: $warnings"
  lexgrog "$page" | grep -qF ": \"$name - " || fail "$page: no whatis line for $name"

  local help switch
  help=$("$exe" --help)
  # The switches --help names: a "-" or "--" word at the start or after a blank, comma,
  # bracket or bar. In the page's source every "-" of a switch is written "\-".
  while read -r switch; do
    grep -qF -- "${switch//-/\\-}" "$page" || fail "$page does not name $switch, which $name --help prints"
  done < <(grep -oE '(^|[][ ,|(])--?[A-Za-z][A-Za-z0-9-]*' <<<"$help" | sed 's/^[][ ,|(]//' | sort -u)
  grep -qE '^ *--? ' <<<"$help" && ! grep -qF '.B \-\-' "$page" && fail "$page does not name --"
  return 0
}

check_page "$top/doc/quillon.1" "$1"
check_page "$top/doc/quillon-service.8" "$2"

# The pages name the version they describe.
version=$("$1" --version | awk '{ print $2 }')
for page in "$top/doc/quillon.1" "$top/doc/quillon-service.8"; do
  head -n 1 "$page" | grep -qF "\"Quillon $version\"" || fail "$page does not describe version $version"
done
exit "$failed"
