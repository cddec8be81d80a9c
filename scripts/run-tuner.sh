#!/usr/bin/env bash
# Sets up, builds and starts LumoraTuner against virtual controllers
# (default: one Osprey-class controller). Pass another VEXLINK_DEVICES to pick others.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release LumoraTuner
export VEXLINK_DEVICES="${VEXLINK_DEVICES-osprey}"
exec "$root/build/release/bin/LumoraTuner" "$@"
