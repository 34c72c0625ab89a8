#!/usr/bin/env bash
# BuildFileList over 100,000 empty files in 1,000 directories, against find.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build --target quorvel_bench_listing >/dev/null

tree=$(mktemp -d /tmp/quorvel-listing-XXXXXX)
trap 'rm -rf "$tree"' EXIT
python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(1000):
    path = os.path.join(root, f"d{d // 100:02d}", f"s{d:04d}")
    os.makedirs(path)
    for f in range(100):
        open(os.path.join(path, f"f{f:03d}.txt"), "wb").close()
PY
sync
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for _ in 1 2 3 4 5; do
  t0=$(date +%s.%N); n=$(find "$tree" -type f | wc -l); t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l >>"$tree.find"
  build/bench/quorvel_bench_listing "$tree" | awk '{print $4}' >>"$tree.list"
done
echo "find -type f | wc -l: $n files, median $(median <"$tree.find") s"
echo "BuildFileList:        $(build/bench/quorvel_bench_listing "$tree" | cut -d' ' -f1) files, median $(median <"$tree.list") s"
rm -f "$tree.find" "$tree.list"
