#!/usr/bin/env bash
# Runs the program from its ready-to-run folder: scripts/run.sh [BUILD_DIR]
# With a display (X11 or Wayland) it starts the window; without one it says
# so and runs the same search from the shell over the sample folder.
set -euo pipefail
build=${1:-build}
dist=$build/dist
sample=$build/sample

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the window ($dist/mervok); the sample folder to search is $sample"
  exec "$dist/mervok"
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the window cannot start."
if [ ! -x "$dist/mervok-search" ]; then
  echo "mervok-search is not in $dist either; nothing to run."
  exit 1
fi
echo "Searching the sample folder $sample with mervok-search instead:"
set +e
"$dist/mervok-search" -r "$sample"
status=$?
set -e
# 1 only means that nothing was found.
[ "$status" -le 1 ] || exit "$status"
