#!/bin/sh
# Builds the decode benchmark in the default (release with debug info) tree
# and runs it; arguments go to the benchmark (--frames N, --runs N,
# --keep DIR, --checksum). It needs ffmpeg on the PATH.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ -f build/CMakeCache.txt ] || cmake --preset default
cmake --build build --target decode_bench
exec build/bench/decode_bench "$@"
