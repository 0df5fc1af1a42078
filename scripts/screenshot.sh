#!/bin/bash
# Takes the README screenshot of the main window: runs build/pixolune on a
# virtual X server with a window manager, imports a short list of documents
# through File > Import Files..., and crops the screen to the window.
# Needs xvfb, xdotool, openbox and ImageMagick. Usage: scripts/screenshot.sh [out.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/main-window.png}
# A fixed, short folder: its name shows in the list.
work=/tmp/screenshot
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config" "$work/run" "$work/Pictures/Campaign 2026" "$work/Pictures/out"
chmod 700 "$work/run"
for name in beach-sunset family-portrait harbour-at-night mountain-lake poster-draft-v2 spring-flyer studio-logo; do
  head -c 4096 /dev/zero > "$work/Pictures/Campaign 2026/$name.psd"
done
ls "$work/Pictures/Campaign 2026"/*.psd > "$work/list.txt"

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
xdotool mousemove --window \$win 200 160 click 1 mousemove 0 0
sleep 0.5
import -window root "$work/screen.png"
frame=\$(xwininfo -tree -id \$win | awk '/Parent window id/ {print \$4}')
xwininfo -id \$frame > "$work/frame"
kill \$app
SESSION
chmod +x "$work/session.sh"
xvfb-run -a -s '-screen 0 1024x768x24' "$work/session.sh"
# The window with the frame the window manager draws around it.
x=$(awk '/Absolute upper-left X/ {print $4}' "$work/frame")
y=$(awk '/Absolute upper-left Y/ {print $4}' "$work/frame")
w=$(awk '/Width:/ {print $2}' "$work/frame")
h=$(awk '/Height:/ {print $2}' "$work/frame")
mkdir -p "$(dirname "$out")"
convert "$work/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out"
