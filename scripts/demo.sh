#!/usr/bin/env bash
# Builds everything and starts the program against a simulated controller
# on a pseudo-terminal. Closing the window stops the simulator. Every example
# package installs: the simulated controller reports the version its image
# names (kova-simulator --keep-version plays an update that does not take).
#   KOVA_DEMO_DEVICE=vorn|kelpa|ulma   which example controller to simulate (default vorn)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
device=${KOVA_DEMO_DEVICE:-vorn}
case "$device" in
    vorn)  dialect=vorn;      block=256 ;;
    kelpa) dialect=kelpa;     block=64 ;;
    ulma)  dialect=ulma-fast; block=128 ;;
    *) echo "KOVA_DEMO_DEVICE must be vorn, kelpa or ulma" >&2; exit 2 ;;
esac

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" dev

# The program reads "kova.ini" and "firmwares/" beside its executable and
# "tellur.dsc" in the current folder: give it a folder of its own.
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/firmwares"
cp "$root/build/app/kova" "$demo/"
cp "$root/examples/firmwares/"*.upd "$demo/firmwares/"
for description in "$root/examples/descriptions/"*.dsc; do
    name=$(basename "$description" .dsc)
    if [ "$name" = "$device" ]; then
        cp "$description" "$demo/tellur.dsc"
    else
        cp "$description" "$demo/firmwares/"
    fi
done

fifo="$demo/simulator.out"
mkfifo "$fifo"
"$root/build/tools/simulator/kova-simulator" --dialect "$dialect" \
    --cells "$root/examples/devices/$device.cells" --block-size "$block" \
    --wire-timing --echo-packets >"$fifo" &
simulator=$!
trap 'kill $simulator 2>/dev/null; wait $simulator 2>/dev/null || true' EXIT

exec 3<"$fifo"
read -r port <&3
echo "Simulated $device controller on $port"
printf '[PORT]\nName=%s\n' "$port" >"$demo/kova.ini"
# Keep the simulator's request log flowing to the terminal.
cat <&3 &

cd "$demo"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    xvfb-run -a ./kova
else
    ./kova
fi
