#!/usr/bin/env bash
# Runs the demo job: every "Praha", in any letter case, in the .txt files of the demo
# tree beside this script (subdirectories included) becomes "Brno". The settings file
# job.ini and the changed files (out/, mirroring the tree) go to OUTDIR, by default a
# new temporary folder; the demo tree itself is never touched.
#
#   bash demo-job.sh [OUTDIR]
#
# QUORVEL_BATCH names the batch runner to use; by default quorvel-batch on the PATH.
set -euo pipefail
demo=$(cd "$(dirname "$0")/demo" && pwd)
out=${1:-$(mktemp -d "${TMPDIR:-/tmp}/quorvel-demo-XXXXXX")}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/out"
cat >"$out/job.ini" <<INI
[GENERAL]
Search=Praha
Replace=Brno
WorkDir=$demo
Subdirs=On
Extensions=txt
TargetDir=$out/out
OverFiles=On
OverSource=Off
CaseSensitive=Off
INI
echo "Demo job: $out/job.ini"
status=0
"${QUORVEL_BATCH:-quorvel-batch}" "$out/job.ini" </dev/null || status=$?
echo "Changed files are in $out/out:"
(cd "$out/out" 2>/dev/null && find . -type f | sort) || true
exit $status
