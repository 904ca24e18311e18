#!/usr/bin/env bash
# Redraws the pictures under resources/images. Run after changing
# tools/drawresources/artwork.cpp, then look at the results and keep them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PELLIX_TOOLS_BUILD_DIR:-${TMPDIR:-/tmp}/pellix-tools}"
cmake -S "$root/tools" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pellix-draw-resources
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/pellix-draw-resources" "$root/resources/images"
