#!/usr/bin/env bash
# Files per second reading the metadata of the same 10,000 WAV files: the chunk readers
# in process (riffinfo_bench), and sox --i (one sox process for all the files, so process
# start-up is paid once).
#   bench/riffinfo_vs_sox.sh [BUILD-DIR] [COUNT]
set -euo pipefail
build=${1:-build}
count=${2:-10000}
bench=$build/bin/riffinfo_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" --make-files "$work/files" "$count"
echo "== chunk readers (in process, $count files per iteration)"
"$bench" --benchmark_min_time=2 2>/dev/null | grep -E "^BM_|Benchmark"

echo "== sox --i on the same $count files"
start=$(date +%s.%N)
find "$work/files" -name '*.wav' -print0 | xargs -0 sox --i >/dev/null
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v n="$count" \
    'BEGIN { t = e - s; printf "sox --i: %.2f s, %.0f files/s\n", t, n / t }'
