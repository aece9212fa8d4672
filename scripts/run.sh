#!/usr/bin/env bash
# Installs what is needed, builds, and plays a recording: the bundled demo
# recording when no file is given. Until the window lands the player runs
# headless through the real engine, with sound on the default sound device
# (or a silent clock where there is none), and shows the recording's facts
# first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
file="${1:-build/demo/demo.vs4}"
./build/src/tessarovine-cli info "$file"
./build/src/tessarovine-cli play "$file" --audio auto
