#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# first the whole suite (GUI tests offscreen), then the libraries below the UI
# again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

cmake -S "$top" -B "$top/build-test" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$top/build-test" -j "$jobs"
ctest --test-dir "$top/build-test" -j "$jobs" --output-on-failure

cmake -S "$top" -B "$top/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DORVALA_SANITIZE=ON -DORVALA_GUI=OFF -DORVALA_BENCH=OFF
cmake --build "$top/build-asan" -j "$jobs"
ctest --test-dir "$top/build-asan" -j "$jobs" --output-on-failure

# orvala-cli apply as a Slurm job array on a one-node cluster of its own.
"$top/scripts/cluster/test-slurm.sh" "$top/build-test"
