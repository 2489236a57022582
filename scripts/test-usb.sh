#!/usr/bin/env bash
# Runs the window and kova-cli behind a real kernel USB-serial driver: a small
# virtual machine (Debian's own kernel, a busybox initramfs, this machine's
# root shared read-only) whose emulated FTDI-class adapter is bound by
# ftdi_sio as /dev/ttyUSB0, with kova-simulator on the host end of the
# adapter's line. The cases are scripts/usb-cases.sh, run inside the guest;
# this side plays the simulator and the cable's plug on the guest's request.
# Where the machine cannot boot the guest it says so in one line and exits 0.
# KOVA_USB_CASES=REGEX runs only the cases whose "dialect name" matches.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cache=$root/build/usb-guest
run=$cache/run
# The emulated adapter's USB serial number, which the guest's cases look for.
adapterSerial=KOVA0001

skip() {
    echo "USB driver tests skipped: $*"
    exit 0
}

packages=(qemu-system-x86 busybox-static cpio socat kmod)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    { $sudo apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; } ||
        skip "could not install ${missing[*]}"
fi

# The binaries of the dev build, which the guest runs from the share.
if [ -f build/build.ninja ]; then
    cmake --build build --target kova kova-cli kova-simulator
else
    scripts/build.sh dev
fi

# The guest kernel: the package linux-image-amd64 depends on, unpacked, not installed.
kernelPackage=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
[ -n "$kernelPackage" ] || skip "no Debian kernel package is known to apt"
version=${kernelPackage#linux-image-}
kernel=$cache/kernel-$version
if [ ! -f "$kernel/lib/modules/$version/modules.dep" ]; then
    rm -rf "$cache"/kernel-* "$cache"/*.deb
    mkdir -p "$cache"
    (cd "$cache" && apt-get download -qq "$kernelPackage" 2>/dev/null) || skip "could not download $kernelPackage"
    dpkg-deb -x "$cache/$kernelPackage"_*.deb "$kernel.partial"
    depmod -b "$kernel.partial" "$version"
    mv "$kernel.partial" "$kernel"
    rm -f "$cache"/*.deb
fi

# The initramfs: busybox, the modules in dependency order, and /init.
initramfs=$cache/initramfs
rm -rf "$initramfs" && mkdir -p "$initramfs"/{bin,modules,proc,sys,dev,host}
cp /bin/busybox "$initramfs/bin/busybox"
for module in usbcore xhci-pci usbserial ftdi_sio virtio_pci virtio_console 9pnet_virtio 9p; do
    modprobe -d "$kernel" -S "$version" --show-depends "$module" | awk '$1 == "insmod" { print $2 }'
done | awk '!seen[$0]++' | while read -r path; do
    cp "$path" "$initramfs/modules/"
    basename "$path" >>"$initramfs/modules/order"
done
cat >"$initramfs/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in \$(cat /modules/order); do insmod /modules/\$module; done
# The console's driver is one of the modules: only now can init write to it.
while [ ! -e /dev/hvc0 ]; do sleep 0.1; done
exec >/dev/hvc0 2>&1 </dev/null
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=none host /host
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts
mount -t devpts -o ptmxmode=666 devpts /host/dev/pts
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
# A worktree under /tmp or /run is hidden by those: it comes again on its own share.
if [ ! -e "/host$root/scripts/usb-cases.sh" ]; then
    mkdir -p "/host$root"
    mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=none work "/host$root"
fi
echo "guest up"
KOVA_ADAPTER_SERIAL=$adapterSerial chroot /host /bin/bash "$root/scripts/usb-cases.sh" "$root" "$run" "${KOVA_USB_CASES:-}"
echo "guest status \$?"
poweroff -f
EOF
chmod +x "$initramfs/init"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$cache/initramfs.gz"

rm -rf "$run" && mkdir -p "$run"
simulator=""
qemu=""
finish() {
    [ -z "$simulator" ] || kill "$simulator" 2>/dev/null || true
    [ -z "$qemu" ] || kill "$qemu" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap finish EXIT

qemu-system-x86_64 -accel tcg -nodefaults -display none -no-reboot -m 1024 -smp 1 \
    -kernel "$kernel/boot/vmlinuz-$version" -initrd "$cache/initramfs.gz" \
    -append "console=hvc0 rdinit=/init quiet loglevel=1 panic=-1" \
    -device virtio-serial-pci \
    -chardev file,id=console,path="$run/console.log" -device virtconsole,chardev=console \
    -chardev socket,id=control,path="$run/control.sock",server=on,wait=off \
    -device virtserialport,chardev=control,name=kova.control \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$root",mount_tag=work,security_model=none,readonly=on,multidevs=remap \
    -device qemu-xhci \
    -chardev socket,id=line,path="$run/line.sock",server=on,wait=off \
    -device usb-serial,chardev=line,id=cable,serial="$adapterSerial" \
    -qmp unix:"$run/qmp.sock",server=on,wait=off \
    -trace usb_serial_set_baud -D "$run/trace.log" &
qemu=$!

# Condition waits end on their condition; the bound is only for a machine
# that cannot do it at all.
wait_for() {
    local bound=$1
    shift
    local end=$((SECONDS + bound))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        kill -0 "$qemu" 2>/dev/null || return 1
        sleep 0.1
    done
}
sockets_up() { [ -S "$run/qmp.sock" ] && [ -S "$run/control.sock" ] && [ -S "$run/line.sock" ]; }
guest_up() { grep -q "guest up" "$run/console.log" 2>/dev/null; }
wait_for 60 sockets_up || skip "qemu-system-x86_64 did not start"
if ! wait_for 180 guest_up; then
    skip "the guest did not boot within 180 s"
fi
tail -n +1 -f --pid="$qemu" "$run/console.log" &

# One socat per socket, on a pair of fifos.
connect() {
    local name=$1
    mkfifo "$run/$name.in" "$run/$name.out"
    socat - UNIX-CONNECT:"$run/$name.sock" <"$run/$name.in" >"$run/$name.out" &
}
connect qmp
exec {qmpIn}>"$run/qmp.in" {qmpOut}<"$run/qmp.out"
connect control
exec {controlIn}>"$run/control.in" {controlOut}<"$run/control.out"

# One QMP command; its answer, skipping events.
qmp() {
    echo "$1" >&"$qmpIn"
    local reply
    while read -r -t 60 reply <&"$qmpOut"; do
        [ -z "${KOVA_USB_DEBUG:-}" ] || echo "qmp: $1 -> $reply" >&2
        case $reply in
        *'"return"'*) return 0 ;;
        *'"error"'*) echo "qmp: $reply" >&2; return 1 ;;
        esac
    done
    return 1
}
read -r -t 60 greeting <&"$qmpOut"
qmp '{"execute": "qmp_capabilities"}'

stop_simulator() {
    if [ -n "$simulator" ]; then
        kill "$simulator" 2>/dev/null || true
        wait "$simulator" 2>/dev/null || true
    fi
    simulator=""
}
start_simulator() {
    stop_simulator
    : >"$run/simulator.log"
    build/tools/simulator/kova-simulator --emulator "$run/line.sock" --emulator-trace "$run/trace.log" "$@" \
        >"$run/simulator.log" 2>&1 &
    simulator=$!
    wait_for 30 grep -q . "$run/simulator.log"
}

plugged=1
unplug() {
    qmp '{"execute": "device_del", "arguments": {"id": "cable"}}' && plugged=0
}
# The chardev is free again only once the old cable has gone.
# Until then device_add is refused ("Device 'line' is in use") and tried again.
plug_once() { qmp '{"execute": "device_add", "arguments": {"driver": "usb-serial", "chardev": "line", "id": "cable", "serial": "'"$adapterSerial"'"}}' 2>/dev/null; }
plug() { wait_for 30 plug_once && plugged=1; }

# The guest's requests, one a line; each is answered "ok" or "failed".
while read -r request arguments <&"$controlOut"; do
    status=0
    case $request in
    simulate) { [ $plugged = 1 ] || plug; } && start_simulator $arguments || status=$? ;;
    # A new cable for every case: the emulated one keeps its latency timer.
    # It is pulled while attached (a detached one is never freed) and
    # plugged in again with the next simulator.
    stop)
        if [ $plugged = 1 ]; then
            { [ -n "$simulator" ] || start_simulator --quiet; } && unplug || status=$?
        fi
        stop_simulator
        ;;
    unplug) unplug || status=$? ;;
    plug) plug || status=$? ;;
    *) status=1 ;;
    esac
    [ $status -eq 0 ] && echo ok >&"$controlIn" || echo failed >&"$controlIn"
done

wait "$qemu" || true
qemu=""
# The console ends its lines with CR LF.
tr -d '\r' <"$run/console.log" | grep -qx "guest status 0"
