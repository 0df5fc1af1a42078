#!/bin/sh
# Benchmarks of the console mode (make bench). For now: what converting in
# helper processes costs against converting in-process, and what parallel
# helpers gain, on the real corpus.
# Usage: bench/run.sh [build-dir]
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
"$HERE/isolation.sh" "${1:-build}" 7
