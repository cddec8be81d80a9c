#!/usr/bin/env bash
# Sets up the machine, builds, and runs the whole test suite: the normal
# build, then again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
jobs="${LUMORA_JOBS:-2}"

for kind in release asan; do
  echo "==== $kind build"
  "$root/scripts/build.sh" "$kind"
  echo "==== $kind tests"
  ctest --test-dir "$root/build/$kind" --output-on-failure -j "$jobs"
done
