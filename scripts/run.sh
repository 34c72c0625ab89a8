#!/usr/bin/env bash
# Builds the program and runs its main job:
#   scripts/run.sh              with a display: opens the window for normal use;
#                               without one: runs the bundled demo job (examples/)
#   scripts/run.sh JOB.ini      runs the batch job of a saved settings file headless
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/deps.sh
cmake --preset default >/dev/null
if [ $# -eq 0 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build --parallel "$(nproc)" --target quorvel
  exec build/app/quorvel
fi
cmake --build build --parallel "$(nproc)" --target quorvel-batch
if [ $# -gt 0 ]; then
  exec build/app/quorvel-batch "$@"
fi

QUORVEL_BATCH=$top/build/app/quorvel-batch exec bash examples/demo-job.sh "$top/build/demo"
