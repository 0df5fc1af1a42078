#!/usr/bin/env bash
# Generates sample Photoshop documents and converts them with the real
# command line into demo-out/.
set -euo pipefail
build=${1:-build}
rm -rf demo-in demo-out
mkdir -p demo-out
echo "== Writing sample documents into demo-in/"
"$build/make_samples" demo-in
echo
echo "== Converting: $build/pixolune -i $PWD/demo-in -o $PWD/demo-out"
status=0
"$build/pixolune" -i "$PWD/demo-in" -o "$PWD/demo-out" || status=$?
echo
echo "== Written files"
find demo-out -type f -name '*.png' | sort | while read -r f; do
  printf '%s  %s bytes\n' "$f" "$(stat -c %s "$f")"
done
exit $status
