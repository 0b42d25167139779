#!/usr/bin/env bash
# Sets up the machine and runs every test: installs the Debian packages, then configures,
# builds and tests the sanitizer builds of the core, the fuzz targets (each replays its seeds
# and the crashes found so far) and the full release build (plug-ins, real hosts), then builds
# the benchmarks (without running them).
# Usage: bash tools/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

status=0
for preset in asan tsan fuzz release; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" || status=1
done
# The benchmarks are run by hand, but they are built here so that they keep building.
echo "=== benchmarks (built, not run) ==="
cmake --build --preset release --target benchmarks || status=1
exit $status
