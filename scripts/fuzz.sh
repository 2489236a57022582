#!/usr/bin/env bash
# Coverage-guided fuzzing with libFuzzer (clang, AddressSanitizer, UBSan).
#   fuzz.sh TARGET SECONDS    builds the targets if needed, runs one for SECONDS;
#                             what it learns goes to build-fuzz/corpus/TARGET
#   fuzz.sh replay [TARGET]   runs each target (or one) once over its committed corpus
#   fuzz.sh findings [TARGET] runs each open finding (tests/fuzz/findings), which
#                             fails until its cause is mended; slow ones are
#                             judged by the benchmarks, here only above 10 s
#   fuzz.sh ci [SECONDS]      replay, then every target for SECONDS (default 20)
# Targets: description package ini settingsfile replies valuecodec.
# A finding is written to build-fuzz/artifacts/; replay it with
#   ASAN_OPTIONS=fast_unwind_on_malloc=0 build-fuzz/tests/fuzz/fuzz_TARGET FILE
# (full stacks through the toolkit's frames).
# Keep it: mended, it goes to tests/fuzz/corpus/TARGET; open, to tests/fuzz/findings/TARGET.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz  # the fuzz preset's
fuzz=$root/tests/fuzz
targets=(description package ini settingsfile replies valuecodec)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The examples are seeds as they stand; the committed corpus adds the rest.
seeds_of() {
    echo "$fuzz/corpus/$1"
    case $1 in
    description) echo "$root/examples/descriptions" ;;
    package | ini) echo "$root/examples/firmwares" ;;
    esac
}

# The description and package readers take whole files, and the inputs that
# hurt them were large: let the search reach several MiB, spend its time on
# the quick inputs, and write every input slower than 5 s (sanitized, so some
# times slower than the plain build) as a slow unit.
options_of() {
    case $1 in
    description | package)
        echo "-max_len=8388608 -timeout=120 -report_slow_units=5 -entropic_scale_per_exec_time=1" \
            "-dict=$fuzz/dictionaries/$1.dict" ;;
    # Just over the INI reader's bound of 64 KiB.
    ini) echo "-max_len=70000 -timeout=10 -dict=$fuzz/dictionaries/ini.dict" ;;
    settingsfile) echo "-max_len=65536 -timeout=10 -dict=$fuzz/dictionaries/settingsfile.dict" ;;
    replies) echo "-max_len=512 -timeout=5" ;;
    valuecodec) echo "-max_len=256 -timeout=5" ;;
    *) echo "unknown target '$1'; targets: ${targets[*]}" >&2; exit 2 ;;
    esac
}

# The JSON reader of the toolkit leaks when an object repeats a key; only
# full stacks name it for tests/sanitizers/lsan.supp, so the settings file
# target unwinds every allocation and keeps 128 frames of it: the reader
# takes two a level, and the settings file reader refuses more than 32
# levels before it, so its own frame is always among those kept.
env_of() {
    case $1 in
    settingsfile) echo "ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0:malloc_context_size=128" ;;
    *) echo "ASAN_OPTIONS=$ASAN_OPTIONS" ;;
    esac
}

build_targets() {
    "$root/scripts/install-deps.sh" fuzz
    "$root/scripts/build.sh" fuzz
}

usage() {
    sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
}

binary_of() { echo "$build/tests/fuzz/fuzz_$1"; }

# Runs `target` once over every file of `folders`; stops at the first failure.
replay_files() {
    local target=$1
    shift
    local files=()
    mapfile -t files < <(find "$@" -type f 2>/dev/null | sort)
    [ ${#files[@]} -eq 0 ] && { echo "$target: nothing to replay"; return 0; }
    local log=$build/artifacts/$target-replay.log
    # Known inputs must each pass within 10 s, sanitized as they are.
    # shellcheck disable=SC2046
    if env "$(env_of "$target")" "$(binary_of "$target")" $(options_of "$target") -timeout=10 -rss_limit_mb=2560 "${files[@]}" \
        >"$log" 2>&1; then
        echo "$target: ${#files[@]} inputs replayed, slowest $(grep -oE 'in [0-9]+ ms' "$log" | sort -k2 -n | tail -1)"
    else
        grep -A12 -m1 -E '^==[0-9]+==.*ERROR|^SUMMARY|runtime error' "$log" || tail -20 "$log"
        echo "$target: FAILED on $(grep -E '^Running: ' "$log" | tail -1 | cut -d' ' -f2-)"
        return 1
    fi
}

# Each open finding on its own, so that one report covers all of them.
report_findings() {
    local target=$1 failed=0 file
    for file in "$fuzz/findings/$target"/*; do
        [ -f "$file" ] || continue
        echo "-- $(basename "$file")"
        replay_files "$target" "$file" || failed=1
    done
    return $failed
}

run_target() {
    local target=$1 seconds=$2
    local corpus=$build/corpus/$target log=$build/artifacts/$target-run.log
    mkdir -p "$corpus"
    local seeds=()
    mapfile -t seeds < <(seeds_of "$target")
    # shellcheck disable=SC2046
    if env "$(env_of "$target")" "$(binary_of "$target")" $(options_of "$target") -rss_limit_mb=2560 -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$corpus" "${seeds[@]}" \
        >"$log" 2>&1; then
        echo "$target: $(grep -E '^#[0-9]+' "$log" | tail -1)"
        grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|Slowest unit|Test unit written' "$log" | sed "s/^/$target: /"
    else
        tail -60 "$log"
        echo "$target: FINDING, see $log"
        return 1
    fi
}

mkdir -p "$build/artifacts"
case ${1:-} in
replay | findings)
    kind=$1
    shift
    build_targets
    failed=0
    for target in "${@:-${targets[@]}}"; do
        options_of "$target" >/dev/null
        if [ "$kind" = replay ]; then
            mapfile -t folders < <(seeds_of "$target")
            replay_files "$target" "${folders[@]}" || failed=1
        else
            report_findings "$target" || failed=1
        fi
    done
    exit $failed
    ;;
ci)
    seconds=${2:-20}
    build_targets
    failed=0
    for target in "${targets[@]}"; do
        mapfile -t folders < <(seeds_of "$target")
        replay_files "$target" "${folders[@]}" || failed=1
    done
    for target in "${targets[@]}"; do
        run_target "$target" "$seconds" || failed=1
    done
    exit $failed
    ;;
"" | -h | --help) usage ;;
*)
    [ $# -eq 2 ] || usage
    options_of "$1" >/dev/null
    build_targets
    run_target "$1" "$2"
    ;;
esac
