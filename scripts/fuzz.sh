#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each over its seed corpus for a bounded
# time (seconds per target: first argument, default 60). New inputs go to a scratch
# folder, so the committed corpora change only by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_FUZZ=ON -DQUORVEL_BUILD_UI=OFF \
  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --parallel "$(nproc)"

scratch=$(mktemp -d /tmp/quorvel-fuzz-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
status=0
for target in lines extension_filter numbers profile wildcard; do
  mkdir -p "$scratch/$target"
  echo "== fuzz_$target for ${seconds}s"
  if ! (cd "$scratch" && "$OLDPWD/build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" \
        -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        "$scratch/$target" "$OLDPWD/fuzz/corpus/$target" 2>"$scratch/$target.log"); then
    tail -n 60 "$scratch/$target.log"
    status=1
  fi
  grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$scratch/$target.log" | tail -n 2 || true
done
exit $status
