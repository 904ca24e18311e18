#!/usr/bin/env bash
# Installs what is missing, builds pellix and starts it with the news viewer
# open on a fresh profile (a new temporary home folder each time).
# Arguments are passed on to the client; PELLIX_HOME picks a home folder to keep.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${PELLIX_BUILD_DIR:-$root/build}"

"$root/tools/ensure-packages.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target pellix

home="${PELLIX_HOME:-$(mktemp -d "${TMPDIR:-/tmp}/pellix-home.XXXXXX")}"
echo "pellix home: $home"
# The browser's sandbox refuses to run as root.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found; set DISPLAY, or QT_QPA_PLATFORM=offscreen to run without one." >&2
fi
exec "$build/bin/pellix" --home "$home" --open viewer "$@"
