#!/bin/sh
# What converting in helper processes costs: converts the real corpus with
# the console mode, in helper processes (as the program always does) and in
# the program's own process, alternating, and prints files per second (the
# median of the rounds) for both.
# Usage: bench/isolation.sh [build-dir] [rounds]
set -eu
BUILD=${1:-build}
ROUNDS=${2:-5}
HERE=$(cd "$(dirname "$0")" && pwd)
CORPUS=${CORPUS:-$HERE/../../shared/psd-corpus/files}
BIN=$BUILD/pixolune
[ -x "$BIN" ] || { echo "build $BIN first (make build)"; exit 1; }
[ -d "$CORPUS" ] || { echo "no corpus at $CORPUS"; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR="$WORK" XDG_CONFIG_HOME="$WORK/config"
FILES=$(find "$CORPUS" -type f -name '*.psd' | wc -l)

# Seconds one console run over the corpus takes; $1 is "1" for in-process,
# $2 the number of helpers working at once.
one_run() {
  rm -rf "$WORK/out" && mkdir "$WORK/out"
  start=$(date +%s.%N)
  PIXOLUNE_IN_PROCESS=$1 "$BIN" -i "$CORPUS" -o "$WORK/out" -q --jobs="$2" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$WORK/isolated"; : >"$WORK/inprocess"; : >"$WORK/parallel"
CORES=$(nproc)
one_run 0 1 >/dev/null  # Warm the file cache.
i=0
while [ "$i" -lt "$ROUNDS" ]; do
  one_run 0 1 >>"$WORK/isolated"
  one_run 1 1 >>"$WORK/inprocess"
  one_run 0 "$CORES" >>"$WORK/parallel"
  i=$((i + 1))
done
ISO=$(median <"$WORK/isolated")
INP=$(median <"$WORK/inprocess")
PAR=$(median <"$WORK/parallel")
printf 'corpus: %s files, %s rounds, median of each\n' "$FILES" "$ROUNDS"
printf '%-22s %8.3f s  %8.1f files/s\n' "one helper" "$ISO" "$(echo "$FILES / $ISO" | bc -l)"
printf '%-22s %8.3f s  %8.1f files/s\n' "in-process" "$INP" "$(echo "$FILES / $INP" | bc -l)"
printf '%-22s %8.3f s  %8.1f files/s\n' "$CORES helpers" "$PAR" "$(echo "$FILES / $PAR" | bc -l)"
printf 'isolation throughput: %.1f %% of in-process\n' "$(echo "100 * $INP / $ISO" | bc -l)"
