#!/usr/bin/env bash
# Installs what is needed, builds, and shows a recording: the bundled demo
# recording when no file is given.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
file="${1:-build/demo/demo.vs4}"
./build/src/tessarovine-cli info "$file"
./build/src/tessarovine-cli frames "$file"
