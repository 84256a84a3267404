#!/usr/bin/env bash
# Installs the built program into a temporary home, checks the desktop files with the
# desktop's own validators, installs again over it with the user's files in place, then
# uninstalls: what was installed is gone, the user's files are not, and nothing else is left.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A build folder of its own: files that a run of the real one left there are not this test's.
build="$tmp/build"
mkdir "$build"
cp "$1/quillon" "$build/"
# The files of a user who ran the program from the build folder until now.
mkdir -p "$build/Logo Directory/Holiday"
echo '<logodirectory/>' >"$build/logodirectory.xml"
echo picture >"$build/Logo Directory/Holiday/beach.jpg"
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/home/.local/share" XDG_CONFIG_HOME="$tmp/home/.config"
unset QUILLON_BIN_DIR
mkdir -p "$HOME"
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$top/scripts/install.sh" "$build" >/dev/null
app="$XDG_DATA_HOME/quillon"
id=org.quillon.Quillon
for f in quillon phoneslist.xml parameters.xml quillonhelp.hlp; do
  [[ -f "$app/$f" ]] || fail "$f not installed"
done
cmp -s "$build/quillon" "$app/quillon" || fail "the installed program is not the built one"
[[ "$(readlink -f "$HOME/.local/bin/quillon")" == "$(readlink -f "$app/quillon")" ]] ||
  fail "the command does not run the installed program"
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
  [[ -f "$XDG_DATA_HOME/icons/hicolor/$size/apps/$id.png" ]] || fail "no $size icon"
done
[[ -f "$XDG_DATA_HOME/icons/hicolor/scalable/apps/$id.svg" ]] || fail "no scalable icon"
# man finds the page as a user finds it: through the command's folder on the PATH.
[[ "$(env -u MANPATH PATH="$HOME/.local/bin:/usr/bin:/bin" man -w quillon)" == "$XDG_DATA_HOME/man/man1/quillon.1" ]] ||
  fail "man does not find the installed quillon(1)"
desktop-file-validate "$XDG_DATA_HOME/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$XDG_DATA_HOME/metainfo/$id.metainfo.xml" || fail "metainfo"
# The picture types reach the desktop's database, so "Open with" offers the program.
grep -q "^image/png=.*$id.desktop" "$XDG_DATA_HOME/applications/mimeinfo.cache" ||
  fail "the picture types are not in the desktop database"
# Registered for the browser hand-off, as an installer does: a hand-off finds the program
# and the session bus can start it.
grep -qxF "AppPath=$app" "$XDG_CONFIG_HOME/quillon/settings.ini" || fail "the settings key does not name $app"
grep -qxF "Exec='$app/quillon' -AUTOMATION" "$XDG_DATA_HOME/dbus-1/services/org.quillon.QuillonPI.service" ||
  fail "the session bus cannot start the installed program"
installed=$(sed 's/^[fd] //' "$app/.install-manifest" | sort)
for f in "Logo Directory/Holiday/beach.jpg" logodirectory.xml; do
  cmp -s "$build/$f" "$app/$f" || fail "$f did not come along from the build folder"
done

# More of the user's files, as a run of the program leaves them, an edited shipped file,
# and a file an older version installed that this one no longer ships.
mkdir -p "$app/Temp"
echo '<options/>' >"$app/options.xml"
echo "f $app/oldhelp.hlp" >>"$app/.install-manifest"
echo old >"$app/oldhelp.hlp"
echo '<options/>' >"$app/options.xml.orig"
sed -i 's/localhost:8080/logos.example.com/' "$app/parameters.xml"
bash "$top/scripts/install.sh" "$build" >/dev/null
[[ "$(cat "$app/logodirectory.xml")" == '<logodirectory/>' ]] || fail "an upgrade changed logodirectory.xml"
[[ -f "$app/Logo Directory/Holiday/beach.jpg" && -d "$app/Temp" ]] || fail "an upgrade lost the user's pictures"
[[ ! -e "$app/oldhelp.hlp" ]] || fail "an upgrade left a file the new version does not ship"
grep -q logos.example.com "$app/parameters.xml" || fail "an upgrade replaced the user's edited parameters.xml"
cmp -s "$top/data/parameters.xml" "$app/parameters.xml.new" || fail "the shipped parameters.xml is not beside it"
cmp -s "$top/data/phoneslist.xml" "$app/phoneslist.xml" || fail "an upgrade did not install phoneslist.xml"
[[ "$(sed 's/^[fd] //' "$app/.install-manifest" | sort)" == \
  "$( (grep -vxF "$app/parameters.xml" <<<"$installed"; echo "$app/parameters.xml.new") | sort)" ]] ||
  fail "an upgrade installed other files"

bash "$top/scripts/uninstall.sh" >/dev/null
# The desktop tools this test runs (the validators, GIO's modules) may leave a cache folder.
left=$(cd "$tmp" && find . -mindepth 1 -not -path './build*' -not -path './home/.cache*' | sort)
expected=$(printf '%s\n' ./home ./home/.local ./home/.local/share ./home/.local/share/quillon \
  "./home/.local/share/quillon/Logo Directory" "./home/.local/share/quillon/Logo Directory/Holiday" \
  "./home/.local/share/quillon/Logo Directory/Holiday/beach.jpg" ./home/.local/share/quillon/Temp \
  ./home/.local/share/quillon/logodirectory.xml ./home/.local/share/quillon/options.xml \
  ./home/.local/share/quillon/options.xml.orig ./home/.local/share/quillon/parameters.xml | sort)
[[ "$left" == "$expected" ]] || fail "after the uninstall: $(diff <(echo "$expected") <(echo "$left") || true)"
# Without an install there is nothing to remove, and the script says so.
if bash "$top/scripts/uninstall.sh" 2>/dev/null; then fail "uninstalling twice succeeded"; fi
