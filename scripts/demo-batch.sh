#!/usr/bin/env bash
# Builds everything and runs kova-cli batch against a simulated production
# line of four Vorn controllers (examples/line/vorn-line.txt): two are
# flashed and configured, one of another identifier is refused, one with a
# stuck cell fails. The record is build/demo-batch/kova-batch.jsonl; the
# settings backups stay in build/demo-batch/data, not in your home.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" dev

demo="$root/build/demo-batch"
rm -rf "$demo"
mkdir -p "$demo"
export XDG_DATA_HOME="$demo/data"

fifo="$demo/simulator.out"
mkfifo "$fifo"
"$root/build/tools/simulator/kova-simulator" --line "$root/examples/line/vorn-line.txt" --line-gap 1500 \
    --block-size 256 --quiet >"$fifo" &
simulator=$!
trap 'kill $simulator 2>/dev/null; wait $simulator 2>/dev/null || true' EXIT

exec 3<"$fifo"
read -r port <&3
cat <&3 >/dev/null &

cd "$demo"
status=0
"$root/build/tools/cli/kova-cli" -p "$port" -d "$root/examples/descriptions/vorn.dsc" batch -y --count 4 \
    --flash "$root/examples/firmwares/vorn-4.13.upd" --settings "$root/examples/settings/kestrel-4.13.json" \
    --log kova-batch.jsonl || status=$?
echo "kova-cli batch exited with $status (6: a controller failed). The record:"
cat kova-batch.jsonl
