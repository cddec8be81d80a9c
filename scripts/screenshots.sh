#!/usr/bin/env bash
# Screenshots of LumoraTuner or LumoraTester under a virtual X server.
#
#   scripts/screenshots.sh [program] [devices] [folder]
#
#   program  LumoraTuner (default) or LumoraTester
#   devices  the VEXLINK_DEVICES list to run against (default: osprey)
#   folder   where the PNGs go (default: screenshots/)
#
# The program grabs its own window and then each tab in turn into
# <folder>/<program>-<n>-<caption>.png, the further views a page names
# (another view, a full-screen window) into
# <folder>/<program>-<n>-<caption>-<view>.png, and message boxes shown on the
# way into <folder>/<program>-message-<n>.png (answered with Ok), then closes.
# LUMORA_SCREENSHOT_DELAY_MS sets the wait before each grab (default 1500).
# LUMORA_SCREENSHOT_PRESS presses buttons of a tab after its grab, one grab
# after each, for what a page shows only after a press, e.g.
#   LUMORA_SCREENSHOT_PRESS='Diagnostic:Open Test,Short Test,ADLevel Test,Mutual Test'
# (entries "<tab>:<button>,..." separated by ';').
# Fingers drawing on the draw test pages: give the controller a touch script,
# e.g. 'heron:touch=multi,contacts=32' or 'osprey:touch=line,gesture'
# (docs/virtual-devices.md, "Touch reports"), and a delay of some seconds.
# LUMORA_SCREENSHOT_CHOOSE names radio buttons to choose on each page before
# its grab, e.g. LUMORA_SCREENSHOT_CHOOSE='Stray Data' for that raw data view.
# LUMORA_BIN_DIR runs the programs of another build tree; without it the
# release tree is built first (only the program's own target).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-LumoraTuner}"
devices="${2-osprey}"
out="${3:-$root/screenshots}"

case "$program" in
  LumoraTuner|LumoraTester) ;;
  *) echo "screenshots.sh: unknown program '$program' (LumoraTuner, LumoraTester)" >&2; exit 2 ;;
esac

if [ -n "${LUMORA_BIN_DIR:-}" ]; then
  bin="$LUMORA_BIN_DIR"
else
  "$root/scripts/build.sh" release "$program"
  bin="$root/build/release/bin"
fi
[ -x "$bin/$program" ] || { echo "screenshots.sh: $bin/$program not found" >&2; exit 1; }

command -v xvfb-run >/dev/null || { echo "screenshots.sh: xvfb-run missing (scripts/setup.sh installs it)" >&2; exit 1; }

mkdir -p "$out"
out="$(cd "$out" && pwd)"
echo "screenshots.sh: $program against VEXLINK_DEVICES='$devices' into $out"

# The program closes itself after the last grab; the time-out only ends a run
# that hangs (for instance on a dialog nobody answers).
status=0
env VEXLINK_DEVICES="$devices" \
    LUMORA_SCREENSHOT_DIR="$out" \
    LUMORA_SCREENSHOT_DELAY_MS="${LUMORA_SCREENSHOT_DELAY_MS:-1500}" \
    QT_QPA_PLATFORM=xcb \
    timeout --kill-after=5 "${LUMORA_SCREENSHOT_TIMEOUT:-120}" \
    xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$bin/$program" || status=$?

# The programs' own exit codes carry meaning of their own (the tester ends
# with a code when its window closes); the run counts as done when the
# window was grabbed and the program ended by itself.
if [ "$status" -ge 124 ]; then
  echo "screenshots.sh: $program did not end by itself (status $status)" >&2
fi
ls -1 "$out"/"$program"-*.png 2>/dev/null || { echo "screenshots.sh: no screenshot written" >&2; exit 1; }
[ "$status" -lt 124 ] || exit "$status"
