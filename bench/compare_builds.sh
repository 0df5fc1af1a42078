#!/bin/sh
# Checks that two builds of the program write the same bytes: converts the
# corpus and the large document set with each, at every PNG compression
# setting and interlaced, through every stage, with the stored composite and drawn from layers,
# and compares every output file. Exits 1 when any file differs or exists
# on one side only.
# Usage: bench/compare_builds.sh OLD-PROGRAM NEW-PROGRAM [build-dir]
#   (the build dir holds make_bench_set; environment: CORPUS, LARGE=0 to
#   leave the large set out)
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
OLD=$(realpath "$1")
NEW=$(realpath "$2")
BUILD=$(cd "${3:-build}" && pwd)
CORPUS=${CORPUS:-$HERE/../../shared/psd-corpus/files}
SETS="$CORPUS"
if [ "${LARGE:-1}" != 0 ]; then
  cmake --build "$BUILD" --target make_bench_set >/dev/null
  if [ ! -f "$BUILD/bench-set/.complete" ] || [ "$BUILD/make_bench_set" -nt "$BUILD/bench-set/.complete" ]; then
    rm -rf "$BUILD/bench-set"
    "$BUILD/make_bench_set" "$BUILD/bench-set" >/dev/null
    touch "$BUILD/bench-set/.complete"
  fi
  SETS="$SETS $BUILD/bench-set"
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR="$WORK" XDG_CONFIG_HOME="$WORK/config" HOME="$WORK"
differing=0
compared=0
for set in $SETS; do
  for setting in none zlib1 zlib6 zlib9 interlaced stages watermark numbers; do
    for source in composite layers; do
      args="--png-compression=$setting"
      [ "$setting" = interlaced ] && args="--png-compression=zlib6 --png-interlaced"
      # Every stage the console reaches; the text watermark and a mask with
      # numbers on their own, so a change to either shows by itself.
      [ "$setting" = stages ] && args="--png-compression=zlib1 --rotation=33 --fit=300x240 --flip-vertical
        --brightness=12 --contrast=-20 --gamma=1.3
        --fr-solid-left=7 --fr-solid-top=3 --fr-solid-left-color=FF8000 --fr-solid-opacity=200"
      [ "$setting" = watermark ] && args="--png-compression=zlib1 --fit=400x400
        --wm-text=%filename%%eol%(c) --wm-text-position=bottomright --wm-text-rotation=15
        --wm-font-size=14 --wm-text-opacity=180"
      [ "$setting" = numbers ] && args="--png-compression=zlib1 --fit=64x64 --filename-mask=%filename%_%n%.%ext%"
      [ "$source" = layers ] && args="$args --render-layers"
      for side in old new; do
        program=$OLD; [ $side = new ] && program=$NEW
        rm -rf "$WORK/$side" && mkdir "$WORK/$side"
        # Failed documents are compared too: both sides must fail alike.
        "$program" -q --no-progress $args -i "$set" -o "$WORK/$side" >"$WORK/$side.log" 2>&1 || true
      done
      count=$(find "$WORK/old" -type f | wc -l)
      compared=$((compared + count))
      if ! diff -r -q "$WORK/old" "$WORK/new" >"$WORK/diff" || ! cmp -s "$WORK/old.log" "$WORK/new.log"; then
        differing=1
        echo "DIFFERENT: $(basename "$set") $setting $source"
        head -5 "$WORK/diff"
        diff "$WORK/old.log" "$WORK/new.log" | head -5 || true
      else
        echo "same: $(basename "$set") $setting $source ($count files)"
      fi
    done
  done
done
echo "$compared files compared"
exit $differing
