#!/usr/bin/env bash
# Removes what scripts/install.sh installed, as its list in the application folder names
# it. The user's files (logodirectory.xml, options.xml, appstate.xml, windowlayout.xml,
# Logo Directory/, Temp/ and anything else never installed) stay where they are.
set -euo pipefail
# shellcheck source=scripts/installed-files.sh
source "$(dirname "$0")/installed-files.sh"
[[ -f "$manifest" ]] || { echo "uninstall: Quillon is not installed in $appdir" >&2; exit 1; }

# The hand-off's registration goes first, while the program is still there to remove it.
if [[ -x "$appdir/quillon" ]] && ! "$appdir/quillon" -UNREGSERVER; then
  echo "Note: the browser hand-off could not be unregistered ($appdir/quillon -UNREGSERVER failed)." >&2
fi
listed=$(cat "$manifest")
while read -r kind path; do
  if [[ "$kind" == f && "$path" != "$sums" ]] && ! edited "$path"; then rm -f "$path"; fi
done <<<"$listed"
rm -f "$sums" "$manifest"

if command -v update-desktop-database >/dev/null && [[ -d "$data/applications" ]]; then
  update-desktop-database -q "$data/applications" 2>/dev/null || true
fi
if [[ -f "$data/icons/hicolor/icon-theme.cache" ]] && command -v gtk-update-icon-cache >/dev/null; then
  gtk-update-icon-cache -q -t -f "$data/icons/hicolor" 2>/dev/null || true
fi

# Folders the install created, deepest first, when nothing else lives in them (the
# desktop database's own index does not count).
while read -r kind path; do
  [[ "$kind" == d && -d "$path" ]] || continue
  if [[ "$(ls -A "$path")" == "mimeinfo.cache" ]]; then rm -f "$path/mimeinfo.cache"; fi
  rmdir "$path" 2>/dev/null || true
done < <(grep '^d ' <<<"$listed" | sort -r)
echo "Removed Quillon."
[[ -d "$appdir" ]] && echo "Your files stay in $appdir."
exit 0
