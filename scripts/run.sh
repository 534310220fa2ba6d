#!/usr/bin/env bash
# Installs what is missing, builds, and starts the workbench on FILE
# (or on the bundled demo data set when no file is given).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALA_TESTS=OFF -DORVALA_BENCH=OFF >/dev/null
cmake --build "$top/build" --target orvala
exec "$top/build/src/app/orvala" "$@"
