#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR (prefix /usr) and checks what
# a user gets: the installed program runs, converts through the installed
# helper, finds its manual and themes in share/pixolune, and the desktop
# entry, metainfo and manual page pass their validators. Leaves nothing
# behind, and keeps the build folder's install manifest (make uninstall).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
manifest="$build/install_manifest.txt"
saved_manifest=""
[ -f "$manifest" ] && saved_manifest="$work/manifest" && cp "$manifest" "$saved_manifest"
finish() {
  if [ -n "$saved_manifest" ]; then cp "$saved_manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
pass() { echo "check-install: ok: $*"; }
# "W x H" of a PNG file, empty when it is none.
png_size() {
  [ "$(od -An -tx1 -N8 "$1" | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%d x %d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

root="$work/root"
usr="$root/usr"
DESTDIR="$root" cmake --install "$build" --prefix /usr --strip >/dev/null

# Every installed file is where users and desktops look for it.
for file in bin/pixolune lib/pixolune/pixolune-helper lib/pixolune/pixolune-window.so \
            share/pixolune/gfx/handdrawn.zip share/pixolune/vemarkt.html share/man/man1/pixolune.1.gz \
            share/bash-completion/completions/pixolune share/zsh/vendor-completions/_pixolune \
            share/fish/vendor_completions.d/pixolune.fish \
            share/applications/example.quorvant.pixolune.desktop \
            share/metainfo/example.quorvant.pixolune.metainfo.xml \
            share/icons/hicolor/scalable/apps/pixolune.svg; do
  [ -f "$usr/$file" ] || fail "missing /usr/$file"
done
for size in 16 22 24 32 48 64 128 256; do
  png="$usr/share/icons/hicolor/${size}x${size}/apps/pixolune.png"
  [ -f "$png" ] || fail "missing icon $png"
  [ "$(png_size "$png")" = "$size x $size" ] || fail "$png is not a $size x $size PNG"
done
pass "files in place"

# The installed program, isolated from the build tree and the user's files.
home="$work/home"
mkdir -p "$home/config" "$home/runtime"
chmod 700 "$home/runtime"
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" "$@"
}
version=$(run "$usr/bin/pixolune" --version)
[ "$version" = "pixolune 2.8" ] || fail "--version printed '$version'"
pass "$version"

# Where the program finds its parts: the installed places, as the window's
# Manual command and theme list use them.
expected="helper: $usr/lib/pixolune/pixolune-helper
window-module: $usr/lib/pixolune/pixolune-window.so
themes: $usr/share/pixolune/gfx/
manual: $usr/share/pixolune/vemarkt.html"
paths=$(run "$usr/bin/pixolune" --internal-install-paths)
[ "$paths" = "$expected" ] || fail "the parts are looked for elsewhere:
$paths"
pass "manual, themes, helper and window module found in the installed tree"

# A conversion, through the installed helper (strace shows what was started).
mkdir -p "$work/in" "$work/out"
"$build/make_samples" "$work/in" >/dev/null
document=$(find "$work/in" -name '*.psd' | sort | head -n 1)
[ -n "$document" ] || fail "make_samples wrote no document"
if command -v strace >/dev/null; then
  run strace -f -qq -e trace=execve -e signal=none -o "$work/trace" \
    "$usr/bin/pixolune" -q -i "$document" -o "$work/out" || fail "the installed program did not convert $document"
  grep -q "execve(\"$usr/lib/pixolune/pixolune-helper\"" "$work/trace" ||
    fail "the conversion did not run the installed helper: $(grep execve "$work/trace")"
  pass "converted $(basename "$document") with $usr/lib/pixolune/pixolune-helper"
else
  run "$usr/bin/pixolune" -q -i "$document" -o "$work/out" || fail "the installed program did not convert $document"
  echo "check-install: strace is not installed: the helper used was not checked"
fi
png="$work/out/$(basename "${document%.*}").png"
[ -n "$(png_size "$png")" ] || fail "no PNG written: $png"

# The validators of the desktop files and of the manual page.
desktop-file-validate "$usr/share/applications/example.quorvant.pixolune.desktop" || fail "desktop-file-validate"
pass "desktop-file-validate"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$usr/share/metainfo/example.quorvant.pixolune.metainfo.xml" >"$work/appstream" 2>&1 ||
    { cat "$work/appstream"; fail "appstreamcli validate"; }
  pass "appstreamcli validate"
fi
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man1/pixolune.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"
pass "man --warnings -l"

# The bash completion offers options and keywords.
offered=$(bash -c 'source "$1"; COMP_WORDS=(pixolune --png-compression = z)
  COMP_CWORD=3; _pixolune; echo "${COMPREPLY[*]}"' _ "$usr/share/bash-completion/completions/pixolune")
[ "$offered" = "zlib1 zlib6 zlib9" ] || fail "bash completion offered '$offered'"
pass "bash completion"
echo "check-install: all checks passed"
