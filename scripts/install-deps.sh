#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need;
# "install-deps.sh fuzz" adds clang and libFuzzer for scripts/fuzz.sh,
# "install-deps.sh qt6" Qt 6 for scripts/test-qt6.sh.
# Quiet and quick when everything is there already.
set -euo pipefail

# The last line: packages, manual pages and the checks of both.
packages=(g++ cmake ninja-build qtbase5-dev libqt5serialport5-dev libqt5svg5-dev xvfb xauth
          dpkg-dev file help2man man-db desktop-file-utils appstream lintian)
case "${1:-}" in
fuzz) packages+=(clang libclang-rt-14-dev) ;;
qt6) packages+=(qt6-base-dev qt6-serialport-dev qt6-qpa-plugins) ;;
esac
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
