#!/usr/bin/env bash
# The cases of scripts/test-usb.sh, run inside its guest with the host's root
# shared read-only: the adapter is /dev/ttyUSB*, bound by ftdi_sio; the host
# plays the simulator on its line and plugs the cable on request.
#   usb-cases.sh ROOT RUN [REGEX]   the worktree, the host's folder of this run,
#                                   and which "dialect case" names to run
set -uo pipefail
root=$1
run=$2
only=${3:-}
cd "$root" || exit 2
simulatorLog=$run/simulator.log
trace=$run/trace.log
sysfs=/sys/bus/usb-serial/devices
# The serial number test-usb.sh gives the emulated adapter.
adapterSerial=${KOVA_ADAPTER_SERIAL:-}

export HOME=/tmp/home QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime PATH=/usr/bin:/bin:/usr/sbin:/sbin
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# kova.ini lives beside the program: both front ends run from a writable copy.
work=/tmp/kova
mkdir -p "$work/firmwares"
cp build/app/kova build/tools/cli/kova-cli "$work/"
cp examples/firmwares/*.upd "$work/firmwares/"
ini=$work/kova.ini
cd "$work" || exit 2

for port in /sys/class/virtio-ports/*; do
    [ "$(cat "$port/name" 2>/dev/null)" = kova.control ] && exec 3<>"/dev/${port##*/}"
done

# Asks the host for one thing: simulate ARGS, stop, unplug, plug.
host() {
    echo "$*" >&3
    local reply
    read -r reply <&3
    [ "$reply" = ok ]
}

# Waits for a condition with a bound far above its expected time.
wait_for() {
    local bound=$1
    shift
    local end=$((SECONDS + bound))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}
present() { [ -e "/dev/$1" ]; }
absent() { [ ! -e "/dev/$1" ]; }
logged() { [ "$(grep -c -- "$1" "$simulatorLog")" -ge "$2" ]; }
stored() { grep -qx "Name=$1" "$ini" 2>/dev/null; }
on_port() { grep -Eqx "Port: (/dev/)?$1" <<<"$out"; }
ended() { ! kill -0 "$1" 2>/dev/null; }
holding() { [ "$(cat "/proc/$1/comm" 2>/dev/null)" = sleep ]; }
baudChanges() { grep -c usb_serial_set_baud "$trace"; }

# The dialect's simulator, description and package; the simulator plays the
# device with the same arguments on a pseudo-terminal of the guest's own
# for the reference the adapter's results must equal.
use_dialect() {
    dialect=$1
    local device=${dialect%-*}
    local block after
    case $device in
    vorn) block=256 after=4.14.0,32 package=firmwares/vorn-4.14.upd ;;
    kelpa) block=64 after=2.7.0,16 package=firmwares/kelpa-2.7.upd ;;
    ulma) block=128 after=2.0.0,16 package=firmwares/ulma-2.0.upd ;;
    esac
    simulator=(--dialect "$dialect" --cells "$root/examples/devices/$device.cells" --block-size "$block"
               --after-upload "$after")
    cp "$root/examples/descriptions/$device.dsc" "$work/tellur.dsc"
}

plug_simulator() {
    host simulate "${simulator[@]}" "$@" && wait_for 60 present ttyUSB0
}

# Runs kova-cli with a bound; its output in $out, its status in $status.
cli() {
    out=$(timeout 120 ./kova-cli "$@" 2>&1)
    status=$?
}

reference() {
    local reference=$work/reference
    rm -rf "$reference" && mkdir -p "$reference"
    "$root/build/tools/simulator/kova-simulator" "${simulator[@]}" --quiet --blocks "$reference/blocks" \
        >"$reference/port" &
    local pid=$!
    wait_for 30 grep -q . "$reference/port"
    local port
    port=$(head -n 1 "$reference/port")
    ./kova-cli -p "$port" info | grep -v '^Port:' >"$reference/info"
    ./kova-cli -p "$port" read >"$reference/read" 2>"$reference/read.progress"
    ./kova-cli -p "$port" -y flash "$package" >/dev/null 2>&1
    kill "$pid"
    wait "$pid" 2>/dev/null
}

start_window() {
    ./kova >"$work/window.log" 2>&1 &
    window=$!
}
stop_window() {
    kill "$window" 2>/dev/null
    wait "$window" 2>/dev/null
    return 0
}
# The window has found the device on ttyUSB$1 and pings it.
window_found() { wait_for 90 stored "$1" && wait_for 60 logged "^ping$" 1; }

# The cases. Each starts with the adapter unplugged and no kova.ini.

cli_discovery() {
    plug_simulator && cli info && [ $status -eq 0 ] &&
        [ "$(grep -v '^Port:' <<<"$out")" = "$(cat reference/info)" ] && on_port ttyUSB0 &&
        cli read && [ $status -eq 0 ] && [ "$out" = "$(cat reference/read)" ]
}

cli_flash() {
    plug_simulator --blocks "$run/blocks" && cli -y flash "$package" && [ $status -eq 0 ] &&
        cmp -s "$run/blocks" reference/blocks
}

# ports tells the adapter by its USB ids and serial number, and the serial
# number reaches it wherever it is plugged in; so does its link in
# /dev/serial/by-id, which only udev makes.
cli_port_by_serial() {
    [ -n "$adapterSerial" ] || { echo "     KOVA_ADAPTER_SERIAL is not set"; return 1; }
    plug_simulator && cli --json ports && [ $status -eq 0 ] || return 1
    # Compacted, with the keys in the order the program writes them: sorted.
    tr -d ' \n' <<<"$out" | grep -q '"name":"ttyUSB0","path":"/dev/ttyUSB0","product":[^,]*,"productId":"6001","serial":"'"$adapterSerial"'","vendorId":"0403"' &&
        cli -p "serial:$adapterSerial" info && [ $status -eq 0 ] &&
        [ "$(grep -v '^Port:' <<<"$out")" = "$(cat reference/info)" ] && on_port ttyUSB0 &&
        cli -p serial:KOVA-NONE info && [ $status -eq 3 ] &&
        grep -qxF "No port has the adapter with serial number KOVA-NONE." <<<"$out" || return 1
    local link
    if [ ! -d /dev/serial/by-id ]; then
        echo "     no /dev/serial/by-id in the guest (no udev): its link is not tried"
        return 0
    fi
    for link in /dev/serial/by-id/*; do
        [ "$(readlink -f "$link")" = /dev/ttyUSB0 ] || continue
        cli -p "$link" info && [ $status -eq 0 ] && grep -qxF "Port: $link" <<<"$out"
        return
    done
    echo "     no link in /dev/serial/by-id points to ttyUSB0"
    return 1
}

cli_low_latency() {
    plug_simulator && [ "$(cat $sysfs/ttyUSB0/latency_timer)" != 1 ] && cli info && [ $status -eq 0 ] &&
        [ "$(cat $sysfs/ttyUSB0/latency_timer)" = 1 ]
}

# Unplugs once the simulator has logged $2 lines like $1 of the command.
unplugged_during() {
    local pattern=$1 count=$2
    shift 2
    plug_simulator --latency 30 --blocks "$run/blocks" || return 1
    ./kova-cli "$@" >/dev/null 2>&1 &
    local pid=$!
    wait_for 60 logged "$pattern" "$count" && host unplug || return 1
    local unplugged=$SECONDS
    wait_for 60 ended "$pid"
    wait "$pid"
    local ended=$?
    echo "     status $ended, $((SECONDS - unplugged)) s after the unplug"
    [ $ended -eq 3 ] || return 1
    # Found again once the cable is back.
    host plug && wait_for 60 present ttyUSB0 && cli info && [ $status -eq 0 ]
}
cli_unplug_read() { cli info && unplugged_during "^read cell" 4 read; }
cli_unplug_flash() { unplugged_during "^firmware block" 2 -y flash "$package"; }

# batch behind the adapter: its record carries the adapter's serial number,
# and a cable pulled while it waits for the controller to leave ends the
# batch with status 3 once the cable has stayed away.
cli_batch_cable_gone() {
    local log=$work/batch.jsonl
    rm -f "$log"
    host simulate --line "$root/examples/line/vorn-line.txt" --line-gap 15000 --block-size 256 &&
        wait_for 60 present ttyUSB0 || return 1
    ./kova-cli -y batch --flash "$package" --log "$log" >"$work/batch.out" 2>&1 &
    local pid=$!
    local started=$SECONDS
    if ! { wait_for 120 grep -qs . "$log" && host unplug; }; then
        kill "$pid"
        return 1
    fi
    local unplugged=$SECONDS
    wait_for 60 ended "$pid"
    wait "$pid"
    local ended=$?
    echo "     status $ended, $((SECONDS - unplugged)) s after the unplug, $((unplugged - started)) s from the start (the line's first gap is 15 s); $(wc -l <"$log") record: $(grep -o '"adapter":[^,]*,' "$log") $(grep -o '"result":"[a-z]*"' "$log")"
    [ $ended -eq 3 ] && [ "$(wc -l <"$log")" -eq 1 ] && grep -q '"adapter":"'"$adapterSerial"'"' "$log" &&
        grep -q '"result":"ok"' "$log" && grep -q "went away and did not come back" "$work/batch.out"
}

cli_after_start_without_adapter() {
    cli info && [ $status -eq 3 ] && plug_simulator && cli info && [ $status -eq 0 ] && on_port ttyUSB0
}

# ttyUSB0 held open while the cable is out and back: it returns as ttyUSB1.
replug_as_ttyUSB1() {
    plug_simulator || return 1
    printf '[PORT]\nName=ttyUSB0\n' >"$ini"
    sleep infinity <>/dev/ttyUSB0 &
    local holder=$!
    # The holder runs sleep once its open has ended; a cable pulled during
    # the open's control transfers wedges the emulator.
    wait_for 60 holding "$holder" && host unplug && wait_for 60 absent ttyUSB0 && host plug && wait_for 60 present ttyUSB1
    local replugged=$?
    kill "$holder"
    wait "$holder" 2>/dev/null
    return $replugged
}
cli_replug_new_name() { replug_as_ttyUSB1 && cli info && [ $status -eq 0 ] && on_port ttyUSB1; }

window_discovery() { plug_simulator && start_window && window_found ttyUSB0; }

window_low_latency() {
    plug_simulator && [ "$(cat $sysfs/ttyUSB0/latency_timer)" != 1 ] && start_window && window_found ttyUSB0 &&
        [ "$(cat $sysfs/ttyUSB0/latency_timer)" = 1 ]
}

window_after_start_without_adapter() {
    start_window && wait_for 90 stored "" && stop_window && plug_simulator && start_window && window_found ttyUSB0
}

window_plugged_while_running() {
    start_window && wait_for 90 stored "" && plug_simulator && window_found ttyUSB0
}

window_replug_new_name() { replug_as_ttyUSB1 && start_window && window_found ttyUSB1; }

# After the first ping the line stays at its rate: no rate change per ping.
window_idle_rate_changes() {
    plug_simulator && start_window && window_found ttyUSB0 || return 1
    local pings
    pings=$(grep -c "^ping$" "$simulatorLog")
    local before
    before=$(baudChanges)
    wait_for 120 logged "^ping$" $((pings + 5)) || return 1
    local changes=$(($(baudChanges) - before)) idle=$(($(grep -c "^ping$" "$simulatorLog") - pings))
    echo "     $changes rate changes in $idle idle pings"
    [ $changes -eq 0 ]
}

cases=(
    "vorn      cli_discovery cli_port_by_serial cli_flash cli_low_latency cli_unplug_read cli_unplug_flash cli_batch_cable_gone
               cli_after_start_without_adapter
               cli_replug_new_name window_discovery window_low_latency window_after_start_without_adapter
               window_plugged_while_running window_replug_new_name window_idle_rate_changes"
    "kelpa     cli_discovery cli_flash cli_unplug_read window_discovery window_idle_rate_changes"
    "ulma-fast cli_discovery cli_flash cli_unplug_read window_discovery window_idle_rate_changes"
    "ulma-slow cli_discovery cli_flash cli_unplug_read window_discovery window_idle_rate_changes"
)

cli --help && [ $status -eq 0 ] && [ -n "$out" ] || { echo "FAIL kova-cli --help"; exit 1; }
passed=0
failed=()
for row in "${cases[@]}"; do
    read -r -a names <<<"$(tr -s ' \n' ' ' <<<"$row")"
    chosen=()
    for name in "${names[@]:1}"; do
        [[ "${names[0]} $name" =~ $only ]] && chosen+=("$name")
    done
    [ ${#chosen[@]} -gt 0 ] || continue
    use_dialect "${names[0]}"
    reference
    for name in "${chosen[@]}"; do
        window=""
        out=""
        rm -f "$ini"
        started=$SECONDS
        if "$name"; then
            echo "ok   $dialect $name ($((SECONDS - started)) s)"
            passed=$((passed + 1))
        else
            echo "FAIL $dialect $name ($((SECONDS - started)) s)"
            failed+=("$dialect $name")
            echo "$out" | tail -n 5
            [ -z "$window" ] || tail -n 20 "$work/window.log"
            tail -n 5 "$simulatorLog"
            ls /dev/ttyUSB* 2>&1
            dmesg | tail -n 8
        fi
        [ -z "$window" ] || stop_window
        host stop && wait_for 60 absent ttyUSB0 && wait_for 60 absent ttyUSB1
    done
done
echo "usb cases: $passed passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
