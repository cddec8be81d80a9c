#!/usr/bin/env bash
# Plugs and unplugs virtual units into running programs, many times over.
#   scripts/soak.sh [cycles, default 200] [tree: release (default), asan, tsan]
#
# Starts LumoraTuner (against a virtual Osprey, its tabs cycling so that the
# streaming pages come and go) and LumoraTester (no unit), both offscreen and
# each with its own control socket. Every cycle plugs a unit into the tester
# (Osprey and Heron in turn), waits until the tester has opened it, unplugs
# it, and plugs and unplugs a unit beside the tuner's controller; every ten
# cycles the tuner must have called its controller meanwhile (its window is
# alive). At the end both programs are stopped.
#
# Fails on a crash, a hang (a unit not taken up, a tuner that stopped calling
# its controller), an error answer of a control socket, a sanitizer report,
# and on growth of resident memory, open files or threads past the first
# cycles. Prints those figures at the end of the warm-up, half way and at the
# end. Under ThreadSanitizer the suppressions of cmake/tsan.supp apply.
# LUMORA_BIN_DIR runs the programs of another folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cycles="${1:-200}"
tree="${2:-release}"
case "$cycles" in
  ''|*[!0-9]*|0) echo "soak.sh: cycles must be a whole number above 0, not '$cycles'" >&2; exit 2 ;;
esac

if [ -n "${LUMORA_BIN_DIR:-}" ]; then
  bin="$LUMORA_BIN_DIR"
else
  "$root/scripts/build.sh" "$tree" LumoraTuner LumoraTester vexlink-ctl
  bin="$root/build/$tree/bin"
fi
for program in LumoraTuner LumoraTester vexlink-ctl; do
  [ -x "$bin/$program" ] || { echo "soak.sh: $bin/$program not found" >&2; exit 1; }
done

# Sanitizer trees are slower: the waits grow with them.
wait_s=30
case "$tree" in tsan|asan) wait_s=120 ;; esac
warmup=$(( cycles / 10 ))
[ "$warmup" -ge 5 ] || warmup=5
[ "$warmup" -lt "$cycles" ] || warmup=$(( cycles - 1 ))
middle=$(( (warmup + cycles) / 2 ))

work="$(mktemp -d /tmp/lumora-soak.XXXXXX)"
tuner_pid="" tester_pid=""
cleanup() {
  for pid in $tuner_pid $tester_pid; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in $tuner_pid $tester_pid; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# On a failure the programs' logs are kept in build/soak-logs/.
fail() {
  echo "soak.sh: FAIL: $*" >&2
  mkdir -p "$root/build/soak-logs"
  for log in "$work"/*.log; do
    cp "$log" "$root/build/soak-logs/"
    [ -s "$log" ] || continue
    echo "---- $(basename "$log") (last lines; whole in build/soak-logs/)" >&2
    tail -n 40 "$log" >&2
  done
  exit 1
}

# The programs' single-instance locks live in the user's runtime folder: a
# folder of this run keeps them apart from programs running elsewhere.
mkdir -m 700 "$work/runtime"
common=(QT_QPA_PLATFORM=offscreen VEXLINK_NO_HID=1 XDG_RUNTIME_DIR="$work/runtime"
        TSAN_OPTIONS="suppressions=$root/cmake/tsan.supp ${TSAN_OPTIONS:-}"
        ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}")
env "${common[@]}" VEXLINK_DEVICES=osprey VEXLINK_CONTROL="$work/tuner.sock" LUMORA_TAB_CYCLE_MS=400 \
  "$bin/LumoraTuner" >"$work/tuner.log" 2>&1 &
tuner_pid=$!
env "${common[@]}" VEXLINK_DEVICES= VEXLINK_CONTROL="$work/tester.sock" \
  "$bin/LumoraTester" >"$work/tester.log" 2>&1 &
tester_pid=$!

ctl() {  # ctl <socket> <command...>: prints the answer, fails the run on an error answer
  local socket="$1"; shift
  local out
  out="$(timeout "$wait_s" "$bin/vexlink-ctl" -s "$socket" "$@" 2>&1)" ||
    fail "vexlink-ctl $* on $(basename "$socket"): ${out:-no answer}"
  printf '%s\n' "$out"
}

alive() {
  kill -0 "$tuner_pid" 2>/dev/null || fail "LumoraTuner ended (see its log)"
  kill -0 "$tester_pid" 2>/dev/null || fail "LumoraTester ended (see its log)"
}

# Waits until <predicate command...> holds, or fails with <what>.
wait_for() {
  local what="$1"; shift
  local deadline=$(( SECONDS + wait_s ))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$what"
    alive
    sleep 0.05
  done
}

socket_up() { [ -S "$work/tuner.sock" ] && [ -S "$work/tester.sock" ]; }
wait_for "the control sockets did not come up" socket_up
# The tuner has opened its controller once the sheet is up.
tuner_open() { ctl "$work/tuner.sock" list | grep -q ' open osprey '; }
wait_for "LumoraTuner did not open its controller" tuner_open
tuner_unit="$(ctl "$work/tuner.sock" list | awk '$2 == "open" { print $1; exit }')"

# figures <pid>: resident memory in kB, open files, threads
figures() {
  local rss threads files
  rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$1/status")"
  threads="$(awk '/^Threads:/ { print $2 }' "/proc/$1/status")"
  files="$(ls "/proc/$1/fd" | wc -l)"
  echo "$rss $files $threads"
}

declare -A seen
sample() {  # sample <label>
  seen[tuner_$1]="$(figures "$tuner_pid")"
  seen[tester_$1]="$(figures "$tester_pid")"
}

tester_opened() { ctl "$work/tester.sock" list | grep -q "^$1 open "; }

start=$SECONDS
for (( cycle = 1; cycle <= cycles; cycle++ )); do
  alive
  if (( cycle % 2 )); then entry=osprey; else entry=heron; fi
  id="$(ctl "$work/tester.sock" plug "$entry")"
  wait_for "cycle $cycle: LumoraTester did not take up the $entry (id $id)" tester_opened "$id"
  ctl "$work/tester.sock" unplug "$id" >/dev/null
  other="$(ctl "$work/tuner.sock" plug "osprey:x=20,y=12")"
  ctl "$work/tuner.sock" unplug "$other" >/dev/null
  if (( cycle % 10 == 0 )); then
    # "log" ends with the number of calls since the last one.
    calls="$(ctl "$work/tuner.sock" log "$tuner_unit" | tail -n 1)"
    (( calls > 0 )) || fail "cycle $cycle: LumoraTuner made no call to its controller (its window hangs?)"
  fi
  if (( cycle == warmup )); then sample warmup; fi
  if (( cycle == middle )); then sample middle; fi
done
# Let the last removals and any stream packets settle before the last sample.
sleep 1
alive
sample end
elapsed=$(( SECONDS - start ))

# Neither program can be closed from outside: both are stopped. (Unplugging
# the tuner's controller ends the tuner only when the end packet reaches the
# page whose number is active; one sent while the tabs change is lost.)
for pid in $tuner_pid $tester_pid; do
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
tuner_pid="" tester_pid=""

if grep -l -E 'ThreadSanitizer|AddressSanitizer|LeakSanitizer|runtime error:' "$work"/*.log >/dev/null; then
  fail "a sanitizer reported (see the logs)"
fi

echo "soak.sh: $cycles cycles in ${elapsed}s ($tree tree): the tester took up $cycles units, the tuner saw $cycles plugged beside its controller"
printf '%-12s %-8s %12s %8s %8s\n' program at "RSS kB" files threads
growth=0
for program in tuner tester; do
  for at in warmup middle end; do
    read -r rss files threads <<<"${seen[${program}_$at]}"
    printf '%-12s %-8s %12s %8s %8s\n' "$program" "$at" "$rss" "$files" "$threads"
  done
  read -r rss0 files0 threads0 <<<"${seen[${program}_warmup]}"
  read -r rss1 files1 threads1 <<<"${seen[${program}_middle]}"
  read -r rss2 files2 threads2 <<<"${seen[${program}_end]}"
  # Open files and threads come back to where they were; memory may settle
  # after the warm-up but must not keep growing: the second half of the run
  # may add no more than a tenth (and 8 MB), the whole run no more than a
  # quarter (and 16 MB).
  if (( files2 > files0 + 2 )); then echo "soak.sh: $program: open files grew from $files0 to $files2" >&2; growth=1; fi
  if (( threads2 > threads0 + 2 )); then echo "soak.sh: $program: threads grew from $threads0 to $threads2" >&2; growth=1; fi
  if (( rss2 > rss1 + rss1 / 10 + 8192 )); then
    echo "soak.sh: $program: resident memory grew from $rss1 kB to $rss2 kB in the second half" >&2; growth=1
  fi
  if (( rss2 > rss0 + rss0 / 4 + 16384 )); then
    echo "soak.sh: $program: resident memory grew from $rss0 kB to $rss2 kB" >&2; growth=1
  fi
done
[ "$growth" -eq 0 ] || fail "growth past the warm-up"
echo "soak.sh: PASS"
