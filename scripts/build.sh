#!/usr/bin/env bash
# build.sh [PRESET]: configures and builds one preset of CMakePresets.json
# (default dev, into build/).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
test "${PIPESTATUS[0]}" -eq 0
