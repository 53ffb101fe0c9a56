#!/usr/bin/env bash
# Runs the program from its ready-to-run folder: scripts/run.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
dist=$build/dist
sample=$build/sample

echo "Searching the sample folder $sample with mervok-search:"
set +e
"$dist/mervok-search" -r "$sample"
status=$?
set -e
# 1 only means that nothing was found.
[ "$status" -le 1 ] || exit "$status"
