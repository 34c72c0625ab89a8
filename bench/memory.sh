#!/usr/bin/env bash
# Peak memory of quorvel-batch over a tree that holds one 200 MB file of short lines.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build --target quorvel-batch >/dev/null

work=$(mktemp -d /tmp/quorvel-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tree"
python3 - "$work/tree/big.txt" <<'PY'
import sys
line = b"ahoj svete, kocour prede na peci\r\n"
with open(sys.argv[1], "wb") as f:
    block = line * 10000
    for _ in range(200 * 1000 * 1000 // len(block)):
        f.write(block)
PY
cat >"$work/job.ini" <<INI
[GENERAL]
Search=kocour
Replace=pes
WorkDir=$work/tree
Subdirs=On
TargetDir=$work/out
OverFiles=On
CaseSensitive=Off
INI
size=$(stat -c %s "$work/tree/big.txt")
/usr/bin/time -v build/app/quorvel-batch "$work/job.ini" </dev/null 2>"$work/time.txt" >/dev/null
peak=$(awk -F: '/Maximum resident/ {gsub(/ /, "", $2); print $2}' "$work/time.txt")
echo "largest file: $((size / 1024 / 1024)) MiB; peak resident: $((peak / 1024)) MiB;" \
     "limit 2.5 x file + 40 MB = $(( (size * 5 / 2) / 1024 / 1024 + 40 )) MiB"
