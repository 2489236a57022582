# Sourced by the scripts. `stage NAME COMMAND...` runs COMMAND (a program,
# not a shell function: set -e does not reach into one run this way) under
# a heading and, when KOVA_STAGE_TIMES names a file, adds a line with its
# time to it; .ci/run prints them at the end.
stage() {
    local name=$1 start=$SECONDS status=0
    shift
    echo "== $name"
    "$@" || status=$?
    if [ -n "${KOVA_STAGE_TIMES:-}" ]; then
        printf '%s\t%d\t%s\n' "$name" $((SECONDS - start)) "$([ $status -eq 0 ] && echo ok || echo FAILED)" \
            >>"$KOVA_STAGE_TIMES"
    fi
    return $status
}

# Prints the stages' times from KOVA_STAGE_TIMES and the time since `since`
# (seconds of this shell).
print_stage_times() {
    local since=$1
    echo "== stage times"
    awk -F'\t' '{ printf "  %-20s %3d:%02d  %s\n", $1, int($2 / 60), $2 % 60, $3 }' "$KOVA_STAGE_TIMES"
    local total=$((SECONDS - since))
    printf '  %-20s %3d:%02d\n' total $((total / 60)) $((total % 60))
}
