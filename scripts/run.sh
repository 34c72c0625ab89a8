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

demo=$top/build/demo
rm -rf "$demo/out"
mkdir -p "$demo"
cat >"$demo/job.ini" <<INI
[GENERAL]
Search=Praha
Replace=Brno
WorkDir=$top/examples/demo
Subdirs=On
Extensions=txt
TargetDir=$demo/out
OverFiles=On
OverSource=Off
CaseSensitive=Off
INI
echo "Demo job: $demo/job.ini"
status=0
build/app/quorvel-batch "$demo/job.ini" </dev/null || status=$?
echo "Changed files are in $demo/out:"
(cd "$demo/out" 2>/dev/null && find . -type f | sort) || true
exit $status
