#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             the plain build in build/ and its whole suite
#   scripts/test.sh --sanitize  a build with AddressSanitizer and UndefinedBehaviorSanitizer
#                               in build-sanitize/, its whole suite, then every fuzz target
#                               for FUZZ_SECONDS (default 60) seconds each
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ "${1:-}" != "--sanitize" ]; then
  "$here/scripts/setup.sh"
  cd "$here/build"
  ctest --output-on-failure -j 2 --timeout 600
  exit 0
fi

"$here/scripts/setup.sh" --no-build
build=$here/build-sanitize
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build" -j 2

# A finding ends the program that made it with an error, so it fails its test. Leaks
# are reported too; the suppressions name only what the system libraries keep for good.
export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:suppressions=$here/scripts/asan.supp"
export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
(cd "$build" && ctest --output-on-failure -j 2 --timeout 1200) || status=1

# Each fuzz target from its committed corpus for a bounded time; new inputs and any
# crash go to its folder in the build tree.
seconds=${FUZZ_SECONDS:-60}
for exe in "$build"/fuzz/*/*_fuzz; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  work=$(dirname "$exe")
  corpus=$(find "$here" -path "$build" -prune -o -path "$here/build" -prune -o \
             -type d -name "${name%_fuzz}_corpus" -print | head -n 1)
  mkdir -p "$work/new"
  echo "fuzzing $name for ${seconds} s"
  if ! (cd "$work" && TMPDIR="$work" "$exe" -max_total_time="$seconds" -timeout=10 \
          -rss_limit_mb=2048 -artifact_prefix="$work/" "$work/new" $corpus >"$work/log" 2>&1); then
    echo "$name found a fault: see $work/log"; tail -n 40 "$work/log"; status=1
  fi
done
exit $status
