#!/usr/bin/env bash
# Builds the Debian package of both programs and libvexlink into build/package/.
#
#   scripts/package.sh
#
# The tree is configured for the prefix /usr (multiarch library folder, udev
# rule in /usr/lib/udev/rules.d) without tests or benchmarks; the package's
# dependencies come from the shared-library scan (dpkg-shlibdeps). Install it
# with `sudo apt install ./build/package/lumora_<version>_<arch>.deb`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
dir="$root/build/package"
jobs="${LUMORA_JOBS:-2}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
        -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_BENCH=OFF
fi
cmake --build "$dir" -j "$jobs"
(cd "$dir" && cpack -G DEB)
ls -1 "$dir"/*.deb
