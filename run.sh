#!/usr/bin/env bash
# One-command set-up on a fresh Debian machine.
#   ./run.sh demo   build, start the device simulator and the program against it
#   ./run.sh test   build and run every test
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libqt6svg6 libgl-dev xvfb xauth xdg-utils)

need_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

case "${1:-}" in
demo)
    need_packages
    build default
    exec build/default/bin/vestibulomat
    ;;
test)
    need_packages
    build default
    ctest --preset default
    ;;
*)
    echo "usage: $0 demo|test" >&2
    exit 2
    ;;
esac
