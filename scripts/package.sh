#!/usr/bin/env bash
# Builds the Debian package and the portable archive into build/packages/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" dev
rm -rf "$root/build/packages"
(cd "$root/build" && cpack -B packages >/dev/null)
rm -rf "$root/build/packages/_CPack_Packages"
ls -1 "$root/build/packages/"*
