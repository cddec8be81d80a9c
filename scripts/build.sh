#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh [release|asan|tsan] [ninja targets...]
# Trees live in build/<kind>; each is configured once and then only rebuilt.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-release}"; shift || true
dir="$root/build/$kind"
jobs="${LUMORA_JOBS:-2}"
# Object files cached by ccache are shared between checkouts of the tree:
# paths under the root are hashed relative to it.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"

case "$kind" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    flags=(-DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=address,undefined -DLUMORA_BUILD_BENCH=OFF) ;;
  tsan)    flags=(-DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=thread -DLUMORA_BUILD_BENCH=OFF) ;;
  *) echo "build.sh: unknown build kind '$kind' (release, asan, tsan)" >&2; exit 2 ;;
esac

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}"
fi
cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
