#!/bin/bash
# Takes the README screenshots: the conversion window at the end of a run,
# the main window with each file's result, and two preferences pages. Runs
# build/pixolune on a virtual X server with a window manager, imports a few
# documents (one of them cut short, so a failure shows), converts them with
# F5, then opens Converter > Preferences... on the Adjustment and Watermark
# pages.
# Needs xvfb, xdotool, openbox, ImageMagick and the document corpus.
# Usage: scripts/screenshot-dialogs.sh [out-folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
corpus=${PSD_CORPUS:-$root/../shared/psd-corpus/files}
work=/tmp/screenshot-dialogs
rm -rf "$work"
mkdir -p "$work/home/.config/pixolune" "$work/run" "$work/Pictures/Campaign 2026"
chmod 700 "$work/run"
trap 'rm -rf "$work"' EXIT
sources=(2layers group hidden-layer masks3 slices transparentbg-gimp)
i=0
for name in beach-sunset family-portrait harbour-at-night mountain-lake poster-draft-v2 spring-flyer; do
  cp "$corpus/${sources[$i]}.psd" "$work/Pictures/Campaign 2026/$name.psd"
  i=$((i + 1))
done
# A document cut short in its image data: it fails with the reader's reason.
head -c 9000 "$corpus/2layers.psd" > "$work/Pictures/Campaign 2026/studio-logo.psd"
ls "$work/Pictures/Campaign 2026"/*.psd > "$work/list.txt"
# A text watermark and a slight colour correction, so both pages show values.
printf '\xEF\xBB\xBF[Adjustment]\r\nImage Brightness=12\r\nImage Contrast=-8\r\nImage Gamma=1.2\r\n[Watermark]\r\nDo Watermark=1\r\nText=(c) Example Studio %%year%%\r\nFont=Liberation Sans\r\nFonts=Liberation Sans,Liberation Serif,DejaVu Sans\r\nFont Color=FF8000\r\n' \
  > "$work/home/.config/pixolune/config.ini"

cat > "$work/session.sh" <<SESSION
#!/bin/bash
export GSETTINGS_BACKEND=memory HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
openbox >/dev/null 2>&1 &
sleep 1
"$root/build/pixolune" &
app=\$!
win=\$(xdotool search --sync --name '^Pixolune ')
xdotool windowmove \$win 40 40 windowsize \$win 640 420
sleep 1
# File > Import Files..., then type the list's path into the requester.
xdotool windowactivate --sync \$win key F10 Down Down Down Down Return
sleep 1.5
xdotool type --delay 20 "$work/list.txt"
sleep 0.5
xdotool key Return
sleep 2.5
# Convert; the window stays open with the result.
xdotool windowactivate --sync \$win key F5
done=\$(xdotool search --sync --name '^Conversion (complete|finished)')
sleep 1
shot() {  # shot <window> <name>: the window with its frame.
  import -window root "$work/screen.png"
  frame=\$(xwininfo -tree -id \$1 | awk '/Parent window id/ {print \$4}')
  geometry=\$(xwininfo -id \$frame | awk '/Absolute upper-left X/ {x=\$4} /Absolute upper-left Y/ {y=\$4} /Width:/ {w=\$2} /Height:/ {h=\$2} END {print w "x" h "+" x "+" y}')
  convert "$work/screen.png" -crop "\$geometry" +repage "$out/\$2"
}
shot \$done conversion-window.png
xdotool windowactivate --sync \$done key Return
sleep 1
# The list with the status column after the run.
xdotool windowactivate --sync \$win mousemove --window \$win 200 160 click 1 mousemove 0 0
sleep 0.5
shot \$win main-window.png
# Converter > Preferences..., then the categories by keyboard.
xdotool windowactivate --sync \$win key F10 Right Right Down Down Down Down Return
prefs=\$(xdotool search --sync --name '^Preferences')
sleep 1
xdotool key Down Down Down Down Down
sleep 1
shot \$prefs preferences-adjustment.png
xdotool key Down Down
sleep 1
shot \$prefs preferences-watermark.png
xdotool key Escape
sleep 0.5
kill \$app
SESSION
chmod +x "$work/session.sh"
mkdir -p "$out"
xvfb-run -a -s '-screen 0 1024x768x24' "$work/session.sh"
echo "wrote $out/conversion-window.png $out/main-window.png $out/preferences-adjustment.png $out/preferences-watermark.png"
