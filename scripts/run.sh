#!/usr/bin/env bash
# Builds the program and starts it. Without an argument the window opens for normal
# use; with the path of a settings file the program performs that batch job and ends.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset default -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build --parallel "$(nproc)" --target quorvel quorvel-batch
exec build/app/quorvel "$@"
