# Shared by scripts/install.sh and scripts/uninstall.sh (sourced): where an install goes
# and what it remembers about the files it put there.
data="${XDG_DATA_HOME:-}"
[[ "$data" == /* ]] || data="$HOME/.local/share"
appdir="$data/quillon"
config="${XDG_CONFIG_HOME:-}"
[[ "$config" == /* ]] || config="$HOME/.config"
manifest="$appdir/.install-manifest"   # "f FILE" and "d FOLDER" lines: what the install made
sums="$appdir/.install-sums"           # sha256sum lines of the shipped data files as installed

sum_of() { P="$1" awk 'substr($0, 67) == ENVIRON["P"] { print $1; exit }' "$sums"; }

# A shipped file the user has edited since it was installed (its sum differs) is the
# user's now: an upgrade or uninstall leaves it alone.
edited() {
  [[ -f "$1" && -f "$sums" ]] || return 1
  local was
  was=$(sum_of "$1")
  [[ -n "$was" && "$was" != "$(sha256sum "$1" | cut -d' ' -f1)" ]]
}
