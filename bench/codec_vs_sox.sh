#!/usr/bin/env bash
# Compression speed on ten minutes of 16-bit 8000 Hz speech (espeak-ng): tdtool convert
# to GSM 6.10 and to Microsoft ADPCM, side by side with sox doing the same conversion in
# one run; and the decoding of the GSM file for playback (codec_bench). Each figure is the
# best of three runs, since the machine may be shared.
#   bench/codec_vs_sox.sh [BUILD-DIR]
set -euo pipefail
build=${1:-build}
tdtool=$build/bin/tdtool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

espeak-ng -w "$work/s.wav" "Recordings are compressed before mailing, and imported sounds are \
converted to the recorder's format. Seven silver swans swam silently seaward."
sox "$work/s.wav" -r 8000 -b 16 "$work/s8.wav"
reps=$(awk -v d="$(sox --i -D "$work/s8.wav")" 'BEGIN { print int(600 / d) }')
sox "$work/s8.wav" "$work/speech.wav" repeat "$reps"
seconds=$(sox --i -D "$work/speech.wav")
echo "== $seconds s of speech, 16-bit 8000 Hz mono"

best() {  # best OUT-FILE COMMAND...: the shortest wall time of three runs, in seconds
    local out=$1 t b=""
    shift
    for _ in 1 2 3; do
        rm -f "$out"
        local s e
        s=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s.%N)
        t=$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')
        b=$(awk -v t="$t" -v b="$b" 'BEGIN { print (b == "" || t < b) ? t : b }')
    done
    echo "$b"
}

for f in gsm adpcm; do
    case $f in gsm) enc=gsm-full-rate ;; adpcm) enc=ms-adpcm ;; esac
    ours=$(best "$work/o.wav" "$tdtool" convert "$work/speech.wav" "$work/o.wav" --format $f)
    theirs=$(best "$work/x.wav" sox "$work/speech.wav" -e $enc "$work/x.wav")
    awk -v f=$f -v o="$ours" -v t="$theirs" -v s="$seconds" 'BEGIN {
        printf "%-6s tdtool convert %.3f s (%.0fx real time)   sox %.3f s (%.0fx)   ratio %.2f\n",
               f, o, s / o, t, s / t, o / t }'
done

echo "== decoding for playback"
sox "$work/speech.wav" -e gsm-full-rate "$work/speech-gsm.wav"
CODEC_BENCH_FILE="$work/speech-gsm.wav" "$build/bin/codec_bench" --benchmark_min_time=1 \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
    grep -E "^BM_|Benchmark"
