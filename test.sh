#!/usr/bin/env bash
# Installs what is missing, builds pellix with its tests and runs them all
# headless. PELLIX_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${PELLIX_BUILD_DIR:-$root/build}"

"$root/tools/ensure-packages.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir "$build" --output-on-failure
