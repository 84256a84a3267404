#!/usr/bin/env bash
# Copies the program's icons from the public-domain Tango icon theme: the scalable
# drawings beside the small hand-tuned pictures of the window (so icons stay sharp when
# the desktop scales), and the program icon at every size the desktop's icon theme
# looks for. Run from anywhere; needs tango-icon-theme and librsvg2-bin (rsvg-convert).
# The results are committed, so neither is needed to build.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
tango=/usr/share/icons/Tango
res="$top/src/app/ui/resources"

# resource name -> Tango icon
declare -A icons=(
  [about]=status/dialog-information [convert]=mimetypes/image-x-generic [delete]=actions/edit-delete
  [exit]=actions/system-log-out [fittopane]=actions/view-fullscreen [grab]=devices/video-display
  [help]=apps/help-browser [newfolder]=actions/folder-new [open]=actions/document-open
  [options]=categories/preferences-system [quillon]=apps/preferences-desktop-wallpaper
  [rename]=apps/accessories-text-editor [rotate]=actions/view-refresh [save]=actions/document-save
  [sendtofriend]=actions/mail-forward [tree_folder]=places/folder [tree_logo]=mimetypes/image-x-generic
  [twain]=devices/camera-photo [uploadtool]=actions/go-up
)
for name in "${!icons[@]}"; do
  cp "$tango/scalable/${icons[$name]}.svg" "$res/$name.svg"
done

# The desktop's icon theme: Tango's own pictures where it has the size, the drawing
# rendered where it has not.
app=apps/preferences-desktop-wallpaper
theme="$top/desktop/icons/hicolor"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$theme/${size}x${size}/apps"
  out="$theme/${size}x${size}/apps/org.quillon.Quillon.png"
  if [[ -f "$tango/${size}x${size}/$app.png" ]]; then
    cp "$tango/${size}x${size}/$app.png" "$out"
  else
    rsvg-convert -w "$size" -h "$size" "$tango/scalable/$app.svg" -o "$out"
  fi
done
mkdir -p "$theme/scalable/apps"
cp "$tango/scalable/$app.svg" "$theme/scalable/apps/org.quillon.Quillon.svg"
