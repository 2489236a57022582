#!/usr/bin/env bash
# build.sh <build-dir> [address|thread]: configures and builds everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
sanitize=${2:-}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVA_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -- -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
test "${PIPESTATUS[0]}" -eq 0
