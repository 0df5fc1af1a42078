#!/usr/bin/env bash
# Runs every fuzz target built in BUILD_DIR (make fuzz builds them) for
# SECONDS seconds each, seeded with the real documents of the corpus beside
# the project. New inputs the fuzzer finds stay in BUILD_DIR/fuzz-work; an
# input that crashes a target is left there as crash-* and fails the run.
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
seconds=${2:-60}
corpus=${PIXOLUNE_CORPUS_FILES:-../shared/psd-corpus/files}
work=$build/fuzz-work
mkdir -p "$work"
if [ -d "$corpus" ]; then
  corpus=$(cd "$corpus" && pwd)
else
  echo "fuzz: no corpus at $corpus; the document targets start from the made seeds only"
  corpus=
fi
python3 scripts/fuzz_seeds.py "${corpus:-/nonexistent}" "$work/seeds"
# Tiny documents of our own writer, so the document targets have seeds without the corpus.
"$build/fuzz_make_seeds" "$work/seeds/documents"

failed=0
for target in "$build"/*_fuzz; do
  name=$(basename "$target" _fuzz)
  case $name in
    descriptor|packbits) seeds=("$work/seeds/$name") ;;
    *) seeds=("$work/seeds/documents" ${corpus:+"$corpus"}) ;;
  esac
  mkdir -p "$work/$name"
  log=$work/$name.log
  start=$(date +%s)
  if (cd "$work" && "$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$name-" -print_final_stats=1 "$work/$name" "${seeds[@]}") >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    echo "fuzz $name: ${runs:-?} inputs in $(( $(date +%s) - start )) s, no fault"
  else
    echo "fuzz $name: FAULT (log $log)"
    grep -E '^(==|SUMMARY|#|.*runtime error|artifact_prefix|Test unit written)' "$log" | tail -30 || tail -30 "$log"
    failed=1
  fi
done
exit $failed
