#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the plain
# build, then the address+undefined sanitizer build, then the fuzz targets
# (their corpora replayed, each run for KOVA_FUZZ_SECONDS, default 20).
# KOVA_TSAN=1 adds the thread sanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/stages.sh
stage "install packages" scripts/install-deps.sh

# Each run is a preset of CMakePresets.json; its test preset sets the
# sanitizer's options.
run_suite() {
    local preset=$1
    stage "build $preset" scripts/build.sh "$preset"
    stage "tests $preset" ctest --preset "$preset"
}

run_suite dev
run_suite asan
if [ "${KOVA_TSAN:-0}" = 1 ]; then
    run_suite tsan
fi
stage "fuzz" scripts/fuzz.sh ci "${KOVA_FUZZ_SECONDS:-20}"
