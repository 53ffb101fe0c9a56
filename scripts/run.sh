#!/usr/bin/env bash
# Runs the program from a ready-to-run folder.
set -euo pipefail
dist=${1:-build/dist}
echo "Built into $dist:"
ls "$dist"
