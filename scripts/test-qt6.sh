#!/usr/bin/env bash
# Builds with Qt 6 instead of Qt 5 (the qt6 preset, into build-qt6/) and
# runs every test once, plain.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/stages.sh
stage "install Qt 6" scripts/install-deps.sh qt6
stage "build qt6" scripts/build.sh qt6
stage "tests qt6" ctest --preset qt6
