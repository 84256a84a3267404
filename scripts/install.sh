#!/usr/bin/env bash
# Installs the built program for the current user, where the user can write:
#   ${XDG_DATA_HOME:-~/.local/share}/quillon/   the program, its shipped files and, once it
#                                             runs, the user's own files beside them
#   ~/.local/bin/quillon                      the command (a link to the program)
#   .../applications, .../icons/hicolor, .../metainfo   desktop entry, icons, AppStream data
#   .../man/man1/quillon.1                    the manual page
# Installing again over an older copy replaces only what an install puts there; the user's
# files stay. scripts/uninstall.sh removes exactly what the last install listed.
# Usage: scripts/install.sh [BUILD_DIR]  (default: build; it must hold a built quillon)
# QUILLON_BIN_DIR chooses another folder for the command.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$top/build}" && pwd)"
[[ -x "$build/quillon" ]] || { echo "install: no built program in $build (run scripts/build.sh)" >&2; exit 1; }

id=org.quillon.Quillon
# shellcheck source=scripts/installed-files.sh
source "$top/scripts/installed-files.sh"
bindir="${QUILLON_BIN_DIR:-$HOME/.local/bin}"
new_manifest=$(mktemp)
new_sums=$(mktemp)
trap 'rm -f "$new_manifest" "$new_sums"' EXIT

# Folders are listed when this install creates them, so an uninstall removes them only
# if they end up empty and were never the user's.
make_dir() {
  local dir=$1 missing=()
  while [[ ! -d "$dir" ]]; do missing=("$dir" "${missing[@]}"); dir=$(dirname "$dir"); done
  for dir in "${missing[@]}"; do
    mkdir "$dir"
    echo "d $dir" >>"$new_manifest"
  done
}

# Through a temporary file and a rename: a copy of the program that is running keeps
# its file, and a broken copy never leaves half a file behind.
put() {
  local from=$1 to=$2 mode=$3
  make_dir "$(dirname "$to")"
  local tmp
  tmp=$(mktemp "$(dirname "$to")/.install.XXXXXX")
  cp "$from" "$tmp"
  chmod "$mode" "$tmp"
  mv -f "$tmp" "$to"
  echo "f $to" >>"$new_manifest"
}

# Folders that an earlier install created stay listed, so the uninstall still removes them.
if [[ -f "$manifest" ]]; then
  grep '^d ' "$manifest" >>"$new_manifest" || true
fi

make_dir "$appdir"
put "$build/quillon" "$appdir/quillon" 755
# A shipped file the user has edited since the last install (the service host in
# parameters.xml, say) is kept; the new one is put beside it as NAME.new.
for f in "$top"/data/*; do
  to="$appdir/$(basename "$f")"
  if edited "$to" && ! cmp -s "$f" "$to"; then
    put "$f" "$to.new" 644
    echo "Kept your edited $to; the shipped one is $to.new"
    echo "$(sum_of "$to")  $to" >>"$new_sums"
  else
    put "$f" "$to" 644
    sha256sum "$to" >>"$new_sums"
  fi
done
put "$top/desktop/$id.desktop" "$data/applications/$id.desktop" 644
put "$top/desktop/$id.metainfo.xml" "$data/metainfo/$id.metainfo.xml" 644
for icon in "$top"/desktop/icons/hicolor/*/apps/*; do
  put "$icon" "$data/icons/hicolor/${icon#"$top/desktop/icons/hicolor/"}" 644
done
# The scalable icon is the drawing the window itself shows.
put "$top/src/app/ui/resources/quillon.svg" "$data/icons/hicolor/scalable/apps/$id.svg" 644
# man finds it through the command's folder on the PATH (~/.local/bin -> ~/.local/share/man).
put "$top/doc/quillon.1" "$data/man/man1/quillon.1" 644
make_dir "$bindir"
ln -sfn "$appdir/quillon" "$bindir/quillon"
echo "f $bindir/quillon" >>"$new_manifest"

# The browser hand-off, registered as an installer registers it: the settings key names
# this folder and the session bus learns to start the program. The program writes both
# itself (and removes them at -UNREGSERVER); the folders are listed so that an uninstall
# takes them away again when nothing else lives in them.
make_dir "$config/quillon"
make_dir "$data/dbus-1/services"
if "$appdir/quillon" -REGSERVER; then
  echo "f $config/quillon/.settings.ini.lock" >>"$new_manifest"
else
  echo "Note: the browser hand-off could not be registered ($appdir/quillon -REGSERVER failed)." >&2
fi

# What the older copy installed and this one does not is removed; the user's files were
# never listed.
if [[ -f "$manifest" ]]; then
  while read -r kind path; do
    if [[ "$kind" == f ]] && ! grep -qxF "f $path" "$new_manifest" && ! edited "$path"; then
      rm -f "$path"
    fi
  done <"$manifest"
fi
sort -u "$new_manifest" -o "$new_manifest"
echo "f $sums" >>"$new_manifest"
cp "$new_sums" "$sums"
cp "$new_manifest" "$manifest"

# The user's files of a program that ran from the build folder come along, once.
if [[ ! -e "$appdir/logodirectory.xml" && -f "$build/logodirectory.xml" ]]; then
  for f in logodirectory.xml options.xml appstate.xml windowlayout.xml "Logo Directory"; do
    [[ -e "$build/$f" ]] && cp -a "$build/$f" "$appdir/"
  done
  echo "Copied your logo directory and settings from $build to $appdir"
fi

# The desktop's caches, where its tools are installed. A per-user icon cache is only
# kept up to date, never created: one that later installs do not refresh would hide
# their icons.
if command -v update-desktop-database >/dev/null; then
  update-desktop-database -q "$data/applications" 2>/dev/null || true
fi
if [[ -f "$data/icons/hicolor/icon-theme.cache" ]] && command -v gtk-update-icon-cache >/dev/null; then
  gtk-update-icon-cache -q -t -f "$data/icons/hicolor" 2>/dev/null || true
fi

echo "Installed Quillon in $appdir (command: $bindir/quillon)"
case ":$PATH:" in
  *":$bindir:"*) ;;
  *) echo "Note: $bindir is not on your PATH; the desktop menu entry needs it there." ;;
esac
