#!/bin/sh
# Throughput against peers (make bench). Converts two sets of Photoshop
# documents to PNG, without compression and at zlib level 6, with:
#   - Pixolune's console mode (helpers on every core, and --jobs=1),
#   - ImageMagick's mogrify (installed from Debian when missing),
#   - freeimage_floor: one process loading and saving each file with
#     FreeImage, the floor of the libraries Pixolune is built on.
# The sets: 24 large documents written by make_bench_set (generated once into
# <build-dir>/bench-set) and the real corpus ../shared/psd-corpus/files.
# Each run's output size is recorded; after the rounds, single documents of
# the large set are converted at zlib level 6 on one core and on two.
# Every round runs every program once per setting on the large set and on its
# 8-bit documents alone, and three times on the corpus, in a rotating order, so all of them meet the same
# load; the table holds the median of the runs. Writes bench/results.md and prints it; then measures what helper
# processes cost (bench/isolation.sh) unless ISOLATION=0.
# Usage: bench/run.sh [build-dir]   (environment: ROUNDS=3, CORPUS, RESULTS)
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "${1:-build}" && pwd)
ROUNDS=${ROUNDS:-3}
CORPUS=${CORPUS:-$HERE/../../shared/psd-corpus/files}
RESULTS=${RESULTS:-$HERE/results.md}
LARGE=$BUILD/bench-set
BIN=$BUILD/pixolune
FLOOR=$BUILD/freeimage_floor

[ -x "$BIN" ] || { echo "build $BIN first (make build)"; exit 1; }
[ -d "$CORPUS" ] || { echo "no corpus at $CORPUS"; exit 1; }

# ImageMagick from Debian, when it is not there yet.
if ! command -v mogrify >/dev/null 2>&1; then
  echo "installing ImageMagick (apt-get install imagemagick)"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi
cmake --build "$BUILD" --target make_bench_set freeimage_floor >/dev/null

# The large set, written again only when its generator changed.
if [ ! -f "$LARGE/.complete" ] || [ "$BUILD/make_bench_set" -nt "$LARGE/.complete" ]; then
  echo "writing the large set into $LARGE (about 850 MB, once)"
  rm -rf "$LARGE"
  "$BUILD/make_bench_set" "$LARGE" >/dev/null
  touch "$LARGE/.complete"
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR="$WORK" XDG_CONFIG_HOME="$WORK/config"
RAW=$WORK/raw
: >"$RAW"
# The 8-bit documents of the large set on their own: the cheaper work, where the
# programs' 16-bit output does not weigh in.
mkdir "$WORK/large8"
for f in "$LARGE"/*-rgb8-* "$LARGE"/*-grey8-* "$LARGE"/*-cmyk8-*; do ln -s "$f" "$WORK/large8/"; done
cat "$LARGE"/*.psd >/dev/null  # The sets in the file cache before the first run.
find "$CORPUS" -type f -name '*.psd' -exec cat {} + >/dev/null

# One run of program $3 over set $1 ("large", "large8" or "corpus") at setting $2
# ("none" or "zlib6"); appends its line to the raw figures.
one_run() {
  set_name=$1 setting=$2 program=$3
  case $set_name in large) dir=$LARGE ;; large8) dir=$WORK/large8 ;; *) dir=$CORPUS ;; esac
  level=0; [ "$setting" = none ] || level=6
  out=$WORK/out
  rm -rf "$out" && mkdir "$out"
  find -L "$dir" -type f -name '*.psd' | sort >"$WORK/list"
  case $program in
    pixolune) set -- "$BIN" -i "$dir" -o "$out" -c png --png-compression="$setting" -q ;;
    pixolune-1) set -- "$BIN" -i "$dir" -o "$out" -c png --png-compression="$setting" -q --jobs=1 ;;
    floor) set -- "$FLOOR" "$out" "$setting" ;;
    mogrify) set -- mogrify -path "$out" -format png -define png:compression-level="$level" ;;
  esac
  # The floor and mogrify take the files as arguments; mogrify reads only the
  # composite ("[0]"), not every layer as a picture of its own.
  if [ "$program" = floor ]; then
    while read -r f; do set -- "$@" "$f"; done <"$WORK/list"
  elif [ "$program" = mogrify ]; then
    while read -r f; do set -- "$@" "$f[0]"; done <"$WORK/list"
  fi
  figures=$(python3 "$HERE/measure.py" "$@")
  written=$(find "$out" -type f -name '*.png' | wc -l)
  bytes=$(find "$out" -type f -name '*.png' -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  echo "$set_name $setting $program $(wc -l <"$WORK/list") $written $figures $bytes" >>"$RAW"
  echo "  $set_name $setting $program: $figures $bytes (seconds, peak KiB, other load, status, output bytes)"
}

# One document of the large set converted at zlib level 6 on one core and on
# two (taskset), to see one large image spread over the cores; appends to
# the single-document figures.
SINGLE=$WORK/single
: >"$SINGLE"
single_run() {
  doc=$1 cores=$2
  rm -rf "$WORK/out" && mkdir "$WORK/out"
  cpus=0; [ "$cores" = 1 ] || cpus=0-$((cores - 1))
  figures=$(python3 "$HERE/measure.py" taskset -c "$cpus" "$BIN" -i "$LARGE/$doc.psd" -o "$WORK/out" -c png \
    --png-compression=zlib6 -q)
  echo "$doc $cores $figures" >>"$SINGLE"
  echo "  $doc on $cores core(s): $figures"
}

# The programs in turn, starting with the $1-th (rotating the order, so no
# program always runs first or last).
rotated() {
  order="pixolune pixolune-1 floor mogrify"
  i=1
  while [ "$i" -lt "$1" ]; do order="$(echo "$order" | cut -d' ' -f2-) $(echo "$order" | cut -d' ' -f1)"; i=$((i + 1)); done
  echo "$order"
}

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
round=1
while [ "$round" -le "$ROUNDS" ]; do
  echo "round $round of $ROUNDS"
  for setting in none zlib6; do
    for program in $(rotated "$round"); do one_run large "$setting" "$program"; done
    for program in $(rotated $((round + 1))); do one_run large8 "$setting" "$program"; done
    # The corpus takes about a second: three passes a round steady its median.
    for pass in 0 1 2; do
      for program in $(rotated $((round + pass))); do one_run corpus "$setting" "$program"; done
    done
  done
  round=$((round + 1))
done
# Single documents: one of each kind, seven times a round, one core and two in
# turn. A run takes a fifth of a second, and on a shared virtual machine the
# second core's speed swings from run to run; many runs steady the medians.
SINGLE_DOCS="01-rgb8-raw 05-rgb8-alpha-raw 09-rgb16-raw 17-grey8-raw 21-cmyk8-raw"
echo "single documents at zlib level 6, one core against two"
pass=1
while [ "$pass" -le $((ROUNDS * 7)) ]; do
  for doc in $SINGLE_DOCS; do
    if [ $((pass % 2)) = 1 ]; then single_run "$doc" 1; single_run "$doc" 2; else single_run "$doc" 2; single_run "$doc" 1; fi
  done
  pass=$((pass + 1))
done
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

python3 "$HERE/report.py" "$RAW" "$ROUNDS" "$LOAD_BEFORE" "$LOAD_AFTER" "$("$BIN" --version 2>&1 | head -1)" \
  "$(mogrify -version | head -1)" "$SINGLE" >"$RESULTS"
cat "$RESULTS"

if [ "${ISOLATION:-1}" != 0 ]; then
  echo
  echo "What helper processes cost (bench/isolation.sh):"
  "$HERE/isolation.sh" "$BUILD" 5 | tee "$WORK/isolation"
  { echo; echo "## Helper processes against in-process conversion (real corpus, default settings)"; echo
    echo '```'; cat "$WORK/isolation"; echo '```'; } >>"$RESULTS"
fi
