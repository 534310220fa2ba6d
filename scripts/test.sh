#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# first the whole suite (GUI tests offscreen), then the libraries below the UI
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz
# targets briefly, then the cluster run.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

cmake -S "$top" -B "$top/build-test" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$top/build-test" -j "$jobs"
# Files or source folders that include each other (the link rules catch the rest).
python3 "$top/scripts/check-includes.py" "$top"
ctest --test-dir "$top/build-test" -j "$jobs" --output-on-failure

cmake -S "$top" -B "$top/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DORVALA_SANITIZE=ON -DORVALA_GUI=OFF -DORVALA_BENCH=OFF
cmake --build "$top/build-asan" -j "$jobs"
ctest --test-dir "$top/build-asan" -j "$jobs" --output-on-failure

# The fuzz targets, built with clang and run briefly from an empty corpus: a
# reader fault they meet at once, or code only clang refuses, stops here.
CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVALA_FUZZ=ON -DORVALA_GUI=OFF -DORVALA_TESTS=OFF -DORVALA_BENCH=OFF
cmake --build "$top/build-fuzz" -j "$jobs"
fuzzdir="$(mktemp -d)"
for target in fcs_reader_fuzz records_fuzz text_readers_fuzz; do
  if ! (cd "$fuzzdir" && "$top/build-fuzz/fuzz/$target" -max_total_time=20 >"$fuzzdir/$target.log" 2>&1); then
    tail -n 60 "$fuzzdir/$target.log"
    echo "$target failed; the input is in $fuzzdir" >&2
    exit 1
  fi
  tail -n 1 "$fuzzdir/$target.log"
done
rm -rf "$fuzzdir"

# orvala-cli apply as a Slurm job array on a one-node cluster of its own.
"$top/scripts/cluster/test-slurm.sh" "$top/build-test"
