#!/usr/bin/env bash
# The installed tree, as a user gets it:
#   - `cmake --install` into a temporary prefix puts every file in its place;
#   - the installed programs find libvexlink through their RPATH;
#   - the desktop entries pass desktop-file-validate and name what is installed;
#   - a program of one's own builds against vexlink.pc and lists a virtual unit;
#   - the installed LumoraTuner starts offscreen against a virtual Osprey with
#     the right title;
#   - the installed LumoraTester finds its plan by the rule for installed
#     programs: its data folder first, then beside the program, then the
#     examples, copied into the data folder; the data folder is the program's
#     folder while that is writable, else the user's data folder.
#
#   install_smoke.sh <build tree> [sanitizers the tree was built with]
set -euo pipefail
build="$1"
sanitize="${2:-}"

fail() { echo "install_smoke: $*" >&2; exit 1; }
command -v desktop-file-validate >/dev/null ||
  fail "desktop-file-validate missing (scripts/setup.sh installs desktop-file-utils)"

work="$(mktemp -d)"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log" >&2; fail "install failed"; }

# ---- Files in their places ------------------------------------------------------
for f in bin/LumoraTuner bin/LumoraTester bin/vexlink-ctl; do
  [ -x "$prefix/$f" ] || fail "$f not installed"
done
lib="$(find "$prefix" -name 'libvexlink.so.1' | head -n 1)"
[ -n "$lib" ] || fail "libvexlink.so.1 not installed"
libdir="$(dirname "$lib")"
[ -e "$libdir/libvexlink.so" ] || fail "libvexlink.so (link for building) not installed"
objdump -p "$lib" | grep 'SONAME *libvexlink.so.1$' >/dev/null || fail "libvexlink has no SONAME libvexlink.so.1"
for f in include/vexlink/device/vexlink.h include/vexlink/device/packet.h \
         lib/udev/rules.d/70-lumora.rules \
         share/applications/lumora-tuner.desktop share/applications/lumora-tester.desktop \
         share/lumora/examples/LumoraPCBTester_Osprey.ini share/lumora/examples/LumoraPCBTester_Heron.ini \
         share/doc/lumora/README.md; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
[ -f "$libdir/pkgconfig/vexlink.pc" ] || fail "vexlink.pc not installed"
grep -q 'ATTRS{idVendor}=="2f1b", ATTRS{idProduct}=="7???", TAG+="uaccess"' \
  "$prefix/lib/udev/rules.d/70-lumora.rules" || fail "udev rule lacks the family's controllers"

for program in LumoraTuner LumoraTester; do
  objdump -p "$prefix/bin/$program" | grep -E 'R(UN)?PATH +\$ORIGIN/\.\./' >/dev/null ||
    fail "$program has no RPATH relative to its folder"
  found="$(env -u LD_LIBRARY_PATH ldd "$prefix/bin/$program" | awk '/libvexlink/ {print $3}')"
  [ -n "$found" ] && [ "$(readlink -f "$found")" = "$(readlink -f "$lib")" ] || fail "$program loads libvexlink from '$found', not from the prefix"
done

# ---- Menu entries ------------------------------------------------------------------
for entry in "$prefix"/share/applications/*.desktop; do
  desktop-file-validate "$entry" || fail "$(basename "$entry") does not validate"
  exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
  icon="$(sed -n 's/^Icon=//p' "$entry")"
  [ -x "$prefix/bin/$exec_name" ] || fail "$(basename "$entry") starts '$exec_name', which is not installed"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "$(basename "$entry") shows icon '$icon', which is not installed"
done

# ---- A program of one's own against the installed library --------------------------
cat >"$work/list_units.c" <<'C'
#include <stdio.h>
#include "device/vexlink.h"
static int count(void* context, const char* path, void* reserved, uint32_t v1, uint32_t v2) {
    (void)path; (void)reserved; (void)v1; (void)v2;
    ++*(int*)context;
    return 0;
}
int main(void) {
    int n = 0;
    EnumerateHidDevices(&n, count);
    printf("%d\n", n);
    return 0;
}
C
flags=()
[ -n "$sanitize" ] && flags=(-fsanitize="$sanitize")
# shellcheck disable=SC2046
cc "${flags[@]}" -o "$work/list_units" "$work/list_units.c" \
   $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs vexlink) -Wl,-rpath,"$libdir" ||
  fail "a program does not build against vexlink.pc"
units="$(VEXLINK_DEVICES=osprey "$work/list_units")"
[ "$units" = 3 ] || fail "a program of one's own lists '$units' interfaces of a virtual Osprey, not 3"

# ---- The installed programs, run as a user would ------------------------------------
# As root, the tester runs as "nobody", for whom an installed program's
# folder is not writable, as it is for any user but root.
user=()
if [ "$(id -u)" = 0 ]; then
  user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
home="$work/home"
mkdir -p "$home" "$home/data" "$home/runtime" "$home/tmp" "$work/shots"
chmod 700 "$home/runtime"
[ ${#user[@]} -gt 0 ] && chown -R 65534:65534 "$home" "$work/shots"

# run <program> <log>: the installed program offscreen against a virtual
# Osprey; it grabs its window, prints the title and closes.
run() {
  local program="$1" log="$2" status=0
  env -u LD_LIBRARY_PATH HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
      XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" TMPDIR="$home/tmp" \
      QT_QPA_PLATFORM=offscreen VEXLINK_DEVICES=osprey VEXLINK_NO_HID=1 \
      LUMORA_SCREENSHOT_DIR="$work/shots" LUMORA_SCREENSHOT_DELAY_MS=300 \
      timeout --kill-after=5 120 "${user[@]}" "$prefix/bin/$program" >"$log" 2>&1 || status=$?
  [ "$status" -lt 124 ] || { cat "$log" >&2; fail "$program did not end by itself (status $status)"; }
}
title_of() { sed -n 's/^screenshot: .*-0-window\.png title "\(.*\)"$/\1/p' "$1" | tail -n 1; }

run LumoraTuner "$work/tuner.log"
title="$(title_of "$work/tuner.log")"
expected="LumoraTuner_Release v2.3.2.6 for ZEMA (Model:ZT-4030, X:40, Y:30, Ver:4.2.17)"
[ "$title" = "$expected" ] || { cat "$work/tuner.log" >&2; fail "tuner title '$title', expected '$expected'"; }

plan=LumoraPCBTester_Osprey.ini
example="$prefix/share/lumora/examples/$plan"
tester_title() {
  run LumoraTester "$work/tester.log"
  title_of "$work/tester.log"
}
expect_case() {
  local title="$1" label="$2"
  case "$title" in
    *"for ZEMA-$label (M:ZT-4030, V:4.2.17, X:40, Y:30, USB)") ;;
    *) cat "$work/tester.log" >&2; fail "tester title '$title' does not show the plan '$label'" ;;
  esac
}

# Read-only program folder: the user's data folder holds the files.
[ ${#user[@]} -gt 0 ] || chmod a-w "$prefix/bin"
datafolder="$home/data/LumoraTester"
expect_case "$(tester_title)" Demo
cmp -s "$example" "$datafolder/$plan" || fail "the example plan was not copied into $datafolder"
[ ! -e "$prefix/bin/$plan" ] || fail "the tester wrote its plan beside a read-only program"
sed -i 's/^CaseName=.*/CaseName=Edited/' "$datafolder/$plan"
expect_case "$(tester_title)" Edited                      # the data folder's copy comes first
rm "$datafolder/$plan"
chmod u+w "$prefix/bin"
sed 's/^CaseName=.*/CaseName=Beside/' "$example" >"$prefix/bin/$plan"
[ ${#user[@]} -gt 0 ] || chmod a-w "$prefix/bin"
expect_case "$(tester_title)" Beside                      # then the plan beside the program
[ ! -e "$datafolder/$plan" ] || fail "a plan beside the program was copied"

# Writable program folder (the unpacked or built layout): its own folder is
# the data folder, and the example is copied there.
chmod u+w "$prefix/bin"
rm "$prefix/bin/$plan"
user=()
expect_case "$(tester_title)" Demo
cmp -s "$example" "$prefix/bin/$plan" || fail "the example plan was not copied beside a writable program"
echo "install_smoke: installed tree in order"
