#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. With --asan the
# tests run in the AddressSanitizer + UndefinedBehaviorSanitizer build too,
# and the engine's tests in the ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)"
if [ "${1:-}" = "--asan" ]; then
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j"$(nproc)"
  ctest --preset asan -j"$(nproc)"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j"$(nproc)"
  ctest --preset tsan -j"$(nproc)"
fi
