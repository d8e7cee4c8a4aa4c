#!/usr/bin/env bash
# Builds the program (Release) and its Debian package: build/package/vkt-rs7_<version>_amd64.deb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build/package"
flags=(-DCMAKE_BUILD_TYPE=Release -DVKT_BUILD_TESTS=OFF -DVKT_BUILD_BENCH=OFF)
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The distribution's hardening flags, as a Debian build would pass them.
if command -v dpkg-buildflags >/dev/null; then
  export CXXFLAGS="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS) $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)"
  export LDFLAGS="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)"
fi
cmake -S "$root" -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build"
(cd "$build" && cpack -G DEB)
ls "$build"/vkt-rs7_*_amd64.deb
