#!/usr/bin/env bash
# Runs every libFuzzer harness of fuzz/ for a while and reports what it did.
#   scripts/fuzz.sh [seconds per harness, default 60] [harness names...]
# Builds the harnesses into build/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer. Each harness starts from its seed corpus in
# fuzz/corpus/<name>/ and keeps what it finds in build/fuzz/corpus/<name>/;
# an input that breaks an invariant or trips a sanitizer is saved as
# build/fuzz/findings/<name>/crash-*. Prints executions and findings per
# harness; exits 1 when any harness found something.
#
# Needs clang and libFuzzer, which the normal build does not; on Debian:
#   apt-get install clang libclang-rt-14-dev
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"; shift || true
dir="$root/build/fuzz"
jobs="${LUMORA_JOBS:-2}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"

case "$seconds" in
  ''|*[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

cxx="${LUMORA_FUZZ_CXX:-clang++}"
cc="${LUMORA_FUZZ_CC:-clang}"
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz.sh: needs clang ($cxx not found). On Debian: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  >"$probe/probe.cpp"
if ! "$cxx" -fsanitize=fuzzer,address "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
  echo "fuzz.sh: $cxx cannot link libFuzzer. On Debian: apt-get install libclang-rt-14-dev" >&2
  exit 2
fi

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DLUMORA_SANITIZE=address,undefined -DLUMORA_BUILD_FUZZ=ON \
    -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_BENCH=OFF
fi
cmake --build "$dir" -j "$jobs" --target fuzz_all

if [ "$#" -gt 0 ]; then
  harnesses=("$@")
else
  harnesses=()
  for seeds in "$root"/fuzz/corpus/*/; do harnesses+=("$(basename "$seeds")"); done
fi

# Leak checks are off: the harnesses run code that keeps process-wide state.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen VEXLINK_NO_HID=1 VEXLINK_DEVICES=

failed=0
printf '%-22s %12s %10s %8s  %s\n' harness executions "exec/s" corpus findings
for name in "${harnesses[@]}"; do
  bin="$dir/bin/$name"
  seeds="$root/fuzz/corpus/$name"
  if [ ! -x "$bin" ] || [ ! -d "$seeds" ]; then
    echo "fuzz.sh: no harness or seed corpus named $name" >&2
    failed=1
    continue
  fi
  corpus="$dir/corpus/$name"
  findings="$dir/findings/$name"
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  log="$dir/findings/$name.log"
  status=0
  "$bin" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    -timeout=10 -rss_limit_mb=2048 "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
  size="$(find "$corpus" -type f | wc -l)"
  found="$(find "$findings" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    printf '%-22s %12s %10s %8s  %s (exit %s, see %s)\n' "$name" "${executions:-?}" "${rate:-?}" "$size" "$found" "$status" "$log"
  else
    printf '%-22s %12s %10s %8s  %s\n' "$name" "${executions:-?}" "${rate:-?}" "$size" 0
  fi
done
exit "$failed"
