#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the plain
# build, then the address+undefined sanitizer build, then the fuzz targets
# (their corpora replayed, each run for KOVA_FUZZ_SECONDS, default 20).
# KOVA_TSAN=1 adds the thread sanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

run_suite() {
    local dir=$1 sanitize=$2
    echo "== build ${sanitize:-plain}"
    "$root/scripts/build.sh" "$dir" "$sanitize"
    echo "== tests ${sanitize:-plain}"
    ctest --test-dir "$dir" --output-on-failure -j2
}

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1

run_suite "$root/build" ""
run_suite "$root/build-asan" address
if [ "${KOVA_TSAN:-0}" = 1 ]; then
    run_suite "$root/build-tsan" thread
fi
echo "== fuzz"
"$root/scripts/fuzz.sh" ci "${KOVA_FUZZ_SECONDS:-20}"
