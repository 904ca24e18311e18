#!/usr/bin/env bash
# Installs the Debian packages that building and testing pellix need, but only
# those that are missing; does nothing (and prints nothing) when all are there.
set -euo pipefail

# postgresql and libqt6sql6-psql: the PostgreSQL server store, and the server
# its tests start for themselves; libgumbo-dev: the HTML5 parser that reads web
# pages for their feeds.
packages=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-webengine-dev libqt6sql6-sqlite
          qt6-tools-dev qt6-l10n-tools postgresql libqt6sql6-psql libgumbo-dev)

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "Not a Debian system: make sure these are installed: ${packages[*]}" >&2
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
echo "Installing ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
